// Every writer of a whole file a user names, tools and window saves alike,
// against each rule of the program's one writer (core::AtomicFile) and of the
// analysis library's own data-file writer: a link is written through to its
// target; a file nobody may write is refused and left as it was; the mode is
// kept; a hidden file planted beside the target is never followed; two
// writers of one name never share a temporary file; nothing is left behind;
// the stale temporary files of ended runs are cleared in the folder actually
// written to; and every file is synced before it is renamed into place.
//
// The test program stands between the writers in this process and the C
// library's fsync and rename (the analysis library, loaded by file name,
// binds to them too): it records each sync and each rename, and lets a test
// act just before a rename.
#include "app/batch/table.h"
#include "app/core/runtime.h"
#include "app/editor/core/image_files.h"
#include "app/outside/varnholde_calls.h"
#include "platform/folders.h"
#include "platform/strandel_binding.h"
#include "plots/charts/chartexport.h"
#include "testsupport/testsupport.h"
#include "tifflib/tests/tiff_fixtures.h"
#include "tools/synth/synth.h"

#include <QImage>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct FileEvent {
    std::string op;     // "fsync" or "rename"
    std::string path;   // the file synced, or renamed from
    std::string to;     // renamed to
};

std::mutex gEventsMutex;
// Never destroyed: a rename made while the program ends is still recorded safely.
std::vector<FileEvent>& gEvents = *new std::vector<FileEvent>;
std::function<void(const std::string& from, const std::string& to)> gBeforeRename;
bool gInHook = false;

void Record(FileEvent e)
{
    const std::lock_guard<std::mutex> lock(gEventsMutex);
    gEvents.push_back(std::move(e));
}

std::vector<FileEvent> TakeEvents()
{
    const std::lock_guard<std::mutex> lock(gEventsMutex);
    return std::exchange(gEvents, {});
}

// An absolute, link-free spelling of a path whose last part may be gone.
std::string Canonical(const std::string& path)
{
    const fs::path p = fs::absolute(path);
    std::error_code ec;
    const fs::path folder = fs::weakly_canonical(p.parent_path(), ec);
    return (folder / p.filename()).string();
}

} // namespace

extern "C" int fsync(int fd)
{
    const int rc = int(::syscall(SYS_fsync, fd));
    const int saved = errno;
    char link[64], target[4096];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t n = ::readlink(link, target, sizeof target - 1);
    if (rc == 0 && n > 0) Record({"fsync", std::string(target, size_t(n)), ""});
    errno = saved;
    return rc;
}

extern "C" int rename(const char* from, const char* to)
{
    if (gBeforeRename && !gInHook) {
        gInHook = true;
        gBeforeRename(Canonical(from), Canonical(to));
        gInHook = false;
    }
    Record({"rename", Canonical(from), Canonical(to)});
    return ::renameat(AT_FDCWD, from, AT_FDCWD, to);
}

namespace {

std::string Bin(const std::string& name) { return testsupport::BinDir() + "/" + name; }

std::string Quote(const std::string& s)
{
    std::string out = "'";
    for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// A tool run as a user runs it, with its own home and runtime folder.
bool RunTool(const std::string& command)
{
    static testsupport::TempDir home("writers-home");
    int rc = -1;
    testsupport::Shell("HOME=" + Quote(home.file("home")) + " XDG_CONFIG_HOME=" + Quote(home.file("home/.config")) +
                           " XDG_RUNTIME_DIR=" + Quote(home.path().string()) +
                           " SORVANTA_CLASS_REGISTRY=" + Quote(home.file("classes.reg")) + " " + command +
                           " >/dev/null 2>&1",
                       &rc);
    return rc == 0;
}

const std::vector<uint8_t>& Pixels()
{
    static const std::vector<uint8_t> px = synth::WrapToPhase(
        16, 16, synth::ParseSurface("cylinder:0.002,8", 16, 16, nullptr), 10.0);
    return px;
}

// A 16 x 16 phase image sorvanta-analyze reads.
std::string PhaseImage()
{
    static testsupport::TempDir dir("writers-image");
    const std::string path = dir.file("in_ph.tif");
    if (!fs::exists(path) && strandel::WriteTIFFFile(path, 16, 16, synth::MakeHeader(10.0, 16, 16), Pixels().data()) != 0)
        return std::string();
    return path;
}

// A grey BMP ipidecode decodes.
std::string BmpImage()
{
    static testsupport::TempDir dir("writers-bmp");
    const std::string path = dir.file("in.bmp");
    if (!fs::exists(path) && !editor::WriteGreyBmp(path, 16, 16, Pixels().data())) return std::string();
    return path;
}

std::vector<float> Heights()
{
    std::vector<float> v(12);
    for (size_t i = 0; i < v.size(); ++i) v[i] = float(i) * 0.25f;
    return v;
}

// One writer: the name it writes (in a folder of the test's choosing) and how
// it is made to write a path. `twin` is the same writing code run in this
// process, for a writer that runs as a process of its own (two writes of one
// name, one of each, must keep apart); `stale` a temporary name of the
// writer's own kind, left by a process that has ended (its pid replaces "P").
using WriteFn = std::function<bool(const std::string& path)>;

struct Writer {
    Writer(std::string l, std::string n, WriteFn w, WriteFn t, std::string s, std::string sb = "", bool others = false)
        : label(std::move(l)), name(std::move(n)), write(std::move(w)), twin(std::move(t)), stale(std::move(s)),
          sub(std::move(sb)), writesOthers(others)
    {
    }
    std::string label;
    std::string name;
    std::function<bool(const std::string& path)> write;
    std::function<bool(const std::string& path)> twin;   // empty: `write` runs in this process
    std::string stale;
    std::string sub;           // a tool writing FOLDER/SUB/NAME: the sub-folder
    bool writesOthers = false; // a tool writing other files beside it
    bool inProcess() const { return !twin; }
};

bool TableWrite(const std::string& path)
{
    batch::TableWriter table;
    return table.open(path) && table.writeLine("GENERAL INFO") && table.writeLine("1 of 1") && table.commit();
}

bool PictureWrite(const std::string& path)
{
    QImage image(8, 6, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    QString why;
    return charts::SavePicture(image, QString::fromStdString(path), charts::PictureFormat::Bmp, 100, &why);
}

const std::vector<Writer>& AllWriters()
{
    static const std::vector<Writer> writers = [] {
        const std::string core = ".vhP_s0.tmp", library = ".vhP_0.tmp";
        auto tiff = [](const std::string& p) {
            return strandel::WriteTIFFFile(p, 16, 16, "hdr", Pixels().data()) == 0;
        };
        auto bytes = [](const std::string& p) { return core::WriteFileAtomically(p, "in-process bytes\n"); };
        auto text = [](const std::string& p) {
            const std::vector<float> v = Heights();
            return outside::SaveSingleAsText(v.data(), 3, 4, -1, p.c_str()) == 0;
        };
        auto binary = [](const std::string& p) {
            const std::vector<float> v = Heights();
            return outside::SaveSingleAsBinary(v.data(), 3, 4, 0, p.c_str()) == 0;
        };
        // Tools writing a folder of fixed names: the path names one of them.
        auto mkutility = [](const std::string& p) { return RunTool(Bin("mkutility") + " " + Quote(fs::path(p).parent_path())); };
        auto parentOfSub = [](const std::string& p) { return Quote(fs::path(p).parent_path().parent_path()); };
        std::vector<Writer> w = {
            {"mkphase", "v_ph.tif", [](const std::string& p) { return RunTool(Bin("mkphase") + " --size 16x16 " + Quote(p)); },
             tiff, core},
            {"mkutility sample image", "Configuration Phase.tif", mkutility, tiff, core, "", true},
            {"mkutility Diagonal.dat", "Diagonal.dat", mkutility, bytes, core, "", true},
            {"sorvanta-analyze --save", "out_ab.dat",
             [](const std::string& p) { return RunTool(Bin("sorvanta-analyze") + " --save " + Quote(p) + " " + Quote(PhaseImage())); },
             text, library},
            {"sorvanta-icon", "sorvanta.png",
             [=](const std::string& p) { return RunTool(Bin("sorvanta-icon") + " " + parentOfSub(p) + " 16"); }, bytes, core,
             "16"},
            {"kfixtures", "pattern-coded.kol1",
             [=](const std::string& p) { return RunTool(Bin("kfixtures") + " " + parentOfSub(p)); }, bytes, core, "kol1",
             true},
            {"ipidecode -o", "out.bmp",
             [](const std::string& p) { return RunTool(Bin("ipidecode") + " " + Quote(BmpImage()) + " 7 -o " + Quote(p)); },
             bytes, core},
            {"editor image save (TIFF)", "e_ph.tif",
             [](const std::string& p) { return editor::WriteTiffImage(p, 16, 16, "hdr", Pixels().data()); }, nullptr, core},
            {"editor image save (BMP)", "e_ph.bmp",
             [](const std::string& p) { return editor::WriteGreyBmp(p, 16, 16, Pixels().data()); }, nullptr, core},
            {"data file, text", "d_ab.dat", text, nullptr, library},
            {"data file, binary", "d_ab.bin", binary, nullptr, library},
            {"batch results table", "Batch Results for F (Abs).txt", TableWrite, nullptr, core},
            {"chart picture", "chart.bmp", PictureWrite, nullptr, core},
            {"program's writer", "settings.txt", bytes, nullptr, core},
        };
        return w;
    }();
    return writers;
}

// A folder to write in for one writer and one case: "WORK/<where>" holds the
// target (in the writer's sub-folder, when it has one).
std::string Folder(const testsupport::TempDir& dir, const Writer& w, const std::string& where)
{
    std::string folder = dir.file(where);
    if (!w.sub.empty()) folder += "/" + w.sub;
    fs::create_directories(folder);
    return folder;
}

std::set<std::string> Names(const std::string& folder)
{
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) names.insert(e.path().filename().string());
    return names;
}

std::string Text(const std::string& path) { return testsupport::ReadText(path); }

mode_t Mode(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

pid_t EndedProcess()
{
    const pid_t pid = ::fork();
    if (pid == 0) ::_exit(0);
    ::waitpid(pid, nullptr, 0);
    return pid;
}

class Writers : public ::testing::Test {
protected:
    static void SetUpTestSuite() { platform::SetSystemFolder(SORVANTA_BIN_DIR); }
    void SetUp() override { TakeEvents(); }
    void TearDown() override { gBeforeRename = nullptr; }
};

} // namespace

// A link is written through: its target (in another folder) gets the new
// file, the link stays, and neither folder keeps a temporary file; the stale
// temporary files of an ended run are cleared in the target's folder, the
// folder actually written to.
TEST_F(Writers, WriteThroughALinkIntoTheTargetsFolderAndClearItsStaleTemporaries)
{
    for (const Writer& w : AllWriters()) {
        SCOPED_TRACE(w.label);
        testsupport::TempDir dir("writers");
        const std::string here = Folder(dir, w, "here"), there = dir.file("there");
        fs::create_directories(there);
        const std::string target = there + "/real", link = here + "/" + w.name;
        testsupport::WriteBytes(target, {'k', 'e', 'e', 'p'});
        fs::create_symlink(target, link);
        std::string stale = w.stale;
        stale.replace(stale.find('P'), 1, std::to_string(EndedProcess()));
        testsupport::WriteBytes(there + "/" + stale, {'x'});
        const std::set<std::string> beforeHere = Names(here);

        ASSERT_TRUE(w.write(link));
        EXPECT_TRUE(fs::is_symlink(link)) << "the link stays";
        EXPECT_NE(Text(target), "keep") << "its target was written";
        EXPECT_GT(fs::file_size(target), 4u);
        EXPECT_EQ(Names(there), std::set<std::string>{"real"}) << "the stale temporary file is cleared, no new one left";
        if (!w.writesOthers) {
            EXPECT_EQ(Names(here), beforeHere) << "nothing new beside the link";
        }
    }
}

// A file nobody may write is refused and left as it was; a file of mode 600
// is replaced and stays 600; nothing is left behind either way.
TEST_F(Writers, ReadOnlyFileIsRefusedAndAReplacedFileKeepsItsMode)
{
    for (const Writer& w : AllWriters()) {
        SCOPED_TRACE(w.label);
        testsupport::TempDir dir("writers");
        const std::string folder = Folder(dir, w, "f"), path = folder + "/" + w.name;
        testsupport::WriteBytes(path, {'k', 'e', 'e', 'p'});
        ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
        const std::set<std::string> before = Names(folder);
        EXPECT_FALSE(w.write(path)) << "a file nobody may write is refused";
        EXPECT_EQ(Text(path), "keep");
        EXPECT_EQ(Mode(path), 0444u);
        if (!w.writesOthers) {
            EXPECT_EQ(Names(folder), before) << "nothing left after a failure";
        }

        testsupport::TempDir dir2("writers");
        const std::string folder2 = Folder(dir2, w, "f"), path2 = folder2 + "/" + w.name;
        testsupport::WriteBytes(path2, {'k', 'e', 'e', 'p'});
        ASSERT_EQ(::chmod(path2.c_str(), 0600), 0);
        const std::set<std::string> before2 = Names(folder2);
        ASSERT_TRUE(w.write(path2));
        EXPECT_NE(Text(path2), "keep");
        EXPECT_EQ(Mode(path2), 0600u) << "the mode is kept";
        if (!w.writesOthers) {
            EXPECT_EQ(Names(folder2), before2) << "nothing left after a success";
        }
    }
}

// Only a regular file is replaced: a pipe in the place of the file, named
// itself or through a link, is refused and stays a pipe (a device such as
// /dev/null would be swapped for a file just the same); nothing is left.
TEST_F(Writers, APipeInThePlaceOfTheFileIsRefusedAndStays)
{
    for (const Writer& w : AllWriters()) {
        SCOPED_TRACE(w.label);
        testsupport::TempDir dir("writers");
        const std::string folder = Folder(dir, w, "f"), pipe = folder + "/" + w.name;
        ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
        const std::string there = dir.file("there");
        fs::create_directories(there);
        const std::string linkedPipe = there + "/pipe", link = Folder(dir, w, "l") + "/" + w.name;
        ASSERT_EQ(::mkfifo(linkedPipe.c_str(), 0600), 0);
        fs::create_symlink(linkedPipe, link);
        for (const std::string& path : {pipe, link}) {
            SCOPED_TRACE(path);
            const std::string in = fs::path(path).parent_path().string();
            const std::set<std::string> before = Names(in);
            EXPECT_FALSE(w.write(path)) << "refused";
            EXPECT_TRUE(fs::is_fifo(pipe)) << "still a pipe";
            EXPECT_TRUE(fs::is_fifo(linkedPipe)) << "still a pipe";
            EXPECT_EQ(Names(there), std::set<std::string>{"pipe"});
            if (!w.writesOthers) {
                EXPECT_EQ(Names(in), before) << "nothing left";
            }
        }
    }
}

// A path ending in '/' names a folder, there or not: the write is refused and
// no file is made anywhere (a name without any '.' is not completed into a
// hidden ".tif" inside the folder). Tools writing names of their own are
// given a folder, never a file's path, and are left out.
TEST_F(Writers, APathEndingInASlashIsRefusedAndWritesNothing)
{
    for (const Writer& w : AllWriters()) {
        if (w.writesOthers || !w.sub.empty()) continue;
        SCOPED_TRACE(w.label);
        testsupport::TempDir dir("writers");
        const std::string folder = Folder(dir, w, "f");
        fs::create_directories(folder + "/ab");
        for (const std::string& path : {folder + "/ab/", folder + "/new/"}) {
            SCOPED_TRACE(path);
            EXPECT_FALSE(w.write(path)) << "refused";
            for (const auto& e : fs::recursive_directory_iterator(folder))
                EXPECT_FALSE(e.is_regular_file()) << e.path() << " written";
        }
    }
}

// Hidden names a writer could take for its temporary file, planted as links
// to a file of the user's: none is followed, none is changed.
TEST_F(Writers, PlantedHiddenLinksBesideTheTargetAreNeverFollowed)
{
    for (const Writer& w : AllWriters()) {
        SCOPED_TRACE(w.label);
        testsupport::TempDir dir("writers");
        const std::string folder = Folder(dir, w, "f"), victim = dir.file("v.txt");
        testsupport::WriteBytes(victim, {'k', 'e', 'e', 'p'});
        const std::string n = w.name;
        const std::vector<std::string> planted = {"." + n.substr(0, n.size() - 1), "." + n, n + ".part", n + ".tmp",
                                                  "." + n + ".tmp"};
        for (const std::string& p : planted) fs::create_symlink(victim, folder + "/" + p);
        ASSERT_TRUE(w.write(folder + "/" + n));
        EXPECT_EQ(Text(victim), "keep");
        for (const std::string& p : planted) EXPECT_TRUE(fs::is_symlink(folder + "/" + p)) << p;
        EXPECT_FALSE(fs::is_symlink(folder + "/" + n));
    }
}

// A second write of the same name made while the first is between its last
// byte and its rename: each has its own temporary file, both succeed, the
// later rename wins, and nothing is left behind.
TEST_F(Writers, TwoWritersOfOneNameNeverShareATemporaryFile)
{
    for (const Writer& w : AllWriters()) {
        SCOPED_TRACE(w.label);
        testsupport::TempDir dir("writers");
        const std::string folder = Folder(dir, w, "f"), path = folder + "/" + w.name;
        const auto& first = w.inProcess() ? w.write : w.twin;
        bool secondTried = false, secondWritten = false;
        std::string secondBytes;
        gBeforeRename = [&](const std::string&, const std::string& to) {
            if (secondTried || Canonical(path) != to) return;
            secondTried = true;
            secondWritten = w.write(path);
            secondBytes = Text(path);
        };
        const std::set<std::string> before = Names(folder);
        EXPECT_TRUE(first(path)) << "the first write";
        gBeforeRename = nullptr;
        EXPECT_TRUE(secondWritten) << "the second write, made before the first one's rename";
        EXPECT_FALSE(secondBytes.empty());
        EXPECT_FALSE(Text(path).empty());
        std::set<std::string> after = Names(folder);
        if (!w.writesOthers) {
            after.erase(w.name);
            EXPECT_EQ(after, before) << "no temporary file left";
        }
    }
}

// Every file written in this process is synced before it is renamed over its
// target: the program's writer and the analysis library's.
TEST_F(Writers, EveryFileIsSyncedBeforeItIsRenamedIntoPlace)
{
    for (const Writer& w : AllWriters()) {
        if (!w.inProcess()) continue;
        SCOPED_TRACE(w.label);
        testsupport::TempDir dir("writers");
        const std::string folder = Folder(dir, w, "f"), path = folder + "/" + w.name;
        TakeEvents();
        ASSERT_TRUE(w.write(path));
        const std::vector<FileEvent> events = TakeEvents();
        bool renamed = false, synced = false;
        for (const FileEvent& e : events) {
            if (e.op == "rename" && e.to == Canonical(path)) {
                renamed = true;
                for (const FileEvent& s : events) {
                    if (&s == &e) break;
                    if (s.op == "fsync" && s.path == e.path) synced = true;
                }
            }
        }
        EXPECT_TRUE(renamed) << "written under another name and renamed into place";
        EXPECT_TRUE(synced) << "the temporary file is synced before the rename";
    }
}

// Strandel's warnings go to standard error: a mask written by another
// program without SamplesPerPixel leaves sorvanta-analyze's results alone on
// standard output.
TEST_F(Writers, StrandelWarningsStayOffTheResultsOnStandardOutput)
{
    testsupport::TempDir dir("writers");
    tifffixtures::Layout l;
    l.width = 16;
    l.length = 16;
    l.strips = {std::vector<uint8_t>(256, 255)};
    std::vector<uint8_t> mask = tifffixtures::BuildTiff(l);
    // Tag 277 (SamplesPerPixel) becomes 276, a tag no reader knows.
    const size_t ifd = size_t(mask[4]) | size_t(mask[5]) << 8 | size_t(mask[6]) << 16 | size_t(mask[7]) << 24;
    const size_t count = size_t(mask[ifd]) | size_t(mask[ifd + 1]) << 8;
    bool patched = false;
    for (size_t i = 0; i < count; ++i) {
        const size_t e = ifd + 2 + 12 * i;
        if (mask[e] == 277 % 256 && mask[e + 1] == 277 / 256) {
            mask[e] = 276 % 256;
            patched = true;
        }
    }
    ASSERT_TRUE(patched);
    const std::string maskFile = dir.file("m_msk.tif");
    tifffixtures::Write(maskFile, mask);
    const std::string command = "HOME=" + Quote(dir.file("home")) + " XDG_RUNTIME_DIR=" + Quote(dir.path().string()) +
                                " " + Bin("sorvanta-analyze") + " --mask " + Quote(maskFile) + " " + Quote(PhaseImage());
    int rc = -1;
    const std::string out = testsupport::Shell("(" + command + " 2>/dev/null)", &rc);
    EXPECT_EQ(rc, 0) << out;
    EXPECT_EQ(out.rfind("Max Z:", 0), 0u) << out;
    const std::string err = testsupport::Shell("(" + command + " 2>&1 >/dev/null)");
    EXPECT_NE(err.find("Warning SamplesPerPixel tag missing"), std::string::npos) << err;
}
