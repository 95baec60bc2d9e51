// The readers of the "Utility Files": the contour style files, the sample
// "Diagonal.dat", the "Diagonal Legend.bmp" that Generate Output copies, and
// the copy of an installation's Utility Files for a new user. Each is given
// the file it reads, the same with a gigabyte after it, the file cut short,
// and a pipe, a folder, /dev/zero and a huge sparse file in its place: none
// waits, none takes more memory than the file it reads, and each outcome is
// a refusal or the file read exactly.
#include "app/batch/config/utility_files.h"
#include "app/batch/output.h"
#include "app/core/model/model.h"
#include "app/core/shipped_files.h"
#include "platform/folders.h"
#include "plots/charts/chart2d.h"
#include "plots/charts/chartstyle.h"
#include "testsupport/offscreen_app.h"
#include "testsupport/peak_memory.h"
#include "testsupport/testsupport.h"

#include <QFile>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr int64_t kPeakBound = 50 << 20;

std::vector<uint8_t> Resource(const QString& name)
{
    QFile f(name);
    if (!f.open(QIODevice::ReadOnly)) return {};
    const QByteArray b = f.readAll();
    return std::vector<uint8_t>(b.begin(), b.end());
}

// One reader: where the program reads its file, a file it reads, and the
// read as the program makes it (true when read, what was read in *got).
struct Reader {
    const char* name;
    std::function<std::string()> where;
    std::vector<uint8_t> valid;
    std::function<bool(std::string* got)> read;
    bool copies;   // reads the bytes as they are (a copy), not a format
};

class UtilityReaders : public ::testing::Test {
protected:
    void SetUp() override
    {
        testsupport::OffscreenApp();
        platform::SetBaseFolder(dir.file("base"));
        platform::SetSystemFolder(dir.file("install/Calverdine/Sorvanta"));
        fs::create_directories(dir.file("install/Calverdine/Utility Files"));
        fs::create_directories(dir.file("out"));
        model::ResetModel();
        batchcfg::InstallUtilityFiles();
    }

    std::vector<Reader> Readers()
    {
        const std::string styleFile = platform::JoinPath(platform::UtilityFolder(), "Colorfill Contour.sty");
        const std::string style = charts::FormatStyle(charts::BuiltInStyle("Colorfill Contour.sty")).toStdString();
        return {
            {"contour style", [=] { return styleFile; }, std::vector<uint8_t>(style.begin(), style.end()),
             [=](std::string* got) {
                 charts::ChartStyle s;
                 QString why;
                 if (!charts::ReadStyleFile(QString::fromStdString(styleFile), &s, &why)) return false;
                 *got = charts::FormatStyle(s).toStdString();
                 return true;
             },
             false},
            {"Diagonal.dat", [] { return batchcfg::UtilityFilePath(batchcfg::kDiagonalData); },
             Resource(":/sorvanta/utility/Diagonal.dat"),
             [](std::string* got) {
                 charts::Chart2D chart;
                 QString why;
                 if (!chart.loadData(QString::fromStdString(batchcfg::UtilityFilePath(batchcfg::kDiagonalData)), &why))
                     return false;
                 *got = std::to_string(chart.seriesCount()) + " series";
                 return true;
             },
             false},
            {"Diagonal Legend.bmp", [] { return batchcfg::UtilityFilePath(batchcfg::kDiagonalLegendBmp); },
             Resource(":/sorvanta/utility/Diagonal Legend.bmp"),
             [this](std::string* got) {
                 batch::OutputOptions o;
                 o.diagonal = true;
                 o.folder = dir.file("out");
                 const std::string copy = dir.file("out/Diagonal Legend.bmp");
                 fs::remove(copy);
                 const batch::OutputReport r = batch::GenerateOutput(batch::OutputRun(), o, batch::OutputCharts());
                 // A failed copy is reported and leaves no file.
                 if (!r.failed.empty()) return false;
                 *got = testsupport::ReadText(copy);
                 return true;
             },
             true},
            {"installation Utility Files", [this] { return dir.file("install/Calverdine/Utility Files/Sample.dat"); },
             std::vector<uint8_t>(3000, 'x'),
             [this](std::string* got) {
                 fs::remove_all(platform::UtilityFolder());
                 std::vector<std::string> errors;
                 const int copied = core::SeedUtilityFilesFromInstallation(&errors);
                 if (copied != 1 || !errors.empty()) return false;
                 *got = testsupport::ReadText(platform::JoinPath(platform::UtilityFolder(), "Sample.dat"));
                 return true;
             },
             true},
        };
    }

    // Puts `make` at the reader's place, reads, and checks the peak memory (in a
// child process: the outcome comes back as the work's result).
    void Case(const Reader& r, const std::string& what, const std::function<void(const std::string&)>& make,
              bool mayRead, const std::string& expected = "")
    {
        const std::string path = r.where();
        fs::remove_all(path);
        make(path);
        bool read = false;
        std::string got;
        const int64_t peak = testsupport::PeakBytes([&] {
            read = r.read(&got);
            return read ? mayRead && got == expected : true;
        });
        EXPECT_GE(peak, 0) << r.name << ", " << what << (mayRead ? ": refused or read exactly" : ": refused");
        EXPECT_LT(peak, kPeakBound) << r.name << ", " << what;
    }

    testsupport::TempDir dir{"utility"};
};

} // namespace

TEST_F(UtilityReaders, EveryReaderTakesARegularFileOfBoundedSizeAndNothingElse)
{
    testsupport::HangGuard guard;
    for (const Reader& r : Readers()) {
        ASSERT_FALSE(r.valid.empty()) << r.name;
        const auto write = [&](const std::vector<uint8_t>& bytes) {
            return [bytes](const std::string& path) { testsupport::WriteBytes(path, bytes); };
        };
        // The file itself is read, and what is read is what a regular copy gives.
        const std::string plain = r.where();
        write(r.valid)(plain);
        std::string expected;
        ASSERT_TRUE(r.read(&expected)) << r.name;
        if (r.copies) {
            EXPECT_EQ(expected, std::string(r.valid.begin(), r.valid.end())) << r.name;
        }
        Case(r, "as it is", write(r.valid), true, expected);

        Case(r, "a pipe", [](const std::string& p) { testsupport::MakeFifo(p); }, false);
        Case(r, "a folder", [](const std::string& p) { fs::create_directories(p); }, false);
        Case(r, "/dev/zero", [](const std::string& p) { fs::create_symlink("/dev/zero", p); }, false);
        Case(r, "a 20 GB sparse file", [](const std::string& p) { testsupport::MakeSparseFile(p, {}, int64_t(20) << 30); },
             false);
        Case(r, "padded to 1 GB", [&](const std::string& p) { testsupport::MakeSparseFile(p, r.valid, int64_t(1) << 30); },
             false);
        for (const double part : {0.25, 0.5, 0.75}) {
            const std::vector<uint8_t> cut(r.valid.begin(), r.valid.begin() + int64_t(r.valid.size() * part));
            // A copy copies what is there; a format reader refuses it or reads what it holds.
            std::string holds;
            if (!r.copies) {
                write(cut)(r.where());
                if (!r.read(&holds)) holds = "<refused>";
            }
            Case(r, "cut to " + std::to_string(cut.size()) + " bytes", write(cut), true,
                 r.copies ? std::string(cut.begin(), cut.end()) : holds);
        }
    }
}

// A copy that fails (a folder in the sample's place, which once ended the
// program) is a line of the output report; the run goes on.
TEST_F(UtilityReaders, AFailedLegendCopyIsReportedInTheOutputReport)
{
    const std::string sample = batchcfg::UtilityFilePath(batchcfg::kDiagonalLegendBmp);
    fs::remove(sample);
    fs::create_directories(sample);
    batch::OutputOptions o;
    o.diagonal = true;
    o.folder = dir.file("out");
    const batch::OutputReport r = batch::GenerateOutput(batch::OutputRun(), o, batch::OutputCharts());
    ASSERT_EQ(r.failed.size(), 1u);
    EXPECT_EQ(r.failed[0], dir.file("out/Diagonal Legend.bmp") + ": " + sample + " is not a regular file.");
    EXPECT_FALSE(fs::exists(dir.file("out/Diagonal Legend.bmp")));
}
