#include "frm_createlegend.h"

#include "frm_contour.h"
#include "plot_rules.h"
#include "plot_windows.h"

#include "app/core/gui/windows.h"
#include "app/core/model/model.h"
#include "app/core/figures.h"
#include "app/core/runtime.h"
#include "platform/dialogs.h"
#include "platform/messages.h"
#include "platform/pathtext.h"
#include "platform/qtext.h"
#include "plots/builders/chart_builders.h"
#include "plots/builders/plot_state.h"

#include <QCoreApplication>
#include <QGridLayout>
#include <QPointer>
#include <QTabWidget>
#include <QVBoxLayout>

namespace plots {
namespace {

using platform::S;

// The maker's own legend chart of one type, for use while the configuration
// window has not handed over its charts. It belongs to the application,
// which frees it; a new one is made should it be asked for again after that.
charts::Chart3D& OwnLegendChart(bool contour)
{
    static QPointer<charts::Chart3D> own[2];
    QPointer<charts::Chart3D>& c = own[contour ? 1 : 0];
    if (!c) {
        c = new charts::Chart3D(QCoreApplication::instance());
        c->setKind(charts::ChartKind::LegendOnly);
        c->setSize(QSize(180, 480));
        c->setHeaderShown(false);
        c->setFooterShown(false);
        c->setLegendShown(true);
        if (contour) ApplyAppearanceStyle(*c, 0);
    }
    return *c;
}

charts::Chart3D* gSurfaceLegend = nullptr;
charts::Chart3D* gContourLegend = nullptr;

} // namespace

void UseLegendCharts(charts::Chart3D* surface, charts::Chart3D* contour)
{
    gSurfaceLegend = surface;
    gContourLegend = contour;
}

charts::Chart3D& SurfaceLegendChart()
{
    return gSurfaceLegend ? *gSurfaceLegend : OwnLegendChart(false);
}

charts::Chart3D& ContourLegendChart()
{
    return gContourLegend ? *gContourLegend : OwnLegendChart(true);
}

float BuildSurfaceLegend(double zmin, double zmax)
{
    return FillSurfaceLegend(SurfaceLegendChart(), zmin, zmax, model::files.ZFormat, model::files.ZUnits);
}

void BuildContourLegend(double zmin, double zmax)
{
    FillContourLegend(ContourLegendChart(), zmin, zmax, model::files.ZFormat, model::files.ZUnits);
}

FrmCreateLegend::FrmCreateLegend(QWidget* parent) : QDialog(parent)
{
    setObjectName("frmCreateLegend");
    setWindowTitle("Create Legend");
    setAttribute(Qt::WA_DeleteOnClose);
    setMinimumWidth(260);
    auto* layout = new QVBoxLayout(this);
    fraLegendType = new QGroupBox("Select &Type:", this);
    fraLegendType->setObjectName("fraLegendType");
    auto* types = new QVBoxLayout(fraLegendType);
    opt3D = new QRadioButton("&3D Surface Legend", fraLegendType);
    opt3D->setObjectName("opt3D");
    optContour = new QRadioButton("&Contour Legend", fraLegendType);
    optContour->setObjectName("optContour");
    types->addWidget(opt3D);
    types->addWidget(optContour);
    opt3D->setChecked(true);
    layout->addWidget(fraLegendType);
    auto* grid = new QGridLayout;
    lblZmin = new QLabel("Z M&in", this);
    txtZmin = new QLineEdit(this);
    txtZmin->setObjectName("txtZmin");
    txtZmin->setAccessibleName("Z Min");
    lblZmax = new QLabel("Z M&ax", this);
    txtZmax = new QLineEdit(this);
    txtZmax->setObjectName("txtZmax");
    txtZmax->setAccessibleName("Z Max");
    lblZmin->setBuddy(txtZmin);
    lblZmax->setBuddy(txtZmax);
    grid->addWidget(lblZmin, 0, 0);
    grid->addWidget(txtZmin, 0, 1);
    grid->addWidget(lblZmax, 1, 0);
    grid->addWidget(txtZmax, 1, 1);
    layout->addLayout(grid);
    cmdSaveAs = new QPushButton("&Save As...", this);
    cmdSaveAs->setObjectName("cmdSaveAs");
    cmdSaveAs->setAutoDefault(false);
    layout->addWidget(cmdSaveAs);
    connect(cmdSaveAs, &QPushButton::clicked, this, [this] { cmdSaveAs_Click(); });
}

void FrmCreateLegend::cmdSaveAs_Click()
{
    auto& files = model::files;
    for (;;) {
        double zmin = 0, zmax = 0;
        if (!core::ParseNumber(S(txtZmin->text()), &zmin) || !core::ParseNumber(S(txtZmax->text()), &zmax)) {
            platform::ShowMessage("Enter values for Z Min and Z Max.", 0, model::AppTitle);
            return;
        }
        if (!(zmin < zmax)) {
            platform::ShowMessage("Z Max must be greater then Z Min.", 0, model::AppTitle);
            return;
        }
        const std::string problem = core::PlotRangeProblem(zmin, zmax);
        if (!problem.empty()) {
            platform::ShowMessage(problem, 0, model::AppTitle);
            return;
        }
        const bool threeD = opt3D->isChecked();
        // The batch configuration window shows the tab of the legend drawn.
        if (auto* tabs = gui::frmBatchConfiguration().findChild<QTabWidget*>("SSTab1"))
            tabs->setCurrentIndex(threeD ? 0 : 1);
        if (threeD) plotState.LevelStep = BuildSurfaceLegend(zmin, zmax);
        else BuildContourLegend(zmin, zmax);

        platform::FileDialogRequest req;
        req.kind = platform::FileDialogRequest::Save;
        req.title = "Save Legend";
        req.fileName = LegendDefaultName(threeD, zmin, zmax, files.ZFormat, files.ZUnits);
        req.filter = kLegendSaveFilter;
        req.promptOverwrite = true;
        const bool plotShown = gui::frm3DChart().isVisible() || gui::frmContour().isVisible();
        if (plotShown) {
            req.filterIndex = files.GraphFormatIndex == 2 ? 2 : 1;
        } else {
            QRadioButton* bitmap = gui::frmBatchConfiguration().optBitmap;
            req.filterIndex = !bitmap || bitmap->isChecked() ? 1 : 2;
        }
        req.initialFolder = files.WorkingFolder;
        const platform::FileDialogResult res = platform::ShowFileDialog(req);
        if (!res.confirmed) return;
        files.OutputFileName = res.path;
        const int index = res.filterIndex == 2 ? 2 : 1;
        if (!LegendNameMatches(res.path, index)) {
            model::ShowMsg(InvalidFileNameMessage(), 16, "Save Legend Error");
            continue;
        }
        const charts::Chart3D& chart = threeD ? SurfaceLegendChart() : ContourLegendChart();
        const QString path = platform::PathText(res.path);
        QString why;
        const bool written = index == 1 ? chart.exportBmp(path, &why) : chart.exportJpeg(path, 100, &why);
        // Nothing was written; a file of that name keeps what it held.
        if (!written) model::ShowMsg(CannotSaveMessage(res.path, S(why)), 16, "Save Legend Error");
        return;
    }
}

FrmCreateLegend* ShowLegendMaker(LegendType type)
{
    auto* w = new FrmCreateLegend;
    if (type == LegendType::Surface3D) w->opt3D->setChecked(true);
    else if (type == LegendType::Contour) w->optContour->setChecked(true);
    w->setWindowModality(Qt::ApplicationModal);
    w->show();
    w->raise();
    return w;
}

} // namespace plots
