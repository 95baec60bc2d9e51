// kfixtures: writes the image kernel's test fixtures of its own formats
// ("KOL1" bilevel rasters and picture containers) into a folder, by default
// thumbctl/kernel/tests/fixtures of the source tree.
//
//   kfixtures [fixtures-folder]
//
// The CCITT Group 4 container wraps the strip that libtiff's tiffcp writes
// for a pattern picture; it is skipped when ImageMagick or tiffcp is absent.
#include "app/core/atomic_file.h"
#include "tools/cli/args.h"
#include "tools/kfixtures/kfixtures.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>

namespace fs = std::filesystem;
using namespace kfix;

namespace {

bool Write(const fs::path& path, const Bytes& bytes)
{
    fs::create_directories(path.parent_path());
    // Through the program's one writer, as every whole-file write.
    core::AtomicFile f;
    if (!f.open(path.string()) || !f.write(reinterpret_cast<const char*>(bytes.data()), bytes.size()) || !f.commit()) {
        std::cerr << "kfixtures: cannot write " << path.string() << ": " << f.error() << "\n";
        return false;
    }
    std::cout << path.string() << " (" << bytes.size() << " bytes)\n";
    return true;
}

Bytes ReadAll(const fs::path& path)
{
    std::ifstream f(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

// Portable bitmap (P4): 1 = black, as the facsimile codes have it.
Bytes Pbm(const Bilevel& b)
{
    const std::string head = "P4\n" + std::to_string(b.width) + " " + std::to_string(b.height) + "\n";
    Bytes out(head.begin(), head.end());
    out.insert(out.end(), b.rows.begin(), b.rows.end());
    return out;
}

bool G4Picture(const Bilevel& b, const fs::path& scratch, CgmPicture* p)
{
    const fs::path pbm = scratch / "pattern.pbm", plain = scratch / "plain.tif", g4 = scratch / "g4.tif";
    Write(pbm, Pbm(b));
    const std::string cmd = "convert '" + pbm.string() + "' -define quantum:polarity=min-is-white -compress none '" + plain.string() +
                            "' >/dev/null 2>&1 && tiffcp -c g4 -r 100000 '" + plain.string() + "' '" +
                            g4.string() + "' >/dev/null 2>&1";
    if (std::system(cmd.c_str()) != 0) return false;
    TiffStrips t;
    if (!ReadTiffStrips(ReadAll(g4), &t) || t.compression != 4) return false;
    p->compressionCode = 245;
    p->width = int(t.width), p->height = int(t.height);
    p->raster = t.data;
    p->vdc[2] = uint16_t(t.width), p->vdc[3] = uint16_t(t.height);
    return true;
}

// Writes every fixture under `root`; false when one could not be written.
bool WriteFixtures(const fs::path& root)
{
    bool ok = true;

    // KOL1: coded lines, a raw line among them, and the colour codes.
    const Bilevel small = PatternBilevel(37, 23, 7);
    ok &= Write(root / "kol1" / "pattern-coded.kol1", Kol1File(37, 23, EncodeRunPlane(small), 0x00));
    ok &= Write(root / "kol1" / "pattern-raw-rows.kol1", Kol1File(37, 23, EncodeRunPlane(small, {0, 5, 6, 22}), 0xF2, 0));
    const Bilevel wide = PatternBilevel(200, 40, 3);
    ok &= Write(root / "kol1" / "wide-red.kol1", Kol1File(200, 40, EncodeRunPlane(wide), 0xF1));

    // Picture containers: uncompressed raster (short stream, continued
    // stream with a trailing record, two pictures with two end words).
    const Bilevel tiny = PatternBilevel(10, 6, 5);
    ok &= Write(root / "cgm" / "uncompressed-10x6.cgmc", CgmContainer({UncompressedPicture(tiny)}));
    CgmPicture continued = UncompressedPicture(PatternBilevel(64, 48, 9));
    continued.continued = true;
    continued.continuationPiece = 100;
    continued.trailingRecord = true;
    continued.partition = 128;
    ok &= Write(root / "cgm" / "continued-64x48.cgmc", CgmContainer({continued}, 3));
    CgmPicture first = UncompressedPicture(small), second = UncompressedPicture(tiny);
    first.flag = 0x8000;
    second.resolutionCode = 241;
    ok &= Write(root / "cgm" / "two-pictures.cgmc", CgmContainer({first, second}));

    CgmPicture g4;
    const fs::path scratch = fs::temp_directory_path() / "kfixtures-scratch";
    fs::create_directories(scratch);
    if (G4Picture(PatternBilevel(120, 90, 11), scratch, &g4)) {
        ok &= Write(root / "cgm" / "g4-120x90.cgmc", CgmContainer({g4}));
    } else {
        std::cout << "ImageMagick or tiffcp missing: no Group 4 container\n";
    }
    fs::remove_all(scratch);
    return ok;
}

} // namespace

int main(int argc, char** argv)
{
    cli::Parser p("kfixtures", "usage: kfixtures [FOLDER]\n"
                               "writes the kernel's test pictures under FOLDER (default thumbctl/kernel/tests/fixtures)\n"
                               "exit status: 0 written, 1 a file could not be written, 2 bad command line\n");
    std::vector<std::string> operands;
    if (const int status = p.parse(argc, argv, &operands); status >= 0) return status;
    if (operands.size() > 1) return p.usage("more than one folder given");
    const std::string root = operands.empty() ? std::string("thumbctl/kernel/tests/fixtures") : operands[0];
    if (const int status = p.refuse(cli::ReadPath("FOLDER", root)); status >= 0) return status;
    // A folder that cannot be made or written is a file not written, never an abort.
    try {
        return WriteFixtures(root) ? 0 : 1;
    } catch (const std::exception& e) {
        std::cerr << "kfixtures: " << e.what() << "\n";
        return 1;
    }
}
