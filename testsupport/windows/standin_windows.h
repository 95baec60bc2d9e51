#pragma once
// Minimal windows for the tests of one part of the program that run without
// the plot, batch, editor or browser windows. They carry the controls and
// public procedures that the main window uses and remember the calls made to
// them, nothing more. The program itself registers its real windows (main.cpp).
#include "app/core/gui/file_list.h"
#include "app/core/gui/windows.h"

namespace testsupport::standins {

using gui::FileList;

class Chart3D : public gui::Chart3DWindow {
public:
    Chart3D();
    void Setup3DChart(bool reduced) override;
    void SetChartHeader(const QString& text) override { header->setText(text); }
    void SetChartFooter(const QString& text) override { footer->setText(text); }
    double ViewElevation() const override { return elevation_; }
    void SetViewElevation(double d) override { elevation_ = d; }
    double ViewRotation() const override { return rotation_; }
    void SetViewRotation(double d) override { rotation_ = d; }
    int setupCalls = 0;
    bool lastReduced = false;
    QLabel* header;
    QLabel* footer;

private:
    double elevation_ = 45;
    double rotation_ = 330;
};

class Contour : public gui::ContourWindow {
public:
    Contour();
    void SetupContourChart(int cols, int rows, bool reduce) override;
    void SetChartHeader(const QString& text) override { header->setText(text); }
    void SetChartFooter(const QString& text) override { footer->setText(text); }
    void SetChartInteractive(bool on) override { interactive = on; }
    void cmdCustomize_Click() override;
    bool OptionsShown() const override { return optionsShown; }
    bool optionsShown = false;
    int setupCalls = 0;
    int lastCols = 0, lastRows = 0;
    bool lastReduce = false;
    bool interactive = true;
    QLabel* header;
    QLabel* footer;
};

class Diagonal : public gui::DiagonalWindow {
public:
    Diagonal();
    void SetupDiagonalChart() override { ++setupCalls; }
    void SetChartHeader(const QString& text) override { header->setText(text); }
    int setupCalls = 0;
    QLabel* header;
};

class ChordPlot : public gui::ChordPlotWindow {
public:
    ChordPlot();
};

class BatchProcessing : public gui::BatchProcessingWindow {
public:
    BatchProcessing();
    FileList* list;
};

class BatchConfiguration : public gui::BatchConfigurationWindow {
public:
    BatchConfiguration();
    double ViewElevation() const override { return elevation_; }
    void SetViewElevation(double d) override { elevation_ = d; }
    double ViewRotation() const override { return rotation_; }
    void SetViewRotation(double d) override { rotation_ = d; }

private:
    double elevation_ = 45;
    double rotation_ = 330;
};

class BurnMask : public gui::BurnMaskWindow {
public:
    BurnMask();
    FileList* list;
};

class PhaseImage : public gui::PhaseImageWindow {
public:
    PhaseImage();
    void cmdClearMask_Click() override;
    void cmdClearPartition_Click() override;
    void cmbDomains_Click() override { ++domainClicks; }
    void ShowPicture(const QImage& picture) override;
    void SetRegionColor(unsigned rgb) override { regionColor = rgb; }
    void SetRegionShown(bool on) override { regionShown = on; }
    int clearMaskCalls = 0, clearPartitionCalls = 0, domainClicks = 0;
    unsigned regionColor = 0xFF0000;
    bool regionShown = true;
    QLabel* bufDisplay;
};

class ThumbnailView : public gui::ThumbnailViewWindow {
public:
    ThumbnailView();
    void SetSelectedThumbFilename(const QString& path) override { selected = path; }
    void ImageFilter(const QString& patterns) override { filter = patterns; }
    void DisplayThumbnailView() override;
    QString selected;
    QString filter;
    int displayCalls = 0;
};

// The factories of all stand-ins.
gui::WindowFactories Factories();

// Puts every stand-in in place; a test then installs the real windows it
// exercises over them.
void InstallStandinWindows();

} // namespace testsupport::standins
