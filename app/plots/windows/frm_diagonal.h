#pragma once
// The diagonal profile window: both diagonal profiles of the result with the
// shared frame and the Normalize box.
#include "plot_frame.h"

#include "app/core/gui/windows.h"
#include "plots/charts/chartview.h"

namespace plots {

class FrmDiagonal : public gui::DiagonalWindow {
    Q_OBJECT
public:
    FrmDiagonal();

    charts::Chart2DView* Chart2D1;
    charts::Chart2D& chart() { return *Chart2D1->chart(); }
    PlotFrame* frame;
    QCheckBox* chkNormalize;
    QPushButton* cmdPrintDiag;
    QPushButton* cmdSave2DChart;
    QPushButton* cmdClose;
    QPushButton* cmdCustomize;
    QLineEdit* txtFooter;

    void SetupDiagonalChart() override;
    void SetChartHeader(const QString& text) override { chart().setHeaderText(text); }
    QString ChartHeader() const override { return Chart2D1->chart()->headerText(); }

    void chkNormalize_Click();
    void cmdClose_Click();
};

} // namespace plots
