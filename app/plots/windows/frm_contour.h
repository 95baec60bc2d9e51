#pragma once
// The contour plot window: the contour map with the shared frame, the
// appearance choice (style file, fill or lines, level layout), reduced data,
// the contour legend maker, and chord picking while the main window's Chord
// Plot command has put it into pick mode.
#include "plot_frame.h"

#include "app/core/gui/windows.h"
#include "plots/builders/appearance.h"
#include "plots/charts/chartview.h"

namespace plots {

class FrmContour : public gui::ContourWindow {
    Q_OBJECT
public:
    FrmContour();

    charts::ChartView* Chart3D2;
    charts::Chart3D& chart() { return *Chart3D2->chart(); }
    PlotFrame* frame;
    QLabel* lblAppearence;
    QPushButton* cmdCreateLegend;
    QPushButton* cmdClose;

    // The main program's interface.
    void SetupContourChart(int cols, int rows, bool reduce) override;
    void SetChartHeader(const QString& text) override { chart().setHeaderText(text); }
    void SetChartFooter(const QString& text) override { chart().setFooterText(text); }
    QString ChartHeader() const override { return Chart3D2->chart()->headerText(); }
    QString ChartFooter() const override { return Chart3D2->chart()->footerText(); }
    void SetChartInteractive(bool on) override { chart().setUserChangesAllowed(on); }
    void cmdCustomize_Click() override { frame->cmdCustomize_Click(); }
    bool OptionsShown() const override { return frame->panelShown(); }

    // Event procedures.
    void cmbAppearance_Click();
    void chkReduceData_Click();
    void cmdCreateLegend_Click();
    void cmdClose_Click();
    void Chart3D2_MouseDown(int button, int shift, int x, int y);
    void Chart3D2_MouseUp(int button, int shift, int x, int y);

    // Pick state.
    int ChordStartX = 0, ChordStartY = 0, ChordEndX = 0, ChordEndY = 0;
    bool ChordStartPicked = false;
    int PickGridX = 0, PickGridY = 0, PickRegion = 0;
};

} // namespace plots
