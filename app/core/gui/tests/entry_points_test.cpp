// The ways an image comes into the main window, and what a frame without a
// measurement gives there: a name that is not UTF-8 loads its own file on a
// start and on a second start's hand-over; a frame of one value is no data.
#include "gui_fixture.h"

#include "platform/tests/bmp_fixtures.h"
#include "testsupport/accessible_names.h"

#include <QEventLoop>
#include <QProcess>
#include <QTimer>

#include <filesystem>
#include <fstream>

using namespace guitest;

namespace {

// The three figures the main window shows after Calculate Displacement.
std::string Figures()
{
    const auto& m = gui::frmAnalysis();
    return m.lblMaxZValue->text().toStdString() + " / " + m.lblMinZValue->text().toStdString() + " / " +
           m.lblCoplanarityData->text().toStdString();
}

std::string CalculatedFigures()
{
    gui::frmAnalysis().cmdUnwrap->click();
    EXPECT_EQ("Displacement Calculated", testsupport::Caption(gui::frmAnalysis().cmdUnwrap));
    return Figures();
}

// A byte string as printf's %b reads it back: other than plain ASCII as \0nnn.
QString PrintfEscaped(const std::string& bytes)
{
    QString out;
    for (unsigned char c : bytes) {
        if (c >= 0x20 && c < 0x7f && c != '\\') out += QChar(c);
        else out += QString("\\0%1").arg(int(c), 3, 8, QChar('0'));
    }
    return out;
}

} // namespace

// A folder holds "e\xff_ph.tif" and "e\xef\xbf\xbd_ph.tif" (U+FFFD): two
// different images that show alike. Started with the first, and handed the
// first by a second start of the real program, the window loads exactly the
// first file: its name's bytes, its size, its figures.
TEST_F(GuiTest, ANameThatIsNotUtf8LoadsItsOwnFileOnStartAndHandOver)
{
    const std::string first = dir.file("e\xff_ph.tif"), sibling = dir.file("e\xef\xbf\xbd_ph.tif");
    WritePhaseTiff(first, 30, 20, 0.5, true, "dome:0.0004+plane:0.002,0.001,0");
    WritePhaseTiff(sibling, 40, 30, 0.5, true, "saddle:0.0006");
    const std::string plain = dir.file("plain_ph.tif");
    std::filesystem::copy_file(first, plain);

    StartAndConfirm(first);
    auto& main = gui::frmAnalysis();
    ASSERT_EQ(first, model::files.PhaseImageFile);
    EXPECT_EQ("Image: e\xef\xbf\xbd_ph.tif (30 x 20)", main.lblImageName->text().toStdString());
    const std::string figures = CalculatedFigures();
    gui::ReceiveCommandLine(plain);
    EXPECT_EQ(figures, CalculatedFigures()) << "the same pixels under a plain name";
    gui::ReceiveCommandLine(sibling);
    ASSERT_EQ(sibling, model::files.PhaseImageFile);
    const std::string siblingFigures = CalculatedFigures();
    ASSERT_NE(figures, siblingFigures);

    // A second start of the program with the first name's bytes hands it over.
    std::filesystem::create_directories(dir.file("second home"));
    QProcess second;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("XDG_RUNTIME_DIR", QString::fromStdString(dir.file("run")));
    env.insert("HOME", QString::fromStdString(dir.file("second home")));
    env.insert("SORVANTA_CLASS_REGISTRY", QString::fromStdString(dir.file("second.reg")));
    second.setProcessEnvironment(env);
    QEventLoop untilEnded;
    QObject::connect(&second, &QProcess::finished, &untilEnded, &QEventLoop::quit);
    QTimer::singleShot(testsupport::kHangMs, &untilEnded, &QEventLoop::quit);
    // The shell gives the program the raw bytes (a QProcess argument is text).
    second.start("/bin/sh", {"-c", "exec \"$0\" \"$(printf '%b' \"$1\")\"",
                             QString::fromStdString(testsupport::BinDir() + "/Sorvanta"), PrintfEscaped(first)});
    ASSERT_TRUE(second.waitForStarted(testsupport::kHangMs)) << second.errorString().toStdString();
    if (second.state() != QProcess::NotRunning) untilEnded.exec();
    ASSERT_EQ(QProcess::NotRunning, second.state()) << second.readAllStandardError().toStdString();
    EXPECT_EQ(0, second.exitCode()) << second.readAllStandardError().toStdString();
    ASSERT_EQ(first, model::files.PhaseImageFile);
    EXPECT_EQ("Image: e\xef\xbf\xbd_ph.tif (30 x 20)", main.lblImageName->text().toStdString());
    EXPECT_EQ(figures, CalculatedFigures());
}

// A frame whose pixels all hold one value (a dark BMP, an all-127 BMP, a
// headered TIFF of one grey) measures nothing: Calculate Displacement stops
// with the no-data message and shows no figures, and nothing is enabled.
TEST_F(GuiTest, AFrameOfOneValueShowsNoFigures)
{
    // The BMPs carry no header: the calibrated fringe value is FringeValue.txt's.
    std::filesystem::create_directories(platform::UtilityFolder());
    std::ofstream(platform::JoinPath(platform::UtilityFolder(), "FringeValue.txt")) << "100\t0.98425\n";
    StartAndConfirm();
    auto& main = gui::frmAnalysis();
    const int cols = 40, rows = 30;
    const std::string dark = dir.file("Dark_ph.bmp"), grey = dir.file("Grey_ph.bmp"), tiff = dir.file("One_ph.tif");
    testsupport::WriteBytes(dark, bmpfixtures::Bmp(bmpfixtures::BmpKind::BottomUp, cols, rows,
                                                   std::vector<uint8_t>(cols * rows, 0)));
    testsupport::WriteBytes(grey, bmpfixtures::Bmp(bmpfixtures::BmpKind::BottomUp, cols, rows,
                                                   std::vector<uint8_t>(cols * rows, 127)));
    const std::vector<uint8_t> px(cols * rows, 200);
    ASSERT_EQ(0, strandel::WriteTIFFFile(tiff, cols, rows, synth::MakeHeader(0.5, cols, rows), px.data()));
    for (const std::string& image : {dark, grey, tiff}) {
        SCOPED_TRACE(image);
        main.LoadPhaseImage(image);
        ASSERT_EQ(image, model::files.PhaseImageFile) << Messages();
        messages.records.clear();
        main.cmdUnwrap->click();
        ASSERT_EQ(1u, messages.records.size()) << Messages();
        EXPECT_EQ("Analysis Error", messages.records[0].title);
        EXPECT_EQ(0u, messages.records[0].text.rfind("The result holds no data", 0)) << Messages();
        EXPECT_NE("Displacement Calculated", testsupport::Caption(main.cmdUnwrap));
        EXPECT_TRUE(main.lblCoplanarityData->text().isEmpty());
        for (QPushButton* b : {main.cmdSaveData, main.cmd3DPlot, main.cmdContour, main.cmdDiagonal})
            EXPECT_FALSE(b->isEnabled()) << b->objectName().toStdString();
    }
}
