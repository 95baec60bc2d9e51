#pragma once
// The legend maker: draws the 64-level 3D legend or the 17/19-level contour
// legend for a typed Z range on a legend chart and saves it as a picture.
#include "plots/charts/chart3d.h"

#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

namespace plots {

enum class LegendType { Keep, Surface3D, Contour };

class FrmCreateLegend : public QDialog {
    Q_OBJECT
public:
    explicit FrmCreateLegend(QWidget* parent = nullptr);

    QGroupBox* fraLegendType;
    QRadioButton* opt3D;
    QRadioButton* optContour;
    QLabel* lblZmin;
    QLineEdit* txtZmin;
    QLabel* lblZmax;
    QLineEdit* txtZmax;
    QPushButton* cmdSaveAs;

    void cmdSaveAs_Click();
};

// Opens the legend maker (a new one each time, as designed) window-modal,
// first selecting the type unless Keep. Returns the window.
FrmCreateLegend* ShowLegendMaker(LegendType type);

// The two legend charts the maker draws on: those of the batch plot
// configuration window once it has handed them over with UseLegendCharts,
// else two charts of the maker's own.
charts::Chart3D& SurfaceLegendChart();
charts::Chart3D& ContourLegendChart();
// The configuration window hands over its legend charts (it keeps owning them).
void UseLegendCharts(charts::Chart3D* surface, charts::Chart3D* contour);

// Fills the legend charts for zmin..zmax in the current units (the values are
// not checked here). The 3D legend returns its level step.
float BuildSurfaceLegend(double zmin, double zmax);
void BuildContourLegend(double zmin, double zmax);

} // namespace plots
