#include "frm_diagonal.h"

#include "plot_windows.h"

#include "plots/builders/chart_builders.h"

namespace plots {

FrmDiagonal::FrmDiagonal()
{
    setObjectName("frmDiagonal");
    setWindowTitle("Diagonal Plot");
    Chart2D1 = new charts::Chart2DView(this);
    Chart2D1->setObjectName("Chart2D1");
    Chart2D1->setAccessibleName("Diagonal Plot");
    frame = new PlotFrame(this, PlotKind::Diagonal, nullptr, &chart(), Chart2D1, [this] { cmdClose_Click(); });
    cmdPrintDiag = frame->cmdPrint;
    cmdSave2DChart = frame->cmdSave;
    cmdClose = frame->cmdClose;
    cmdCustomize = frame->cmdCustomize;
    txtHeader = frame->txtHeader;
    txtFooter = frame->txtFooter;
    chkNormalize = new QCheckBox("&Normalize", frame->panel);
    chkNormalize->setObjectName("chkNormalize");
    frame->panelLayout->addWidget(chkNormalize);
    connect(chkNormalize, &QCheckBox::toggled, this, [this] { chkNormalize_Click(); });

    ConfigureDiagonalChart(chart(), false);
    chart().removeAllActions();
    chart().addAction(516, 2, 0, 11);
}

void FrmDiagonal::SetupDiagonalChart() { plots::SetupDiagonalChart(); }

void FrmDiagonal::chkNormalize_Click() { plots::SetupDiagonalChart(); }

void FrmDiagonal::cmdClose_Click() { HidePlotWindow(this); }

} // namespace plots
