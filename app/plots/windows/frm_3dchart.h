#pragma once
// The 3D surface plot window: the surface chart with the shared frame, the
// rotation and altitude boxes, view keys (A altitude only, R rotation only,
// P + click point readout), reduced data, Z title and the 3D legend maker.
#include "plot_frame.h"

#include "app/core/gui/windows.h"
#include "plots/charts/chartview.h"

namespace plots {

class Frm3DChart : public gui::Chart3DWindow {
    Q_OBJECT
public:
    Frm3DChart();

    charts::ChartView* Chart3D1;
    charts::Chart3D& chart() { return *Chart3D1->chart(); }
    PlotFrame* frame;
    QLabel* lblRotation;
    QLabel* lblAltitude;
    QCheckBox* chkZLabel;
    QPushButton* cmdCreateLegend;
    QPushButton* cmdPrint3D;
    QPushButton* cmdSave3DChart;
    QPushButton* cmdClose;
    QPushButton* cmdCustomize;

    // The main program's interface.
    void Setup3DChart(bool reduced) override;
    void SetChartHeader(const QString& text) override { chart().setHeaderText(text); }
    void SetChartFooter(const QString& text) override { chart().setFooterText(text); }
    QString ChartHeader() const override { return Chart3D1->chart()->headerText(); }
    QString ChartFooter() const override { return Chart3D1->chart()->footerText(); }
    double ViewElevation() const override { return Chart3D1->chart()->viewElevation(); }
    void SetViewElevation(double degrees) override { chart().setViewElevation(degrees); }
    double ViewRotation() const override { return Chart3D1->chart()->viewRotation(); }
    void SetViewRotation(double degrees) override { chart().setViewRotation(degrees); }
    void RefreshChart() override { Chart3D1->update(); }

    // Event procedures.
    void Chart3D1_KeyDown(int keyCode, int shift);
    void Chart3D1_KeyUp(int keyCode, int shift);
    void Chart3D1_ViewChanging(charts::ViewProposal* proposal);
    void Chart3D1_ViewChanged();
    void Chart3D1_MouseUp(int button, int shift, int x, int y);
    void txtAltitude_KeyPress();
    void txtRotation_KeyPress();
    void chkReduceData_Click();
    void chkZLabel_Click();
    void cmdCreateLegend_Click();
    void cmdCustomize_Click() { frame->cmdCustomize_Click(); }
    void cmdClose_Click();

    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void RemoveLabels();
};

} // namespace plots
