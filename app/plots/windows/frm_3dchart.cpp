#include "frm_3dchart.h"

#include "frm_createlegend.h"
#include "plot_rules.h"
#include "plot_windows.h"

#include "app/core/model/model.h"
#include "app/core/runtime.h"
#include "plots/builders/plot_state.h"
#include "plots/charts/chart3d_render.h"
#include "platform/qtext.h"

#include <QApplication>
#include <QFormLayout>
#include <QFocusEvent>

namespace plots {
namespace {

using platform::Q;
using platform::S;

} // namespace

Frm3DChart::Frm3DChart()
{
    setObjectName("frm3DChart");
    setWindowTitle("3D Surface Plot");
    Chart3D1 = new charts::ChartView(this);
    Chart3D1->setObjectName("Chart3D1");
    Chart3D1->setAccessibleName("3D Surface Plot");
    chart().setKind(charts::ChartKind::Surface);
    frame = new PlotFrame(this, PlotKind::Surface, &chart(), nullptr, Chart3D1, [this] { cmdClose_Click(); });
    cmdPrint3D = frame->cmdPrint;
    cmdSave3DChart = frame->cmdSave;
    cmdClose = frame->cmdClose;
    cmdCustomize = frame->cmdCustomize;
    chkLegend = frame->chkLegend;
    txtHeader = frame->txtHeader;
    txtFooter = frame->txtFooter;
    chkZLabel = frame->chkZLabel;

    auto* angles = new QFormLayout;
    lblRotation = new QLabel("Rota&tion (degrees)", frame->fixedArea);
    lblRotation->setObjectName("lblRotation");
    txtRotation = new QLineEdit(frame->fixedArea);
    txtRotation->setObjectName("txtRotation");
    txtRotation->setAccessibleName("Rotation (degrees)");
    lblAltitude = new QLabel("Altitude (&degrees)", frame->fixedArea);
    lblAltitude->setObjectName("lblAltitude");
    txtAltitude = new QLineEdit(frame->fixedArea);
    txtAltitude->setObjectName("txtAltitude");
    txtAltitude->setAccessibleName("Altitude (degrees)");
    lblRotation->setBuddy(txtRotation);
    lblAltitude->setBuddy(txtAltitude);
    angles->addRow(lblRotation, txtRotation);
    angles->addRow(lblAltitude, txtAltitude);
    frame->fixedLayout->addLayout(angles);
    txtRotation->setText(Q(RotationText(chart().viewRotation())));
    txtAltitude->setText(Q(AltitudeText(chart().viewElevation())));
    frame->WireTextBox(txtRotation, [this] { txtRotation_KeyPress(); });
    frame->WireTextBox(txtAltitude, [this] { txtAltitude_KeyPress(); });

    chkReduceData = new QCheckBox("&Reduce Data", frame->panel);
    chkReduceData->setObjectName("chkReduceData");
    chkReduceData->setChecked(true);
    frame->panelLayout->addWidget(chkReduceData);
    cmdCreateLegend = new QPushButton("Create Le&gend...", frame->panel);
    cmdCreateLegend->setObjectName("cmdCreateLegend");
    frame->panelLayout->addWidget(cmdCreateLegend);
    connect(chkReduceData, &QCheckBox::toggled, this, [this] { chkReduceData_Click(); });
    connect(chkZLabel, &QCheckBox::toggled, this, [this] { chkZLabel_Click(); });
    connect(cmdCreateLegend, &QPushButton::clicked, this, [this] { cmdCreateLegend_Click(); });

    connect(Chart3D1, &charts::ChartView::keyDown, this, &Frm3DChart::Chart3D1_KeyDown);
    connect(Chart3D1, &charts::ChartView::keyUp, this, &Frm3DChart::Chart3D1_KeyUp);
    connect(Chart3D1, &charts::ChartView::viewChanging, this, &Frm3DChart::Chart3D1_ViewChanging);
    connect(Chart3D1, &charts::ChartView::viewChanged, this, &Frm3DChart::Chart3D1_ViewChanged);
    connect(Chart3D1, &charts::ChartView::interactionStarted, this, [this](int) { RemoveLabels(); });
    connect(Chart3D1, &charts::ChartView::mouseUp, this, &Frm3DChart::Chart3D1_MouseUp);
    Chart3D1->installEventFilter(this);

    // Table of interactive actions: turn with a plain left drag, zoom with a
    // Ctrl left drag, Escape cancels a turn or resets the zoom.
    charts::Chart3D& c = chart();
    c.removeAllActions();
    c.addAction(516, 2, 0, 12);
    c.addAction(513, 33, 0, 1);
    c.addAction(512, 33, 0, 4);
    c.addAction(514, 32, 0, 2);
    c.addAction(256, 1, 27, 3);
    c.addAction(513, 9, 0, 7);
    c.addAction(512, 9, 0, 8);
    c.addAction(514, 8, 0, 9);
    c.addAction(256, 0, 27, 11);
}

void Frm3DChart::Setup3DChart(bool reduced)
{
    plots::Setup3DChart(reduced);
}

void Frm3DChart::RemoveLabels()
{
    if (chart().chartLabelCount() > 0) chart().removeAllChartLabels();
}

// ---------------------------------------------------------------- view keys

void Frm3DChart::Chart3D1_KeyDown(int keyCode, int)
{
    auto& p = plotState;
    if (keyCode == 65) p.AltitudeKeyHeld = true;
    else if (keyCode == 82) p.RotationKeyHeld = true;
    else if (keyCode == 80) p.PickKeyHeld = true;
}

void Frm3DChart::Chart3D1_KeyUp(int keyCode, int)
{
    auto& p = plotState;
    if (keyCode == 65) p.AltitudeKeyHeld = false;
    else if (keyCode == 82) p.RotationKeyHeld = false;
    else if (keyCode == 80) p.PickKeyHeld = false;
}

bool Frm3DChart::eventFilter(QObject* watched, QEvent* event)
{
    // A key released while the chart has no focus never reaches it: forget
    // the held keys when the chart loses the focus or the pointer leaves it.
    if (watched == Chart3D1 && (event->type() == QEvent::FocusOut || event->type() == QEvent::Leave)) {
        plotState.AltitudeKeyHeld = plotState.RotationKeyHeld = plotState.PickKeyHeld = false;
    }
    return gui::Chart3DWindow::eventFilter(watched, event);
}

void Frm3DChart::Chart3D1_ViewChanging(charts::ViewProposal* v)
{
    const auto& p = plotState;
    if (p.PickKeyHeld) return;
    v->third = 0;
    if (p.RotationKeyHeld) v->elevation = core::Val(S(txtAltitude->text()));
    if (p.AltitudeKeyHeld) v->rotation = core::Val(S(txtRotation->text()));
}

void Frm3DChart::Chart3D1_ViewChanged()
{
    txtAltitude->setText(Q(AltitudeText(chart().viewElevation())));
    txtRotation->setText(Q(RotationText(chart().viewRotation())));
}

void Frm3DChart::txtAltitude_KeyPress()
{
    const auto a = TypedAngle(S(txtAltitude->text()));
    if (!a) {
        txtAltitude->setText(Q(GeneralNumber(chart().viewElevation())));
        return;
    }
    txtAltitude->setText(QString::number(*a));
    chart().setIsBatched(true);
    chart().setViewElevation(*a);
    RemoveLabels();
    chart().setIsBatched(false);
}

void Frm3DChart::txtRotation_KeyPress()
{
    const auto a = TypedAngle(S(txtRotation->text()));
    if (!a) {
        txtRotation->setText(Q(RotationText(chart().viewRotation())));
        return;
    }
    txtRotation->setText(QString::number(*a));
    chart().setIsBatched(true);
    chart().setViewRotation(*a);
    RemoveLabels();
    chart().setIsBatched(false);
}

// ---------------------------------------------------------------- point pick

void Frm3DChart::Chart3D1_MouseUp(int button, int shift, int x, int y)
{
    if (button != 1 || shift != 0 || !plotState.PickKeyHeld) return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    charts::Chart3D& c = chart();
    c.setActionsHeld(true);
    c.setIsBatched(true);
    // The view reports the pointer in chart pixels already.
    const int px = x, py = y;
    const charts::DataPoint d = c.pixelToData(px, py);
    const double xmin = c.axisMin(charts::Axis3D::X), xmax = c.axisMax(charts::Axis3D::X);
    const double ymin = c.axisMin(charts::Axis3D::Y), ymax = c.axisMax(charts::Axis3D::Y);
    const bool valid = d.z != model::NoDataValue && xmin <= d.x && d.x <= xmax && ymin <= d.y && d.y <= ymax;
    RemoveLabels();
    if (valid) {
        std::string w, h;
        SampleSizeTexts(&w, &h);
        const std::string pattern = PositionPattern(w, h, model::files.XYUnits);
        const int n = c.addChartLabel();
        charts::ChartLabel label = *c.chartLabel(n);
        label.text = Q(PointLabelText(d.z, d.x, d.y, model::files.ZFormat, model::files.ZUnits, pattern));
        label.attachMethod = 1;
        label.attachPoint = QPoint(px, py);
        label.fontSize = 10;
        label.shown = true;
        // In the plot area's corner on the side of the pick, clear of the axes.
        const QPointF corner = c.layout().freeSpot(charts::ChartLabelSize(label), px > c.size().width() / 2.0,
                                                   py > c.size().height() / 2.0);
        label.offset = corner.toPoint() - label.attachPoint;
        c.updateChartLabel(n, label);
    }
    c.setIsBatched(false);
    c.setActionsHeld(false);
    QApplication::restoreOverrideCursor();
}

// ---------------------------------------------------------------- options

void Frm3DChart::chkReduceData_Click()
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    Setup3DChart(chkReduceData->isChecked());
    QApplication::restoreOverrideCursor();
}

void Frm3DChart::chkZLabel_Click()
{
    chart().setAxisTitle(charts::Axis3D::Z,
                         chkZLabel->isChecked() ? Q("Displacement (" + model::files.ZUnits + ")") : QString());
}

void Frm3DChart::cmdCreateLegend_Click() { ShowLegendMaker(LegendType::Surface3D); }

void Frm3DChart::cmdClose_Click() { HidePlotWindow(this); }

} // namespace plots
