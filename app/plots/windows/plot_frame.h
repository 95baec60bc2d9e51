#pragma once
// The frame the four plot windows share: the chart, the command buttons
// (Print, Save, Close, Show Options), the options panel (header, footer,
// legend, axis titles and numbers, font sizes) and their handlers, which act
// on the window's 3D or 2D chart. Each window adds its own controls to
// `fixedArea` (always visible) or `panel` (shown with the options).
#include "plots/charts/chart2d.h"
#include "plots/charts/chart3d.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWidget>

#include <functional>
#include <string>

namespace plots {

enum class PlotKind { Contour, Surface, Diagonal, Chord };

class PlotFrame : public QObject {
    Q_OBJECT
public:
    // Exactly one of chart3d and chart2d is given; chartWidget shows it.
    // close is the window's own Close procedure: the Close button and the
    // window's close box run it (see PlotWindowBehaviour).
    PlotFrame(QWidget* window, PlotKind kind, charts::Chart3D* chart3d, charts::Chart2D* chart2d,
              QWidget* chartWidget, std::function<void()> close);

    PlotKind kind() const { return kind_; }
    std::string suffix() const;   // "_ctr", "_3D", "_dia", "_crd"

    QPushButton* cmdPrint;
    QPushButton* cmdSave;
    QPushButton* cmdClose;
    QPushButton* cmdCustomize;
    QWidget* fixedArea;           // window controls outside the panel
    QVBoxLayout* fixedLayout;
    QWidget* panel;               // the options panel
    QVBoxLayout* panelLayout;
    QLabel* lblDisplay;
    QCheckBox* chkHeader;
    QLineEdit* txtHeader;
    QCheckBox* chkFooter;
    QLineEdit* txtFooter;
    QCheckBox* chkLegend = nullptr;     // not on the chord window
    QCheckBox* chkXLabel;
    QCheckBox* chkYLabel;
    QCheckBox* chkZLabel = nullptr;     // 3D window only
    QCheckBox* chkXValues;
    QCheckBox* chkYValues;
    QLabel* lblLabelSize;
    QLineEdit* txtLabelSize;
    QLabel* lblTickSize = nullptr;      // 3D charts only
    QLineEdit* txtTickSize = nullptr;

    // Handler families.
    void chkHeader_Click();
    void chkFooter_Click();
    void chkLegend_Click();
    void chkXLabel_Click();
    void chkYLabel_Click();
    void chkXValues_Click();
    void chkYValues_Click();
    void txtHeader_Apply();
    void txtFooter_Apply();
    void txtLabelSize_Apply();
    void txtTickSize_Apply();
    void cmdCustomize_Click();
    void cmdPrint_Click();
    void cmdSave_Click();

    // The options panel is open.
    bool panelShown() const { return !panel->isHidden(); }
    // Text boxes select their whole text on focus; Enter and leaving apply them.
    void WireTextBox(QLineEdit* box, std::function<void()> apply);

    // Axis titles of the X and Y check boxes for the current sample-size boxes.
    QString XTitle() const;
    QString YTitle() const;

    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The steps of construction: the command buttons, the options panel's
    // controls, their design state, and their handlers.
    void BuildButtons(QWidget* side, QVBoxLayout* sideLayout);
    void BuildPanel();
    void ShowDesignState();
    void WireHandlers(std::function<void()> close);
    bool Is3D() const { return chart3d_ != nullptr; }
    void SetAxisTitle(int axis, const QString& title);
    int TitleFontSize() const;
    int NumberFontSize() const;

    QWidget* window_;
    PlotKind kind_;
    charts::Chart3D* chart3d_;
    charts::Chart2D* chart2d_;
    charts::ChartBase* chart_;    // whichever of the two is given
    std::vector<std::pair<QLineEdit*, std::function<void()>>> boxes_;

    // A header or footer: what the chart's builder last put there (the
    // automatic title an emptied box stands for) and what the chart showed
    // when the frame last looked or wrote it.
    struct Title {
        QString automatic;
        QString seen;
    };
    Title header_, footer_;
    // The builder's titles, noted whenever the chart changes.
    void NoteBuiltTitles();
    // The box's text, or the automatic title when the box is empty.
    static QString TitleFor(const QLineEdit* box, Title& title);
    // An emptied header or footer box stands for the automatic title in what
    // is saved or printed, even when it was emptied without Enter.
    void ApplyEmptiedTitles();
};

// Reads the main window's sample-size boxes ("" when there is no main window).
void SampleSizeTexts(std::string* width, std::string* height);

// The steps every plot window's Close shares: hide, show the taskbar, focus the main window.
void HidePlotWindow(QWidget* window);

// The smallest plot window (less where the screen is smaller).
QSize PlotWindowMinimumSize();

// Opens a plot window maximised each time it is shown, gives it a restored
// size centred on the screen and a minimum size, and turns its close box
// into Close.
class PlotWindowBehaviour : public QObject {
public:
    PlotWindowBehaviour(QWidget* window, std::function<void()> close);
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::function<void()> close_;
};

} // namespace plots
