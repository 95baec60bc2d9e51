// mkphase: writes a synthetic 8-bit wrapped-phase image with a measurement
// header, from a named surface, through the TIFF library.
//
//   mkphase [--size COLSxROWS] [--fringe MILS] [--surface TEXT] [--blank TEXT]
//           [--no-header] OUT_ph.tif
//   mkphase --sample OUT      the sample image the run script opens (400 x 300
//                             pixels, standing for a part 4 in x 3 in)
//
// Surfaces and blank regions are those of the synthetic surface helper, e.g.
//   --surface "cylinder:0.002,100"   --surface "saddle:0.001+noise:0.05"
//   --blank border:5                 --blank "rect:0,0,10,10+ring:40,60"
#include "platform/folders.h"
#include "platform/strandel_binding.h"
#include "tools/cli/args.h"
#include "tools/synth/synth.h"

#include <cstdio>
#include <cstdlib>
#include <optional>
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

// Writes the image through the program's one writer.
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
    std::optional<double> fringeGiven;
    std::string surfaceText = "plane:0,0,0", blankText = "none", sample;
    bool noHeader = false;
    cli::Parser p("mkphase", kUsage);
    p.path("--sample", &sample)
        .size("--size", &cols, &rows, 1, 32767)
        .option("--fringe",
                [&](const std::string& v) {
                    double f = 0;
                    const std::string why = cli::ReadPositiveNumber("--fringe", v, &f);
                    if (why.empty()) fringeGiven = f;
                    return why;
                })
        .text("--surface", &surfaceText)
        .text("--blank", &blankText)
        .flag("--no-header", &noHeader);
    std::vector<std::string> operands;
    if (const int status = p.parse(argc, argv, &operands); status >= 0)
        return status;
    if (operands.size() + (sample.empty() ? 0 : 1) > 1)
        return p.usage("more than one output file given");
    double fringe = fringeGiven.value_or(10.0);
    std::string out = sample;
    if (!sample.empty()) {
        cols = 400;
        rows = 300;
        fringe = 10.0;
        // A warped part a few fringes deep, as a real measurement shows it.
        surfaceText = "dome:0.0006+saddle:0.0002+plane:0.03,0.015,0+noise:0.03,7";
        blankText = "border:2";
    } else if (!operands.empty()) {
        out = operands[0];
        if (const int status = p.refuse(cli::ReadPath("the output file", out)); status >= 0)
            return status;
    }
    if (out.empty())
        return p.usage("no output file");
    const bool header = !noHeader;
    std::string error;
    synth::Surface surface = synth::ParseSurface(surfaceText, cols, rows, &error);
    if (!surface)
        return p.usage("bad surface: " + error);
    synth::Blank blank = synth::ParseBlank(blankText, cols, rows, &error);
    if (!blank && !error.empty())
        return p.usage("bad blank region: " + error);
    const std::vector<uint8_t> pixels = synth::WrapToPhase(cols, rows, surface, fringe, blank);
    return Write(out, cols, rows, header ? synth::MakeHeader(fringe, cols, rows) : std::string(), pixels);
}
