#pragma once
// The chord profile window: the profile along the chord picked on the
// contour map, with the shared frame, Select New Chord and a Close that ends
// chord picking and hides the contour window too.
#include "plot_frame.h"

#include "app/core/gui/windows.h"
#include "plots/charts/chartview.h"

namespace plots {

class FrmChordPlot : public gui::ChordPlotWindow {
    Q_OBJECT
public:
    FrmChordPlot();

    charts::Chart2DView* Chart2D2;
    charts::Chart2D& chart() { return *Chart2D2->chart(); }
    PlotFrame* frame;
    QPushButton* cmdNew;
    QPushButton* cmdPrintChord;
    QPushButton* cmdSave;
    QPushButton* cmdClose;
    QPushButton* cmdCustomize;
    QLineEdit* txtHeader;
    QLineEdit* txtFooter;

    void cmdNew_Click();
    void cmdClose_Click();
};

// Fills the chord chart from ProfileData for the chord (x1, y1)-(x2, y2),
// copies its header into the window's box and shows the window.
void FillChordChart(int x1, int y1, int x2, int y2);

} // namespace plots
