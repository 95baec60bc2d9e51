// The plot windows driven through their widgets after a real calculation on
// a synthetic dome: save, print, view keys, point readout, appearance, chord
// picking, normalising and the legend maker.
#include "app/core/gui/tests/gui_fixture.h"

#include "app/core/figures.h"
#include "app/core/runtime.h"
#include "plots/builders/chart_builders.h"
#include "plots/builders/plot_state.h"
#include "plots/windows/frm_3dchart.h"
#include "plots/windows/frm_chordplot.h"
#include "plots/windows/frm_contour.h"
#include "plots/windows/frm_createlegend.h"
#include "plots/windows/frm_diagonal.h"
#include "plots/windows/plot_print.h"
#include "plots/windows/plot_rules.h"
#include "plots/windows/plot_windows.h"
#include "plots/charts/chart3d_render.h"

#include <QAccessible>
#include <QCryptographicHash>
#include "testsupport/accessible_names.h"
#include <QApplication>
#include <QScreen>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPrinter>
#include <QTest>

#include <cmath>
#include <csignal>
#include <set>
#include <tuple>
#include <sys/resource.h>

using namespace guitest;

namespace {

void Mouse(QWidget* w, QEvent::Type type, QPoint p, Qt::MouseButton button, Qt::MouseButtons held,
           Qt::KeyboardModifiers mods = Qt::NoModifier)
{
    QMouseEvent e(type, QPointF(p), w->mapToGlobal(QPointF(p)), button, held, mods);
    QApplication::sendEvent(w, &e);
}

void Key(QWidget* w, QEvent::Type type, int key)
{
    QKeyEvent e(type, key, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

// A chart pixel on node (i, j): on a contour map, the pixel next to the
// node's position that the chart itself reports as on that node.
QPoint NodePixel(const charts::Chart3D& c, int i, int j)
{
    QPointF p;
    EXPECT_TRUE(c.gridNodeToPixel(i, j, &p)) << i << "," << j;
    if (c.kind() != charts::ChartKind::Contour) return p.toPoint();
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) {
            const QPoint q(int(p.x()) + dx, int(p.y()) + dy);
            const charts::NearestPoint n = c.nearestDataPoint(q.x(), q.y());
            if (n.gridX == i && n.gridY == j && n.region == -100 && n.distance < 6) return q;
        }
    ADD_FAILURE() << "no pixel on node " << i << "," << j;
    return p.toPoint();
}

std::string Bytes(const std::string& path)
{
    const auto v = testsupport::ReadBytes(path);
    return std::string(v.begin(), v.end());
}

// Bits per pixel of a BMP file.
int BmpBitCount(const std::string& path)
{
    const std::string b = Bytes(path);
    if (b.size() < 30 || b.compare(0, 2, "BM") != 0) return 0;
    return static_cast<unsigned char>(b[28]) | (static_cast<unsigned char>(b[29]) << 8);
}

// While alive, files may grow to `bytes` as on a nearly full disk (a limit
// that holds for root too); SIGXFSZ is ignored, so a write past it fails.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &old_);
        previous_ = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit r = old_;
        r.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &r);
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, previous_);
    }

private:
    struct rlimit old_ {};
    void (*previous_)(int) = nullptr;
};

// The names of the files in a folder.
std::set<std::string> FilesIn(const std::string& folder)
{
    std::set<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder)) names.insert(e.path().filename().string());
    return names;
}

class PlotWindows : public GuiTest {
protected:
    void SetUp() override
    {
        GuiTest::SetUp();
        plots::InstallPlotWindows();
        plots::plotState = plots::PlotState();
    }

    // Start-up with a dome image and Calculate Displacement; with `border`
    // the image has a blank border, so the corners hold no data.
    void Calculate(bool border = true, int cols = 80, int rows = 60)
    {
        const std::string img = dir.file("Dome_ph.tif");
        if (border) {
            WritePhaseTiff(img, cols, rows, 0.5);
        } else {
            std::string err;
            auto z = synth::ParseSurface("dome:0.0004+plane:0.002,0.001,0", cols, rows, &err);
            auto px = synth::WrapToPhase(cols, rows, z, 0.5, synth::ParseBlank("none", cols, rows, &err));
            ASSERT_EQ(0, strandel::WriteTIFFFile(img, uint16_t(cols), uint16_t(rows),
                                                 synth::MakeHeader(0.5, cols, rows), px.data()));
        }
        StartAndConfirm(img);
        auto& main = gui::frmAnalysis();
        main.cmdUnwrap->click();
        ASSERT_TRUE(main.cmd3DPlot->isEnabled()) << Messages();
        model::files.WorkingFolder = dir.path().string() + "/";
        messages.records.clear();
    }

    plots::Frm3DChart& Open3D()
    {
        gui::frmAnalysis().cmd3DPlot->click();
        auto& w = plots::frm3DChart();
        w.resize(1000, 700);
        QApplication::processEvents();
        return w;
    }

    // Every plot window open on a result without a blank border: a chord
    // picked on the contour map from node (5, 5) to (40, 30), then the 3D
    // and diagonal plots.
    void OpenEveryPlot()
    {
        Calculate(false);
        auto& main = gui::frmAnalysis();
        main.cmdChordPlot->click();
        auto& contour = plots::frmContour();
        QApplication::processEvents();
        Mouse(contour.Chart3D2, QEvent::MouseButtonPress, NodePixel(contour.chart(), 5, 5), Qt::LeftButton, Qt::LeftButton);
        Mouse(contour.Chart3D2, QEvent::MouseButtonRelease, NodePixel(contour.chart(), 40, 30), Qt::LeftButton, Qt::NoButton);
        ASSERT_TRUE(plots::frmChordPlot().isVisible()) << Messages();
        main.cmd3DPlot->click();
        main.cmdDiagonal->click();
    }
};

} // namespace

TEST_F(PlotWindows, Save3DWritesA24BitBitmapAndRefusesAWrongExtension)
{
    Calculate();
    auto& w = Open3D();
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(w.txtHeader->text().toStdString(), model::files.DataSetName);
    EXPECT_EQ(w.chart().footerText(), w.txtFooter->text());

    dialogs.queueFile(dir.file("a.bmp"), 1);
    w.cmdSave3DChart->click();
    ASSERT_EQ(1u, dialogs.fileRequests.size());
    EXPECT_EQ("3D Bitmap Files (*_3D.bmp)|*_3D.bmp|3D JPEG Files (*_3D.jpg)|*_3D.jpg", dialogs.fileRequests[0].filter);
    EXPECT_EQ(1, dialogs.fileRequests[0].filterIndex);
    EXPECT_EQ(24, BmpBitCount(dir.file("a_3D.bmp")));
    EXPECT_EQ("Save", testsupport::Caption(w.cmdSave3DChart));
    EXPECT_EQ(dir.path().string() + "/", model::files.WorkingFolder);
    EXPECT_TRUE(messages.records.empty()) << Messages();

    // JPEG filter with a bitmap name: the message, then the dialog again.
    dialogs.fileRequests.clear();
    dialogs.queueFile(dir.file("b.bmp"), 2);
    dialogs.queueFile(dir.file("b.jpg"), 2);
    w.cmdSave3DChart->click();
    ASSERT_EQ(1u, messages.records.size());
    EXPECT_EQ("Save Graph Error", messages.records[0].title);
    EXPECT_EQ(16, messages.records[0].style);
    EXPECT_EQ("The file cannot be saved.\rInvalid filename specified.", messages.records[0].text);
    EXPECT_EQ(2u, dialogs.fileRequests.size());
    EXPECT_FALSE(platform::FileExists(dir.file("b_3D.bmp")));
    EXPECT_EQ("\xFF\xD8", Bytes(dir.file("b_3D.jpg")).substr(0, 2));
    EXPECT_EQ(2, model::files.GraphFormatIndex);

    // Cancel writes nothing and says nothing.
    messages.records.clear();
    dialogs.queueFileCancel();
    w.cmdSave3DChart->click();
    EXPECT_TRUE(messages.records.empty());
}

// A name the dialog gives as bytes that are not UTF-8 is the file written:
// the 3D window's Save and the legend maker write "A\xff..." and leave the
// picture of "A\xef\xbf\xbd..." (U+FFFD), another part's, as it was.
TEST_F(PlotWindows, SaveWritesTheBytesOfTheNameItIsGiven)
{
    Calculate();
    auto& w = Open3D();
    const std::string chosen = dir.file("A\xff_3D.bmp"), other = dir.file("A\xef\xbf\xbd_3D.bmp");
    testsupport::WriteBytes(other, {'o', 't', 'h', 'e', 'r'});
    dialogs.queueFile(chosen, 1);
    QTest::mouseClick(w.cmdSave3DChart, Qt::LeftButton);
    EXPECT_TRUE(messages.records.empty()) << Messages();
    EXPECT_EQ(24, BmpBitCount(chosen));
    EXPECT_EQ("other", Bytes(other));

    plots::FrmCreateLegend legend;
    legend.txtZmin->setText("0");
    legend.txtZmax->setText("64");
    const std::string legendName = dir.file("Legend\xff.bmp"), otherLegend = dir.file("Legend\xef\xbf\xbd.bmp");
    testsupport::WriteBytes(otherLegend, {'o', 't', 'h', 'e', 'r'});
    dialogs.queueFile(legendName, 1);
    QTest::mouseClick(legend.cmdSaveAs, Qt::LeftButton);
    EXPECT_TRUE(messages.records.empty()) << Messages();
    EXPECT_EQ(24, BmpBitCount(legendName));
    EXPECT_EQ("other", Bytes(otherLegend));
}

// A picture that cannot be written, under a folder that is a file or past
// a full disk, is reported with its reason by every plot window's Save, as
// bitmap and as JPEG; a picture of that name keeps what it held, nothing is
// left behind, and the format and folder of the last save stay.
TEST_F(PlotWindows, SavesThatCannotWriteSaySoAndKeepTheOldPicture)
{
    ASSERT_NO_FATAL_FAILURE(OpenEveryPlot());
    auto& main = gui::frmAnalysis();
    auto& contour = plots::frmContour();
    const std::string folder = dir.file("pictures");
    std::filesystem::create_directories(folder);
    testsupport::WriteBytes(folder + "/plain", {'x'});
    struct Window {
        QPushButton* save;
        const char* suffix;
    };
    const Window windows[] = {{plots::frm3DChart().cmdSave3DChart, "_3D"},
                              {plots::frmDiagonal().cmdSave2DChart, "_dia"},
                              {plots::frmChordPlot().cmdSave, "_crd"}};
    model::files.GraphFormatIndex = 1;
    model::files.WorkingFolder = dir.path().string() + "/";
    for (const Window& w : windows) {
        for (int index : {1, 2}) {
            const std::string ext = index == 1 ? ".bmp" : ".jpg";
            const std::string old = folder + "/old" + w.suffix + ext;
            testsupport::WriteBytes(old, {'o', 'l', 'd'});
            for (const std::string& chosen : {folder + "/plain/a" + ext, old}) {
                SCOPED_TRACE(chosen);
                messages.records.clear();
                dialogs.queueFile(chosen, index);
                {
                    FileSizeLimit full(4096);
                    QTest::mouseClick(w.save, Qt::LeftButton);
                }
                ASSERT_EQ(1u, messages.records.size());
                const std::string target = chosen == old ? old : folder + "/plain/a" + w.suffix + ext;
                EXPECT_EQ(0u, messages.records[0].text.rfind("The file cannot be saved.\r" + target + ": ", 0))
                    << messages.records[0].text;
                EXPECT_GT(messages.records[0].text.size(), ("The file cannot be saved.\r" + target + ": ").size());
                EXPECT_EQ("Save Graph Error", messages.records[0].title);
                EXPECT_EQ(16, messages.records[0].style);
                EXPECT_EQ("Save", testsupport::Caption(w.save));
                EXPECT_EQ("old", Bytes(old));
            }
            EXPECT_EQ(1, model::files.GraphFormatIndex);
            EXPECT_EQ(dir.path().string() + "/", model::files.WorkingFolder);
        }
    }
    // The contour window's Save is kept for chord picking; after it, the same.
    plots::frmChordPlot().cmdClose->click();
    main.cmdContour->click();
    messages.records.clear();
    dialogs.queueFile(folder + "/plain/c.jpg", 2);
    QTest::mouseClick(contour.cmdSave, Qt::LeftButton);
    ASSERT_EQ(1u, messages.records.size());
    EXPECT_EQ(0u, messages.records[0].text.rfind("The file cannot be saved.\r" + folder + "/plain/c_ctr.jpg: ", 0));

    // The legend maker, both types and formats.
    plots::FrmCreateLegend legend;
    legend.txtZmin->setText("0");
    legend.txtZmax->setText("64");
    for (QRadioButton* type : {legend.opt3D, legend.optContour})
        for (int index : {1, 2}) {
            type->setChecked(true);
            const std::string old = folder + (index == 1 ? "/legend.bmp" : "/legend.jpg");
            testsupport::WriteBytes(old, {'o', 'l', 'd'});
            messages.records.clear();
            dialogs.queueFile(old, index);
            {
                FileSizeLimit full(4096);
                QTest::mouseClick(legend.cmdSaveAs, Qt::LeftButton);
            }
            ASSERT_EQ(1u, messages.records.size());
            EXPECT_EQ(0u, messages.records[0].text.rfind("The file cannot be saved.\r" + old + ": ", 0))
                << messages.records[0].text;
            EXPECT_EQ("Save Legend Error", messages.records[0].title);
            EXPECT_EQ("old", Bytes(old));
        }
    const std::set<std::string> left = {"legend.bmp", "legend.jpg", "old_3D.bmp", "old_3D.jpg", "old_crd.bmp",
                                        "old_crd.jpg", "old_dia.bmp", "old_dia.jpg", "plain"};
    EXPECT_EQ(left, FilesIn(folder));
}

TEST_F(PlotWindows, ViewKeysHoldOneAngleAndAreForgottenWhenTheChartLosesFocus)
{
    Calculate();
    auto& w = Open3D();
    const double elevation = w.chart().viewElevation();
    const QString altitude = w.txtAltitude->text();
    const QString rotation = w.txtRotation->text();
    const QPoint start(300, 300);

    // R held: a diagonal drag turns the rotation only.
    Key(w.Chart3D1, QEvent::KeyPress, Qt::Key_R);
    EXPECT_TRUE(plots::plotState.RotationKeyHeld);
    Mouse(w.Chart3D1, QEvent::MouseButtonPress, start, Qt::LeftButton, Qt::LeftButton);
    Mouse(w.Chart3D1, QEvent::MouseMove, start + QPoint(60, 40), Qt::NoButton, Qt::LeftButton);
    Mouse(w.Chart3D1, QEvent::MouseButtonRelease, start + QPoint(60, 40), Qt::LeftButton, Qt::NoButton);
    Key(w.Chart3D1, QEvent::KeyRelease, Qt::Key_R);
    EXPECT_FALSE(plots::plotState.RotationKeyHeld);
    EXPECT_NE(rotation, w.txtRotation->text());
    EXPECT_EQ(altitude, w.txtAltitude->text());
    EXPECT_EQ(elevation, w.chart().viewElevation());

    // A held: the elevation only.
    const QString rotation2 = w.txtRotation->text();
    Key(w.Chart3D1, QEvent::KeyPress, Qt::Key_A);
    Mouse(w.Chart3D1, QEvent::MouseButtonPress, start, Qt::LeftButton, Qt::LeftButton);
    Mouse(w.Chart3D1, QEvent::MouseMove, start + QPoint(60, 40), Qt::NoButton, Qt::LeftButton);
    Mouse(w.Chart3D1, QEvent::MouseButtonRelease, start + QPoint(60, 40), Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(rotation2, w.txtRotation->text());
    EXPECT_NE(altitude, w.txtAltitude->text());

    // The A key is released elsewhere: the flag does not stick.
    QFocusEvent out(QEvent::FocusOut);
    QApplication::sendEvent(w.Chart3D1, &out);
    EXPECT_FALSE(plots::plotState.AltitudeKeyHeld);

    // Typed angles.
    w.txtAltitude->setText("30.5");
    QTest::keyClick(w.txtAltitude, Qt::Key_Return);
    EXPECT_EQ("30", w.txtAltitude->text().toStdString());
    EXPECT_EQ(30.0, w.chart().viewElevation());
    w.txtAltitude->setText("abc");
    QTest::keyClick(w.txtAltitude, Qt::Key_Return);
    EXPECT_EQ("30", w.txtAltitude->text().toStdString());
    w.chart().setViewElevation(200);
    w.Chart3D1_ViewChanged();
    EXPECT_EQ("-160", w.txtAltitude->text().toStdString());
}

TEST_F(PlotWindows, TypedAndDraggedViewAnglesAreSavedAsTheSettingsReaderTakesThem)
{
    Calculate();
    auto& w = Open3D();
    w.txtAltitude->setText("100");
    QTest::keyClick(w.txtAltitude, Qt::Key_Return);
    w.txtRotation->setText("-10");
    QTest::keyClick(w.txtRotation, Qt::Key_Return);
    SaveAndReadBackSettings();
    EXPECT_EQ(model::settings.SettingPlotAltitude, 90);
    EXPECT_EQ(model::settings.SettingPlotRotation, 350);
}

TEST_F(PlotWindows, PAndClickWritesThePointReadout)
{
    Calculate();
    auto& w = Open3D();
    charts::Chart3D& c = w.chart();
    const QPoint p = NodePixel(c, 25, 25);
    const charts::DataPoint d = c.pixelToData(p.x(), p.y());
    ASSERT_NE(d.z, model::NoDataValue);

    // Without P nothing is picked.
    Mouse(w.Chart3D1, QEvent::MouseButtonRelease, p, Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(0, c.chartLabelCount());

    Key(w.Chart3D1, QEvent::KeyPress, Qt::Key_P);
    Mouse(w.Chart3D1, QEvent::MouseButtonPress, p, Qt::LeftButton, Qt::LeftButton);
    Mouse(w.Chart3D1, QEvent::MouseButtonRelease, p, Qt::LeftButton, Qt::NoButton);
    ASSERT_EQ(1, c.chartLabelCount());
    const std::string expected = core::FormatNumber(d.z, "0.0") + " mils\r(x,y) = (" +
                                 core::FormatNumber(d.x, "0") + "," + core::FormatNumber(d.y, "0") + ")";
    EXPECT_EQ(expected, c.chartLabel(1)->text.toStdString());
    EXPECT_EQ(p, c.chartLabel(1)->attachPoint);
    EXPECT_EQ(10, c.chartLabel(1)->fontSize);
    {
        // The readout stands inside the plot area on the side of the pick,
        // clear of every axis text.
        const charts::ChartLabel* l = c.chartLabel(1);
        const QRectF box(QPointF(l->attachPoint + l->offset), charts::ChartLabelSize(*l));
        const QRect plot = c.layout().plotRect();
        EXPECT_TRUE(QRectF(plot).contains(box));
        EXPECT_EQ(box.center().x() > plot.center().x(), p.x() > c.size().width() / 2);
        for (const charts::TextBox& t : c.layout().textBoxes()) EXPECT_FALSE(box.intersects(t.rect)) << t.text.toStdString();
    }

    // Shift-click and right click leave it; a click off the surface removes it.
    Mouse(w.Chart3D1, QEvent::MouseButtonRelease, p, Qt::LeftButton, Qt::NoButton, Qt::ShiftModifier);
    Mouse(w.Chart3D1, QEvent::MouseButtonRelease, p, Qt::RightButton, Qt::NoButton);
    EXPECT_EQ(1, c.chartLabelCount());
    Mouse(w.Chart3D1, QEvent::MouseButtonRelease, QPoint(3, 3), Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(0, c.chartLabelCount());
    Key(w.Chart3D1, QEvent::KeyRelease, Qt::Key_P);

    // A rebuild removes a label as well.
    Key(w.Chart3D1, QEvent::KeyPress, Qt::Key_P);
    Mouse(w.Chart3D1, QEvent::MouseButtonRelease, p, Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(1, c.chartLabelCount());
    w.chkReduceData->setChecked(!w.chkReduceData->isChecked());
    EXPECT_EQ(0, c.chartLabelCount());
    EXPECT_EQ(w.chkReduceData->isChecked() ? 50 : 80, c.pointsX());
}

TEST_F(PlotWindows, OptionsPanelTitlesSizesAndPrint)
{
    Calculate();
    auto& w = Open3D();
    plots::PlotFrame& f = *w.frame;
    EXPECT_FALSE(f.chkHeader->isVisibleTo(&w));
    w.cmdCustomize->setText("show options");
    w.cmdCustomize->click();
    EXPECT_TRUE(f.chkHeader->isVisibleTo(&w));
    EXPECT_TRUE(w.chkReduceData->isVisibleTo(&w));
    EXPECT_EQ("Hide Options", testsupport::Caption(w.cmdCustomize));
    EXPECT_TRUE(w.txtRotation->isVisibleTo(&w));

    f.chkHeader->setChecked(false);
    EXPECT_FALSE(w.chart().headerShown());
    EXPECT_FALSE(f.txtHeader->isEnabled());
    f.chkXLabel->setChecked(false);
    EXPECT_EQ("", w.chart().axisTitle(charts::Axis3D::X).toStdString());
    gui::frmAnalysis().txtSampleWidth->setText("2");
    gui::frmAnalysis().txtSampleHeight->setText("1.5");
    f.chkXLabel->setChecked(true);
    EXPECT_EQ("X (in)", w.chart().axisTitle(charts::Axis3D::X).toStdString());
    f.chkXValues->setChecked(false);
    EXPECT_EQ(2, w.chart().axisAnnotation(charts::Axis3D::X));
    w.chkZLabel->setChecked(false);
    EXPECT_EQ("", w.chart().axisTitle(charts::Axis3D::Z).toStdString());
    w.chkZLabel->setChecked(true);
    EXPECT_EQ("Displacement (mils)", w.chart().axisTitle(charts::Axis3D::Z).toStdString());

    f.txtFooter->setText("My footer");
    QTest::keyClick(f.txtFooter, Qt::Key_Return);
    EXPECT_EQ("My footer", w.chart().footerText().toStdString());

    f.txtLabelSize->setText("21.5");
    QTest::keyClick(f.txtLabelSize, Qt::Key_Return);
    EXPECT_EQ("22", f.txtLabelSize->text().toStdString());
    EXPECT_EQ(22, w.chart().axisTitleFontSize(charts::Axis3D::X));
    // The first axis only.
    EXPECT_EQ(100, w.chart().axisTitleFontSize(charts::Axis3D::Y));
    EXPECT_EQ(100, w.chart().axisTitleFontSize(charts::Axis3D::Z));
    f.txtLabelSize->setText("19.4");
    QTest::keyClick(f.txtLabelSize, Qt::Key_Return);
    EXPECT_EQ("22", f.txtLabelSize->text().toStdString());

    // Print goes to the chosen printer; here a PDF file.
    const std::string pdf = dir.file("plot.pdf");
    auto previous = plots::SetPrinterProvider([&](QWidget*) {
        auto p = std::make_unique<QPrinter>();
        p->setOutputFormat(QPrinter::PdfFormat);
        p->setOutputFileName(QString::fromStdString(pdf));
        return p;
    });
    w.cmdPrint3D->click();
    plots::SetPrinterProvider([](QWidget*) { return std::unique_ptr<QPrinter>(); });
    w.cmdPrint3D->click();   // cancelled: nothing, no message
    plots::SetPrinterProvider(previous);
    EXPECT_EQ("%PDF", Bytes(pdf).substr(0, 4));
    EXPECT_TRUE(messages.records.empty()) << Messages();

    // Close hides; the close box does the same.
    w.cmdClose->click();
    EXPECT_FALSE(w.isVisible());
    gui::frmAnalysis().cmd3DPlot->click();
    EXPECT_TRUE(w.isVisible());
    w.close();
    EXPECT_FALSE(w.isVisible());
    EXPECT_NO_FATAL_FAILURE(plots::frm3DChart());
}

TEST_F(PlotWindows, AppearanceSwitchesBetweenTheFillAndLineLayouts)
{
    Calculate();
    gui::frmAnalysis().txtZmin->setText("-2");
    gui::frmAnalysis().txtZmax->setText("6");
    gui::frmAnalysis().cmdContour->click();
    auto& w = plots::frmContour();
    charts::Chart3D& c = w.chart();
    ASSERT_EQ(17, c.levelCount());
    EXPECT_EQ(-2.0f, plots::plotState.ContourZMin);
    EXPECT_EQ(6.0f, plots::plotState.ContourZMax);

    w.cmbAppearance->setCurrentIndex(3);   // Black Lines
    EXPECT_FALSE(c.contourFilled());
    ASSERT_EQ(19, c.levelCount());
    EXPECT_EQ(1, c.legendMode());
    ASSERT_EQ(18, c.legendLabelCount());
    EXPECT_EQ("", c.legendLabelText(1).toStdString());
    EXPECT_EQ("-1.6", c.legendLabelText(2).toStdString());
    EXPECT_EQ("5.6", c.legendLabelText(18).toStdString());
    EXPECT_EQ(QColor(214, 211, 206), c.chartBackground());

    w.cmbAppearance->setCurrentIndex(2);   // Color Lines: layout kept
    EXPECT_EQ(19, c.levelCount());
    w.cmbAppearance->setCurrentIndex(1);   // Gray Fill
    EXPECT_TRUE(c.contourFilled());
    ASSERT_EQ(17, c.levelCount());
    EXPECT_EQ(2, c.legendMode());
    EXPECT_EQ("-2.0", c.legendLabelText(2).toStdString());
    EXPECT_EQ("6.0", c.legendLabelText(18).toStdString());
    EXPECT_EQ(QColor(255, 255, 255), c.legendBackground());

    // The full grid on clearing Reduce Data.
    w.chkReduceData->setChecked(false);
    EXPECT_EQ(80, c.pointsX());
    EXPECT_EQ(60, c.pointsY());

    // Save a contour picture under a name that already has the suffix.
    dialogs.queueFile(dir.file("plate_CTR.bmp"), 1);
    w.cmdSave->click();
    EXPECT_EQ(24, BmpBitCount(dir.file("plate_CTR.bmp")));
}

TEST_F(PlotWindows, ChordPickFromCornerToCornerFillsTheProfile)
{
    Calculate(false);
    auto& main = gui::frmAnalysis();
    main.cmdChordPlot->click();
    auto& w = plots::frmContour();
    w.resize(1000, 700);
    QApplication::processEvents();
    charts::Chart3D& c = w.chart();
    EXPECT_EQ(plots::kChordPickPrompt, c.headerText().toStdString());
    EXPECT_FALSE(w.cmdSave->isEnabled());
    ASSERT_EQ(50, c.pointsX());

    const QPoint a = NodePixel(c, 1, 50), b = NodePixel(c, 50, 1);
    Mouse(w.Chart3D2, QEvent::MouseButtonPress, a, Qt::LeftButton, Qt::LeftButton);
    EXPECT_TRUE(w.ChordStartPicked);
    EXPECT_EQ(0, w.ChordStartX);
    EXPECT_EQ(0, w.ChordStartY);
    EXPECT_EQ("Move mouse cursor to endpoint and release button:", c.headerText().toStdString());
    ASSERT_EQ(1, c.chartLabelCount());
    EXPECT_EQ("Start", c.chartLabel(1)->text.toStdString());
    Mouse(w.Chart3D2, QEvent::MouseButtonRelease, b, Qt::LeftButton, Qt::NoButton);
    EXPECT_TRUE(messages.records.empty()) << Messages();
    EXPECT_EQ(79, w.ChordEndX);
    EXPECT_EQ(59, w.ChordEndY);
    EXPECT_EQ(0, c.chartLabelCount());

    // ProfileData holds the values along the stepped line (0,0)-(79,59).
    const auto line = core::LineProfile(model::images.ResultMatrix, 0, 0, 79, 59);
    ASSERT_EQ(80u, model::images.ProfileData.size());
    for (size_t i = 0; i < line.size(); ++i) EXPECT_EQ(line[i].value, model::images.ProfileData[i]) << i;
    auto& chord = plots::frmChordPlot();
    EXPECT_TRUE(chord.isVisible());
    EXPECT_EQ(80, chord.chart().pointCount());
    EXPECT_FLOAT_EQ(std::sqrt(79.0f * 79.0f + 59.0f * 59.0f), float(chord.chart().axisMax(charts::Axis2D::X)));
    EXPECT_EQ("Position Along Chord (pixels)", chord.chart().axisTitle(charts::Axis2D::X).toStdString());
    EXPECT_EQ(chord.chart().headerText(), chord.txtHeader->text());

    // New chord: released off the plot.
    chord.cmdNew->click();
    EXPECT_FALSE(chord.isVisible());
    Mouse(w.Chart3D2, QEvent::MouseButtonPress, NodePixel(c, 10, 10), Qt::LeftButton, Qt::LeftButton);
    Mouse(w.Chart3D2, QEvent::MouseButtonRelease, QPoint(2, 2), Qt::LeftButton, Qt::NoButton);
    ASSERT_EQ(1u, messages.records.size());
    EXPECT_EQ("Invalid endpoint selected.", messages.records[0].text);
    EXPECT_EQ("Chord Error", messages.records[0].title);
    EXPECT_EQ(16, messages.records[0].style);
    EXPECT_EQ(plots::kChordPickPrompt, c.headerText().toStdString());
    EXPECT_EQ(0, c.chartLabelCount());

    // Same point twice, then a right press: nothing.
    messages.records.clear();
    Mouse(w.Chart3D2, QEvent::MouseButtonPress, NodePixel(c, 10, 10), Qt::LeftButton, Qt::LeftButton);
    Mouse(w.Chart3D2, QEvent::MouseButtonRelease, NodePixel(c, 10, 10), Qt::LeftButton, Qt::NoButton);
    ASSERT_EQ(1u, messages.records.size());
    EXPECT_EQ("No line selected.", messages.records[0].text);

    // Close of the chord window ends picking and hides both windows.
    Mouse(w.Chart3D2, QEvent::MouseButtonPress, NodePixel(c, 5, 5), Qt::LeftButton, Qt::LeftButton);
    Mouse(w.Chart3D2, QEvent::MouseButtonRelease, NodePixel(c, 40, 5), Qt::LeftButton, Qt::NoButton);
    ASSERT_TRUE(chord.isVisible());
    chord.cmdClose->click();
    EXPECT_FALSE(chord.isVisible());
    EXPECT_FALSE(w.isVisible());
    EXPECT_FALSE(model::state.ChordPickMode);
    EXPECT_TRUE(w.cmdSave->isEnabled());
    main.cmdContour->click();
    EXPECT_EQ(model::files.DataSetName, c.headerText().toStdString());
}

TEST_F(PlotWindows, NormalisingWithAMaskedCornerFallsBackToThePlainProfiles)
{
    Calculate();   // the dome's blank border leaves the corners without data
    gui::frmAnalysis().cmdDiagonal->click();
    auto& w = plots::frmDiagonal();
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(80, w.chart().pointCount());
    EXPECT_EQ(model::images.DiagonalAB.size(), 80u);
    const auto plain = model::images.DiagonalAB;
    w.chkNormalize->setChecked(true);
    ASSERT_EQ(1u, messages.records.size());
    EXPECT_EQ("Data cannot be normalized due to corner mask.", messages.records[0].text);
    EXPECT_EQ(0, messages.records[0].style);
    EXPECT_FALSE(w.chkNormalize->isChecked());
    EXPECT_EQ(plain, model::images.DiagonalAB);
    EXPECT_EQ(plain[40], float(w.chart().y(1, 41)));
}

// The diagonal window's profiles keep both axis titles beside their legend.
TEST_F(PlotWindows, DiagonalWindowDrawsBothAxisTitles)
{
    Calculate();
    gui::frmAnalysis().cmdDiagonal->click();
    const charts::Chart2D& c = plots::frmDiagonal().chart();
    ASSERT_TRUE(c.legendShown());
    std::set<std::string> texts;
    for (const charts::TextBox& b : c.textBoxes()) texts.insert(b.text.toStdString());
    EXPECT_TRUE(texts.count("Position Along Diagonal (pixels)"));
    EXPECT_TRUE(texts.count("Displacement (mils)"));
    EXPECT_TRUE(texts.count(plots::kSeriesAB));
}

TEST_F(PlotWindows, LegendMakerOffersTheRangeNameAndWritesTheLegend)
{
    Calculate();
    model::files.ZUnits = "microns";
    model::files.ZFormat = "0";
    auto& w = Open3D();
    w.cmdCustomize->click();
    w.cmdCreateLegend->click();
    plots::FrmCreateLegend* legend = nullptr;
    for (QWidget* t : QApplication::topLevelWidgets())
        if (auto* l = qobject_cast<plots::FrmCreateLegend*>(t); l && l->isVisible()) legend = l;
    ASSERT_NE(nullptr, legend);
    EXPECT_TRUE(legend->opt3D->isChecked());
    EXPECT_EQ("Create Legend", legend->windowTitle().toStdString());

    // Range checks first.
    legend->cmdSaveAs->click();
    legend->txtZmin->setText("5");
    legend->txtZmax->setText("5");
    legend->cmdSaveAs->click();
    ASSERT_EQ(2u, messages.records.size());
    EXPECT_EQ("Enter values for Z Min and Z Max.", messages.records[0].text);
    EXPECT_EQ("Z Max must be greater then Z Min.", messages.records[1].text);
    EXPECT_TRUE(dialogs.fileRequests.empty());

    messages.records.clear();
    legend->txtZmin->setText("0");
    legend->txtZmax->setText("64");
    dialogs.queueFile(dir.file("legend.jpg"), 1);   // refused under the bitmap filter
    dialogs.queueFile(dir.file("legend.bmp"), 1);
    legend->cmdSaveAs->click();
    ASSERT_EQ(2u, dialogs.fileRequests.size());
    EXPECT_EQ("3D Legend (0 to 64 microns)", dialogs.fileRequests[0].fileName);
    EXPECT_EQ("Save Legend", dialogs.fileRequests[0].title);
    EXPECT_EQ("Bitmap Files (*.bmp)|*.bmp|JPEG Files (*.jpg)|*.jpg", dialogs.fileRequests[0].filter);
    ASSERT_EQ(1u, messages.records.size());
    EXPECT_EQ("Save Legend Error", messages.records[0].title);
    EXPECT_EQ(24, BmpBitCount(dir.file("legend.bmp")));
    EXPECT_FALSE(platform::FileExists(dir.file("legend.jpg")));
    EXPECT_EQ(1.0f, plots::plotState.LevelStep);
    const charts::Chart3D& c = plots::SurfaceLegendChart();
    EXPECT_EQ(64, c.levelCount());
    EXPECT_EQ("0", c.legendLabelSecondText(1).toStdString());
    EXPECT_EQ("0", c.legendLabelSecondText(2).toStdString());
    EXPECT_EQ("4", c.legendLabelText(4).toStdString());
    EXPECT_EQ("60", c.legendLabelText(60).toStdString());
    EXPECT_EQ("64", c.legendLabelSecondText(64).toStdString());

    // Contour type, line style: 19 levels, the labels read back from the chart.
    legend->optContour->setChecked(true);
    plots::ApplyAppearanceStyle(plots::ContourLegendChart(), 3);
    legend->txtZmax->setText("18");
    dialogs.queueFile(dir.file("contour.bmp"), 1);
    legend->cmdSaveAs->click();
    EXPECT_EQ("Contour Legend (0 to 18 microns)", dialogs.fileRequests.back().fileName);
    EXPECT_EQ(19, plots::ContourLegendChart().levelCount());
    EXPECT_EQ("2", plots::ContourLegendChart().legendLabelText(3).toStdString());
    EXPECT_TRUE(platform::FileExists(dir.file("contour.bmp")));
    legend->close();
}

// Without the configuration window's charts the maker draws on its own two,
// which the application frees; freed, they are made again on demand.
TEST_F(PlotWindows, TheMakersOwnLegendChartsAreFreedWithTheApplication)
{
    plots::UseLegendCharts(nullptr, nullptr);
    for (bool contour : {false, true}) {
        charts::Chart3D* c = contour ? &plots::ContourLegendChart() : &plots::SurfaceLegendChart();
        EXPECT_EQ(QCoreApplication::instance(), c->parent());
        delete c;
        charts::Chart3D& again = contour ? plots::ContourLegendChart() : plots::SurfaceLegendChart();
        EXPECT_EQ(charts::ChartKind::LegendOnly, again.kind());
        EXPECT_EQ(10.0f, plots::BuildSurfaceLegend(0, 640));
    }
}

// A Z range the charts cannot draw (its labels would read Inf, or never
// differ) is refused with its reason wherever it is typed: before any of the
// four plot commands opens its window, and by the legend maker.
TEST_F(PlotWindows, ZRangesTheChartsCannotDrawAreRefusedWhereTheyAreTyped)
{
    Calculate();
    auto& main = gui::frmAnalysis();
    const struct {
        const char *zmin, *zmax, *message;
    } ranges[] = {
        {"0", "1e300", "Z Max must be a number from -999999 to 999999."},
        {"-2000000", "1", "Z Min must be a number from -999999 to 999999."},
        {"0", "0.0000001", "Z Max must exceed Z Min by at least 0.000001."},
    };
    const std::pair<QPushButton*, QWidget*> commands[] = {{main.cmd3DPlot, &plots::frm3DChart()},
                                                           {main.cmdContour, &plots::frmContour()},
                                                           {main.cmdDiagonal, &plots::frmDiagonal()},
                                                           {main.cmdChordPlot, &plots::frmContour()}};
    for (const auto& r : ranges) {
        for (const auto& [button, window] : commands) {
            SCOPED_TRACE(testing::Message() << r.zmin << " to " << r.zmax << " " << button->objectName().toStdString());
            for (auto [box, text] : {std::pair{main.txtZmin, r.zmin}, std::pair{main.txtZmax, r.zmax}}) {
                box->clear();
                QTest::keyClicks(box, text);
            }
            messages.records.clear();
            QTest::mouseClick(button, Qt::LeftButton);
            ASSERT_EQ(1u, messages.records.size()) << Messages();
            EXPECT_EQ(r.message, messages.records[0].text);
            EXPECT_EQ("Presentation Setup Error", messages.records[0].title);
            EXPECT_EQ(16, messages.records[0].style);
            EXPECT_FALSE(window->isVisible());
        }
    }

    plots::FrmCreateLegend legend;
    const float step = plots::plotState.LevelStep;
    for (const auto& r : ranges) {
        legend.txtZmin->clear();
        QTest::keyClicks(legend.txtZmin, r.zmin);
        legend.txtZmax->clear();
        QTest::keyClicks(legend.txtZmax, r.zmax);
        messages.records.clear();
        QTest::mouseClick(legend.cmdSaveAs, Qt::LeftButton);
        ASSERT_EQ(1u, messages.records.size()) << Messages();
        EXPECT_EQ(r.message, messages.records[0].text);
    }
    EXPECT_TRUE(dialogs.fileRequests.empty());
    EXPECT_EQ(step, plots::plotState.LevelStep);
}

TEST_F(PlotWindows, WindowsOpenMaximisedRestoreOnScreenAndKeepAMinimumSize)
{
    Calculate();
    gui::frmAnalysis().cmd3DPlot->click();
    auto& w = plots::frm3DChart();
    QApplication::processEvents();
    EXPECT_TRUE(w.isMaximized());
    const QRect screen = w.screen()->availableGeometry();
    // Restore: a smaller window whose title bar and edges are on the screen.
    w.showNormal();
    QApplication::processEvents();
    EXPECT_FALSE(w.isMaximized());
    EXPECT_TRUE(screen.contains(w.frameGeometry())) << w.frameGeometry().x() << "," << w.frameGeometry().y();
    EXPECT_LT(w.width(), screen.width());
    EXPECT_GE(w.width(), plots::PlotWindowMinimumSize().boundedTo(screen.size()).width());
    EXPECT_GE(w.height(), plots::PlotWindowMinimumSize().boundedTo(screen.size()).height());
    // It stays restored, and cannot be made smaller than the minimum.
    w.resize(200, 100);
    QApplication::processEvents();
    EXPECT_FALSE(w.isMaximized());
    EXPECT_GE(w.width(), w.minimumWidth());
    EXPECT_GE(w.height(), w.minimumHeight());
    // Closed and opened again: maximised.
    w.cmdClose->click();
    gui::frmAnalysis().cmd3DPlot->click();
    QApplication::processEvents();
    EXPECT_TRUE(w.isMaximized());
}

TEST_F(PlotWindows, ControlsAreNamedByWhatTheUserSees)
{
    Calculate();
    gui::frmAnalysis().cmd3DPlot->click();
    gui::frmAnalysis().cmdContour->click();
    gui::frmAnalysis().cmdDiagonal->click();
    QApplication::processEvents();
    auto name = [](QWidget* w) {
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
        return a ? a->text(QAccessible::Name).toStdString() : std::string();
    };
    auto& w = plots::frm3DChart();
    EXPECT_EQ("Save", name(w.cmdSave3DChart));
    EXPECT_EQ("Print", name(w.cmdPrint3D));
    EXPECT_EQ("Show Options", name(w.cmdCustomize));
    EXPECT_EQ("Header", name(w.txtHeader));
    EXPECT_EQ("Axis Label Size", name(w.frame->txtLabelSize));
    EXPECT_EQ("Axis Number Size", name(w.frame->txtTickSize));
    EXPECT_EQ("Show Legend", name(w.chkLegend));
    EXPECT_EQ("Rotation (degrees)", name(w.txtRotation));
    EXPECT_EQ("3D Surface Plot", name(w.Chart3D1));
    w.cmdCustomize->click();
    EXPECT_EQ("Hide Options", name(w.cmdCustomize));
    // No control of any plot window goes by its code name; labels read their text.
    for (QWidget* window : {static_cast<QWidget*>(&w), static_cast<QWidget*>(&plots::frmContour()),
                            static_cast<QWidget*>(&plots::frmDiagonal()), static_cast<QWidget*>(&plots::frmChordPlot())})
        EXPECT_EQ("", testsupport::UnreadableControls(window)) << window->objectName().toStdString();
}

TEST_F(PlotWindows, ChordXTitleNamesTheUnitTheChordIsMeasuredIn)
{
    Calculate(false);
    auto& main = gui::frmAnalysis();
    main.cmdChordPlot->click();
    auto& w = plots::frmContour();
    QApplication::processEvents();
    charts::Chart3D& c = w.chart();
    main.txtSampleWidth->setText("2");
    main.txtSampleHeight->setText("");
    Mouse(w.Chart3D2, QEvent::MouseButtonPress, NodePixel(c, 5, 5), Qt::LeftButton, Qt::LeftButton);
    Mouse(w.Chart3D2, QEvent::MouseButtonRelease, NodePixel(c, 40, 5), Qt::LeftButton, Qt::NoButton);
    auto& chord = plots::frmChordPlot();
    ASSERT_TRUE(chord.isVisible()) << Messages();
    EXPECT_EQ("Position Along Chord (pixels)", chord.chart().axisTitle(charts::Axis2D::X).toStdString());
    // The title box agrees with the axis: pixels while only the width is typed.
    chord.frame->chkXLabel->setChecked(false);
    chord.frame->chkXLabel->setChecked(true);
    EXPECT_EQ("Position Along Chord (pixels)", chord.chart().axisTitle(charts::Axis2D::X).toStdString());
    main.txtSampleHeight->setText("1.5");
    chord.frame->chkXLabel->setChecked(false);
    chord.frame->chkXLabel->setChecked(true);
    EXPECT_EQ("Position Along Chord (in)", chord.chart().axisTitle(charts::Axis2D::X).toStdString());
}

TEST_F(PlotWindows, AChordCannotStartOnAMaskedNode)
{
    Calculate(true);   // blank border: the map's corner nodes hold no data
    auto& main = gui::frmAnalysis();
    main.cmdChordPlot->click();
    auto& w = plots::frmContour();
    QApplication::processEvents();
    charts::Chart3D& c = w.chart();
    // The corner node (1, 1) lies at the map's lower left corner.
    const double x = c.layout().dataRect().left() + 1, y = c.layout().dataRect().bottom() - 1;
    ASSERT_EQ(model::NoDataValue, c.gridValue(1, 1));
    Mouse(w.Chart3D2, QEvent::MouseButtonPress, QPoint(int(x), int(y)), Qt::LeftButton, Qt::LeftButton);
    EXPECT_FALSE(w.ChordStartPicked);
    EXPECT_EQ(0, c.chartLabelCount());
}

TEST_F(PlotWindows, EveryCommandHasItsOwnMnemonicAndAltWorksIt)
{
    platform::InstallAccessibility();
    Calculate();
    auto& main = gui::frmAnalysis();
    main.cmd3DPlot->click();
    main.cmdContour->click();
    main.cmdDiagonal->click();
    QApplication::processEvents();
    plots::FrmCreateLegend legend;
    EXPECT_EQ(QAccessible::Dialog, testsupport::AccessibleRole(&legend));
    EXPECT_EQ("", testsupport::MnemonicFaults(&legend));
    EXPECT_EQ("", testsupport::UnreadableControls(&legend));
    auto& w = plots::frm3DChart();
    EXPECT_EQ(QAccessible::Window, testsupport::AccessibleRole(&w));
    for (QWidget* window : {static_cast<QWidget*>(&w), static_cast<QWidget*>(&plots::frmContour()),
                            static_cast<QWidget*>(&plots::frmDiagonal()), static_cast<QWidget*>(&plots::frmChordPlot())}) {
        const std::string code = window->objectName().toStdString();
        EXPECT_EQ("", testsupport::MnemonicFaults(window)) << code;
        window->findChild<QPushButton*>("cmdCustomize")->click();   // the options panel too
        EXPECT_EQ("", testsupport::MnemonicFaults(window)) << code;
        EXPECT_EQ("", testsupport::UnreadableControls(window)) << code;
        window->findChild<QPushButton*>("cmdCustomize")->click();
    }

    // Alt+O shows the options, again hides them: the key stays with the caption.
    w.show();
    w.activateWindow();
    QApplication::setActiveWindow(&w);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w, testsupport::kHangMs));
    QTest::keyClick(&w, Qt::Key_O, Qt::AltModifier);
    EXPECT_TRUE(testsupport::WaitUntil([&] { return w.frame->panel->isVisible(); }));
    EXPECT_EQ("Hide Options", testsupport::Caption(w.cmdCustomize));
    QTest::keyClick(&w, Qt::Key_O, Qt::AltModifier);
    EXPECT_TRUE(testsupport::WaitUntil([&] { return !w.frame->panel->isVisible(); }));
}

// The frame of each plot window, options hidden and shown, draws the picture
// recorded before its construction was split into named steps, beside a chart
// of the same place and size.
TEST_F(PlotWindows, FramesDrawAsRecorded)
{
    StartAndConfirm();
    struct Case {
        QWidget* window;
        plots::PlotFrame* frame;
        QWidget* chart;
        std::string hidden, shown;
    };
    const Case cases[] = {
        {&plots::frm3DChart(), plots::frm3DChart().frame, plots::frm3DChart().Chart3D1, "4,4 546x788 e5c3cd90b30a022c", "4,4 546x788 6c31b73ae0094a1f"},
        {&plots::frmContour(), plots::frmContour().frame, plots::frmContour().Chart3D2, "4,4 546x788 2ee06a21b57d6d7e", "4,4 546x788 aa4cf3f663b0126e"},
        {&plots::frmDiagonal(), plots::frmDiagonal().frame, plots::frmDiagonal().Chart2D1, "4,4 546x788 cc70f4c3068a3fed", "4,4 546x788 510c608b2ca1a603"},
        {&plots::frmChordPlot(), plots::frmChordPlot().frame, plots::frmChordPlot().Chart2D2, "4,4 546x788 24b9ea2fd859aafd", "4,4 546x788 45f0c94aba8e0202"},
    };
    for (const Case& k : cases) {
        k.window->show();
        QApplication::processEvents();
        auto digest = [&k] {
            const QImage side = k.frame->panel->parentWidget()->grab().toImage().convertToFormat(QImage::Format_RGB32);
            QCryptographicHash h(QCryptographicHash::Sha1);
            h.addData(QByteArrayView(reinterpret_cast<const char*>(side.constBits()), side.sizeInBytes()));
            const QRect g = k.chart->geometry();
            return QString("%1,%2 %3x%4 ").arg(g.x()).arg(g.y()).arg(g.width()).arg(g.height()).toStdString() +
                   h.result().toHex().left(16).toStdString();
        };
        EXPECT_EQ(k.hidden, digest()) << k.window->objectName().toStdString();
        k.frame->cmdCustomize->click();
        QApplication::processEvents();
        EXPECT_EQ(k.shown, digest()) << k.window->objectName().toStdString();
        k.frame->cmdCustomize->click();
        k.window->hide();
    }
}

// Assistive technology reads every plot window and the legend maker: each
// control by a text the user sees on it or beside it, each box tied to its
// caption, and the charts as images named by their window and described by
// what their header and footer say.
TEST_F(PlotWindows, AssistiveTechnologyReadsControlsByTheirTextAndChartsAsImages)
{
    platform::InstallAccessibility();
    ASSERT_NO_FATAL_FAILURE(OpenEveryPlot());
    auto& contour = plots::frmContour();
    plots::FrmCreateLegend legend;
    legend.show();
    QApplication::processEvents();
    const std::string dataSet = model::files.DataSetName;
    struct Window {
        QWidget* window;
        QWidget* chart;
        const char* name;
        std::string header;
    };
    // The contour map is picking a chord: its header prompts for the end.
    const Window windows[] = {{&plots::frm3DChart(), plots::frm3DChart().Chart3D1, "3D Surface Plot", dataSet},
                              {&contour, contour.Chart3D2, "Contour Plot", "Move mouse cursor to endpoint and release button:"},
                              {&plots::frmDiagonal(), plots::frmDiagonal().Chart2D1, "Diagonal Plot", dataSet},
                              {&plots::frmChordPlot(), plots::frmChordPlot().Chart2D2, "Chord Plot", dataSet},
                              {&legend, nullptr, "", ""}};
    for (const Window& w : windows) {
        SCOPED_TRACE(w.window->objectName().toStdString());
        if (auto* options = w.window->findChild<QPushButton*>("cmdCustomize")) {
            options->setEnabled(true);
            options->click();
        }
        // What the user sees: captions of buttons, boxes and labels.
        std::set<std::string> seen;
        for (QWidget* c : w.window->findChildren<QWidget*>()) {
            if (!c->isVisibleTo(w.window)) continue;
            if (auto* b = qobject_cast<QAbstractButton*>(c)) seen.insert(testsupport::Caption(b));
            if (auto* l = qobject_cast<QLabel*>(c)) seen.insert(platform::VisibleCaption(l->text()).toStdString());
            if (auto* g = qobject_cast<QGroupBox*>(c)) seen.insert(platform::VisibleCaption(g->title()).toStdString());
            if (auto* b = qobject_cast<QComboBox*>(c)) seen.insert(b->currentText().toStdString());
        }
        std::vector<QAccessibleInterface*> todo{QAccessible::queryAccessibleInterface(w.window)};
        int boxes = 0;
        while (!todo.empty()) {
            QAccessibleInterface* a = todo.back();
            todo.pop_back();
            for (int i = 0; i < a->childCount(); ++i) todo.push_back(a->child(i));
            auto* c = qobject_cast<QWidget*>(a->object());
            if (!c || !c->isVisibleTo(w.window) || c == w.window) continue;
            const std::string name = a->text(QAccessible::Name).toStdString();
            switch (a->role()) {
            case QAccessible::PushButton:
            case QAccessible::CheckBox:
            case QAccessible::RadioButton:
                EXPECT_TRUE(seen.count(name)) << c->objectName().toStdString() << " reads \"" << name << '"';
                break;
            case QAccessible::EditableText:
            case QAccessible::ComboBox:
                ++boxes;
                EXPECT_TRUE(seen.count(name)) << c->objectName().toStdString() << " reads \"" << name << '"';
                // Tied to the caption beside it, or named by its check box (Header, Footer).
                EXPECT_TRUE(!testsupport::LabelledBy(c).empty() ||
                            w.window->findChild<QCheckBox*>(QString(c->objectName()).replace("txt", "chk")))
                    << c->objectName().toStdString();
                break;
            default:
                break;
            }
        }
        EXPECT_GE(boxes, 2);
        if (!w.chart) continue;
        EXPECT_EQ(QAccessible::Graphic, testsupport::AccessibleRole(w.chart));
        EXPECT_EQ(w.name, testsupport::AccessibleName(w.chart));
        const std::string read = testsupport::ReadWithCaption(w.chart);
        EXPECT_EQ(0u, read.rfind(w.name + std::string(" ") + w.header, 0)) << read;
    }
    // The description follows the chart.
    plots::frm3DChart().chart().setHeaderText("retitled");
    EXPECT_EQ(0u, testsupport::ReadWithCaption(plots::frm3DChart().Chart3D1).rfind("3D Surface Plot retitled", 0));
}

// An emptied Header or Footer box stands for the automatic title, in what
// every plot window draws and in the picture its Save writes, whether the
// box was left with Enter or Save was given straight away (Alt+S). The
// options button opens and closes the panel whatever its caption reads.
TEST_F(PlotWindows, AnEmptiedTitleBoxMeansTheAutomaticTitle)
{
    OpenEveryPlot();
    const struct {
        const char* window;
        QWidget* w;
        plots::PlotFrame* frame;
        charts::ChartBase* chart;
    } windows[] = {
        // The chord window first: its Close ends the pick that holds the
        // contour window's commands.
        {"chord", &plots::frmChordPlot(), plots::frmChordPlot().frame, &plots::frmChordPlot().chart()},
        {"3D", &plots::frm3DChart(), plots::frm3DChart().frame, &plots::frm3DChart().chart()},
        {"contour", &plots::frmContour(), plots::frmContour().frame, &plots::frmContour().chart()},
        {"diagonal", &plots::frmDiagonal(), plots::frmDiagonal().frame, &plots::frmDiagonal().chart()},
    };
    for (const auto& c : windows) {
        SCOPED_TRACE(c.window);
        plots::PlotFrame& f = *c.frame;
        const QString header = c.chart->headerText(), footer = c.chart->footerText();
        ASSERT_FALSE(header.isEmpty());
        c.w->show();
        c.w->activateWindow();
        QApplication::setActiveWindow(c.w);
        ASSERT_TRUE(QTest::qWaitForWindowActive(c.w, testsupport::kHangMs));
        f.cmdCustomize->setText("Options");   // whatever the caption says
        QTest::mouseClick(f.cmdCustomize, Qt::LeftButton);
        ASSERT_TRUE(f.panelShown());
        QTest::mouseClick(f.cmdCustomize, Qt::LeftButton);
        ASSERT_FALSE(f.panelShown());
        QTest::mouseClick(f.cmdCustomize, Qt::LeftButton);
        ASSERT_TRUE(f.panelShown());

        // A title of one's own, then the box emptied and left with Enter.
        for (auto [box, automatic, read] :
             {std::tuple{f.txtHeader, header, &charts::ChartBase::headerText},
              std::tuple{f.txtFooter, footer, &charts::ChartBase::footerText}}) {
            box->setFocus();
            box->selectAll();
            QTest::keyClicks(box, "Mine");
            QTest::keyClick(box, Qt::Key_Return);
            EXPECT_EQ("Mine", ((*c.chart).*read)());
            box->selectAll();
            QTest::keyClick(box, Qt::Key_Backspace);
            QTest::keyClick(box, Qt::Key_Return);
            EXPECT_EQ(automatic, ((*c.chart).*read)());
        }
        // A title of one's own, emptied, and Save given without leaving the box.
        f.txtHeader->setFocus();
        QTest::keyClicks(f.txtHeader, "Mine");
        QTest::keyClick(f.txtHeader, Qt::Key_Return);
        f.txtHeader->selectAll();
        QTest::keyClick(f.txtHeader, Qt::Key_Backspace);
        QString headerWhenSaved;
        bool asked = false;
        const auto previous = platform::SetFileDialogHandler([&](const platform::FileDialogRequest&) {
            asked = true;
            headerWhenSaved = c.chart->headerText();
            return platform::FileDialogResult{};
        });
        QTest::keyClick(f.txtHeader, Qt::Key_S, Qt::AltModifier);
        EXPECT_TRUE(testsupport::WaitUntil([&] { return asked; }));
        platform::SetFileDialogHandler(previous);
        EXPECT_EQ(header, headerWhenSaved);
        QTest::mouseClick(f.cmdCustomize, Qt::LeftButton);
        QTest::mouseClick(f.cmdClose, Qt::LeftButton);
        ASSERT_TRUE(testsupport::WaitUntil([&] { return !c.w->isVisible(); }));
    }
}
