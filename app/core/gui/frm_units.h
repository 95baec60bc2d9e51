#pragma once
// The units dialog "Sorvanta Setup": the last step of the start-up. Its OK
// fixes the lateral and displacement units and the phase-image file format for
// the whole run and opens the main analysis window.
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QWidget>

class QGroupBox;

namespace gui {

class FrmUnits : public QWidget {
    Q_OBJECT
public:
    explicit FrmUnits(QWidget* parent = nullptr);

    QGroupBox* fraSampleDimensions;
    QLabel* lblSampleDimensions;
    QRadioButton* optEnglishIn;
    QRadioButton* optMetricmm;
    QGroupBox* fraDisplacement;
    QLabel* lblDisplacement;
    QRadioButton* optEnglishMils;
    QRadioButton* optMetricMicrons;
    QGroupBox* fraImageFileFormat;
    QLabel* lblImageFormat;
    QRadioButton* optTif;
    QRadioButton* optBitmap;
    QPushButton* cmdOK;

    // The confirmation (also run by Enter and by closing the dialog).
    void cmdOK_Click();
    // Unit texts, number format, file format and the labels that depend on them.
    void ApplyUnitsToBatchForm();

    bool confirmed() const { return confirmed_; }

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    bool confirmed_ = false;
};

FrmUnits& frmUnits();

} // namespace gui
