// mkphase: writes a synthetic 8-bit wrapped-phase image with a measurement
// header, from a named surface, through the TIFF library.
//
//   mkphase [--size COLSxROWS] [--fringe MILS] [--surface TEXT] [--blank TEXT]
//           [--no-header] OUT_ph.tif
//   mkphase --sample OUT      the sample image the run script opens
//
// Surfaces and blank regions are those of the synthetic surface helper, e.g.
//   --surface "cylinder:0.002,100"   --surface "saddle:0.001+noise:0.05"
//   --blank border:5                 --blank "rect:0,0,10,10+ring:40,60"
#include "platform/folders.h"
#include "platform/strandel_binding.h"
#include "tools/cli/usage.h"
#include "tools/synth/synth.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

namespace {

const char* const kUsage =
    "usage: mkphase [--size COLSxROWS] [--fringe MILS] [--surface TEXT] [--blank TEXT]\n"
    "               [--no-header] OUT_ph.tif\n"
    "       mkphase --sample OUT\n"
    "surfaces (joined by '+'): plane:a,b,c  cylinder:k[,x0]  saddle:k[,x0,y0]  dome:k[,x0,y0]\n"
    "                          noise:amp[,seed]\n"
    "blank regions (joined by '+'): border:pct  ring:r0,r1  rect:x,y,w,h  none\n"
    "exit status: 0 written, 1 the image could not be written, 2 bad command line\n";

int Usage(const std::string& why) { return cli::Usage("mkphase", why, kUsage); }

bool ParseSize(const std::string& s, int* cols, int* rows)
{
    const size_t x = s.find_first_of("xX");
    if (x == std::string::npos)
        return false;
    char* end = nullptr;
    const long c = std::strtol(s.c_str(), &end, 10);
    if (end != s.c_str() + x)
        return false;
    const long r = std::strtol(s.c_str() + x + 1, &end, 10);
    if (*end != 0 || c < 1 || r < 1 || c > 32767 || r > 32767)
        return false;
    *cols = static_cast<int>(c);
    *rows = static_cast<int>(r);
    return true;
}

// Writes the image (the TIFF library encodes into the program's one writer).
int Write(const std::string& out, int cols, int rows, const std::string& header,
          const std::vector<uint8_t>& pixels)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path target(out);
    if (target.has_parent_path())
        fs::create_directories(target.parent_path(), ec);
    std::string why;
    if (strandel::WriteTIFFFile(out, static_cast<uint16_t>(cols), static_cast<uint16_t>(rows), header, pixels.data(),
                                &why) != 0) {
        std::fprintf(stderr, "mkphase: cannot write %s: %s\n", out.c_str(), why.c_str());
        return 1;
    }
    std::printf("%s (%d x %d)\n", out.c_str(), cols, rows);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    int cols = 201, rows = 101;
    double fringe = 10.0;
    std::string surfaceText = "plane:0,0,0", blankText = "none", out;
    bool header = true, operandsOnly = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (operandsOnly || !cli::IsOption(a)) {
            if (!out.empty())
                return Usage("more than one output file given");
            out = a;
            continue;
        }
        auto value = [&](std::string* v) {
            if (i + 1 >= argc)
                return false;
            *v = argv[++i];
            return true;
        };
        std::string v;
        if (a == "--sample") {
            if (!value(&out))
                return Usage("--sample needs a file name");
            cols = 400;
            rows = 300;
            fringe = 10.0;
            // A warped part a few fringes deep, as a real measurement shows it.
            surfaceText = "dome:0.0006+saddle:0.0002+plane:0.03,0.015,0+noise:0.03,7";
            blankText = "border:2";
        } else if (a == "--size") {
            if (!value(&v) || !ParseSize(v, &cols, &rows))
                return Usage("--size needs COLSxROWS (1 to 32767 each)");
        } else if (a == "--fringe") {
            char* end = nullptr;
            if (!value(&v) || (fringe = std::strtod(v.c_str(), &end), *end != 0) || !(fringe > 0))
                return Usage("--fringe needs a positive number of mils");
        } else if (a == "--surface") {
            if (!value(&surfaceText))
                return Usage("--surface needs a text");
        } else if (a == "--blank") {
            if (!value(&blankText))
                return Usage("--blank needs a text");
        } else if (a == "--no-header") {
            header = false;
        } else if (cli::IsHelp(a)) {
            return Usage("");
        } else if (a == "--") {
            operandsOnly = true;
        } else {
            return Usage("unknown option " + a);
        }
    }
    if (out.empty())
        return Usage("no output file");
    std::string error;
    synth::Surface surface = synth::ParseSurface(surfaceText, cols, rows, &error);
    if (!surface)
        return Usage("bad surface: " + error);
    synth::Blank blank = synth::ParseBlank(blankText, cols, rows, &error);
    if (!blank && !error.empty())
        return Usage("bad blank region: " + error);
    const std::vector<uint8_t> pixels = synth::WrapToPhase(cols, rows, surface, fringe, blank);
    return Write(out, cols, rows, header ? synth::MakeHeader(fringe, cols, rows) : std::string(), pixels);
}
