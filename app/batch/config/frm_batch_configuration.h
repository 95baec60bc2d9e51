#pragma once
// The batch plot configuration window: the five charts from which every batch
// output picture is made (3D surface, contour, diagonal profile and the two
// legends) and the controls that set how they look, the view of the 3D plot
// and the formats of the batch output files. Everything set here lives on the
// charts; the batch output fills the same charts image by image and exports
// them, and its sample preview puts a known image back on them afterwards.
#include "app/core/gui/windows.h"
#include "app/batch/config/preview.h"
#include "plots/builders/chart_builders.h"
#include "plots/charts/chartview.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTabWidget>

#include <functional>
#include <vector>

namespace batchcfg {

class FrmBatchConfiguration : public gui::BatchConfigurationWindow {
public:
    FrmBatchConfiguration();
    ~FrmBatchConfiguration() override;

    QTabWidget* SSTab1;
    // 3D Surface Plot
    charts::ChartView* chtSurface;
    charts::ChartView* cht3DLegend;
    QLabel* lbl3DDisplay;
    QCheckBox *chk3DHeader, *chk3DFooter, *chk3DLegend;
    QLineEdit *txt3DHeader, *txt3DFooter;
    QCheckBox *chk3DXLabel, *chk3DYLabel, *chk3DZLabel, *chk3DXValues, *chk3DYValues;
    QLabel *lbl3DLabelSize, *lbl3DTickSize, *lblAltitude, *lblRotation;
    QLineEdit *txt3DLabelSize, *txt3DTickSize;
    // Contour Plot
    charts::ChartView* chtContour;
    charts::ChartView* chtContourLegend;
    QLabel *lblAppearence, *lblContourDisplay;
    QCheckBox *chkContourHeader, *chkContourFooter, *chkContourLegend;
    QLineEdit *txtContourHeader, *txtContourFooter;
    QCheckBox *chkContourXLabel, *chkContourYLabel, *chkContourXValues, *chkContourYValues;
    QLineEdit *txtContourLabelSize, *txtContourTickSize;
    // Diagonal Plot
    charts::Chart2DView* chtDiagonal;
    QLabel* lblDiagDisplay;
    QCheckBox *chkDiagHeader, *chkDiagFooter, *chkDiagLegend;
    QLineEdit *txtDiagHeader, *txtDiagFooter;
    QCheckBox *chkDiagXLabel, *chkDiagYLabel, *chkDiagXValues, *chkDiagYValues;
    QLabel* lblDiagLabelSize;
    QLineEdit* txtDiagLabelSize;
    // Misc
    QGroupBox *fraGraphOutput, *fraDataFileFormat;
    QLabel *lblGraphicalFormat, *lblDataFormat;

    charts::Chart3D& surface() { return *chtSurface->chart(); }
    charts::Chart3D& contour() { return *chtContour->chart(); }
    charts::Chart2D& diagonal() { return *chtDiagonal->chart(); }
    charts::Chart3D& surfaceLegend() { return *cht3DLegend->chart(); }
    charts::Chart3D& contourLegend() { return *chtContourLegend->chart(); }

    // What the batch builders read of this window for each chart.
    plots::BatchChartOptions SurfaceOptions() const;
    plots::BatchChartOptions ContourOptions() const;
    plots::BatchChartOptions DiagonalOptions() const;
    // The preview's inputs: this window's title boxes and axis-title boxes,
    // with the batch window's Z range and Normalize Diagonal box.
    PreviewInputs PreviewInputsWith(const std::string& zMin, const std::string& zMax, bool normalise) const;
    // Puts the sample back on the three plot charts.
    bool Preview(const std::string& zMin, const std::string& zMax, bool normalise, std::string* error = nullptr);
    // Loads the sample profiles into the profile chart (the batch window's
    // configure command does so before it shows this window).
    bool LoadSampleDiagonal(bool normalise, std::string* error = nullptr);

    double ViewElevation() const override;
    void SetViewElevation(double degrees) override;
    double ViewRotation() const override;
    void SetViewRotation(double degrees) override;

    void cmbAppearance_Click();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    struct TabDesign;
    QHBoxLayout& buildPlotTab(const TabDesign& design);
    // The title boxes and the number boxes, with what each sets on its chart.
    struct TitleBox {
        QLineEdit* box;
        std::function<void(const QString&)> set;
        const char* placeholder;
        bool onLostFocus;
    };
    struct SizeBox {
        QLineEdit* box;
        int lo, hi;
        std::function<void(int)> set;
        std::function<int()> current;
    };
    std::vector<TitleBox> titles_;
    std::vector<SizeBox> sizes_;

    void buildSurfaceTab();
    void buildContourTab();
    void buildDiagonalTab();
    void buildMiscTab();
    void setDesignTexts();
    void bindChecks();
    void Form_Load();
    void titleEnter(QLineEdit* box);
    void sizeEnter(QLineEdit* box);
    void angleEnter(QLineEdit* box);
    void chtSurface_KeyDown(int keyCode, int shift);
    void chtSurface_KeyUp(int keyCode, int shift);
    void chtSurface_ViewChanging(charts::ViewProposal* v);
    void chtSurface_ViewChanged();
};

// The window when the configuration window in place is this one (else null).
FrmBatchConfiguration* BatchConfiguration();

// A new configuration window (the program's window table names it).
gui::BatchConfigurationWindow* NewBatchConfigurationWindow();

// Installs this window as the program's configuration window, for a test that
// runs without the whole program's table.
void InstallBatchConfigurationWindow();

} // namespace batchcfg
