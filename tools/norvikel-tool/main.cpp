// norvikel-tool: the thumbnail-list control's file logic from the command line.
//   probe FILE...            format, pages and size of each file, or the error the list
//                            would report for it (exit 1 when any file has one)
//   extract TIFF PAGE OUT    writes page PAGE (1 = first) of a multi-page TIFF as a single-page TIFF
//   typelib                  the control's type library: interfaces, members, enumerations
//   list, grab               the thumbnail list's loading and window (thumbnails.cpp)
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/core/runtime.h"
#include "thumbctl/control/loading.h"
#include "thumbctl/control/source/multipage.h"
#include "thumbctl/control/source/probe.h"
#include "thumbctl/control/typelib.h"
#include "thumbctl/kernel/decode.h"
#include "tools/cli/args.h"
#include "tools/norvikel-tool/thumbnails.h"

namespace norvikeltool {

const char* const kUsage =
    "usage: norvikel-tool probe FILE...\n"
    "       norvikel-tool extract TIFF PAGE OUT.tif   (PAGE 1 is the first page)\n"
    "       norvikel-tool typelib\n"
    "       norvikel-tool list --source folder|list|multipage|items --path P [--path P...] [--pattern P]\n"
    "       norvikel-tool grab (list options) [--size WxH] [--caption 1-5] OUT.png\n"
    "'--' before a file name that begins with '-'.\n"
    "exit status: 0 done, 1 a file could not be read or written (probe: any file with an\n"
    "             error; list and grab: the list's error), 2 bad command line\n";

} // namespace norvikeltool

namespace {

cli::Parser ToolParser() { return cli::Parser("norvikel-tool", norvikeltool::kUsage); }

int Usage(const std::string& why) { return ToolParser().usage(why); }

// The operands from argv[first] on, with no options; the status of a usage
// message, or -1 to go on.
int Operands(int argc, char** argv, int first, std::vector<std::string>* operands)
{
    return ToolParser().parse(argc, argv, operands, first);
}

// The first of `files` beyond the system's limits, named; -1 when none is.
int CheckPaths(const std::vector<std::string>& files)
{
    for (const std::string& f : files)
        if (const int status = ToolParser().refuse(cli::ReadPath("the file", f)); status >= 0) return status;
    return -1;
}

// "2000 NotSupport FileFormat": the code with its help string.
std::string ErrorText(int code)
{
    for (const auto& e : thumbctl::NorvikelTypeLib().enums)
        if (e.name == "ErrorConstants")
            for (const auto& m : e.members)
                if (m.value == code) return std::to_string(code) + " " + m.help;
    return std::to_string(code);
}

int DecodeFormatOf(int probeType)
{
    switch (probeType) {
    case thumbctl::CImageFileProbe::probeBmp: return DecodeFormatBmp;
    case thumbctl::CImageFileProbe::probeTiff: return DecodeFormatTiff;
    case thumbctl::CImageFileProbe::probeJpeg: return DecodeFormatJpeg;
    case thumbctl::CImageFileProbe::probePcx: return DecodeFormatPcx;
    case thumbctl::CImageFileProbe::probePng: return DecodeFormatPng;
    default: return 0;
    }
}

// Size of a decoded DIB as "WxH", "" when the block holds no header.
std::string DibSize(IPIHANDLE dib)
{
    IpiGlobalLock lock(dib);
    if (!lock.ptr() || lock.size() < 12) return std::string();
    const uint8_t* h = lock.ptr();
    const int32_t w = int32_t(h[4] | h[5] << 8 | h[6] << 16 | uint32_t(h[7]) << 24);
    const int32_t hgt = int32_t(h[8] | h[9] << 8 | h[10] << 16 | uint32_t(h[11]) << 24);
    return std::to_string(w) + "x" + std::to_string(hgt < 0 ? -hgt : hgt);
}

// One file as the list takes it: the probe, the page count of a TIFF and the
// decode of its first page. Prints "FILE: FORMAT, N pages, WxH", or
// "FILE: error CODE TEXT" with the error the list would report; true when
// the list would show the file.
bool ProbeOne(const char* path)
{
    thumbctl::CImageFileProbe probe;
    if (!probe.ProbeFile(path)) {
        std::printf("%s: error %s\n", path, ErrorText(probe.Error()).c_str());
        return false;
    }
    const int format = DecodeFormatOf(probe.ProbeType());
    int error = 0;
    const int pages = format == DecodeFormatTiff ? CountPagesInFile(path, format, nullptr, 0, &error) : 1;
    IPIHANDLE dib = 0;
    if (pages > 0 && DecodeImageFromFile(path, &dib, 1, format, 0, nullptr, 0, &error) != 1 && dib) {
        ipiGlobalFree(dib);
        dib = 0;
    }
    const std::string size = dib ? DibSize(dib) : std::string();
    if (dib) ipiGlobalFree(dib);
    if (size.empty()) {
        std::printf("%s: error %s\n", path, ErrorText(thumbctl::ListErrorOfKernel(error)).c_str());
        return false;
    }
    std::printf("%s: %s, %d page%s, %s\n", path, thumbctl::CImageFileProbe::TypeName(probe.ProbeType()), pages,
                pages == 1 ? "" : "s", size.c_str());
    return true;
}

int Probe(int argc, char** argv)
{
    std::vector<std::string> files;
    if (const int status = Operands(argc, argv, 2, &files); status >= 0) return status;
    if (files.empty()) return Usage("probe needs a file");
    if (const int status = CheckPaths(files); status >= 0) return status;
    int failures = 0;
    for (const std::string& f : files)
        if (!ProbeOne(f.c_str())) ++failures;
    return failures ? 1 : 0;
}

int Extract(int argc, char** argv)
{
    std::vector<std::string> args;
    if (const int status = Operands(argc, argv, 2, &args); status >= 0) return status;
    if (args.size() != 3) return Usage("extract needs TIFF PAGE OUT.tif");
    const char* tiff = args[0].c_str();
    const char* out = args[2].c_str();
    long page = 0;
    if (const int status = CheckPaths({args[0], args[2]}); status >= 0) return status;
    if (const int status = ToolParser().refuse(cli::ReadInteger("PAGE", args[1], 1, 2147483647, &page)); status >= 0)
        return status;
    std::string why;
    thumbctl::CMultiPageSource source;
    IPIHANDLE h = 0;
    if (source.Open(tiff) && source.ReadPageIndex(false)) {
        if (page > source.PageCount()) {
            std::fprintf(stderr, "norvikel-tool: %s has %d page(s)\n", tiff, source.PageCount());
            return 1;
        }
        h = source.ExtractPage(int(page - 1));
    }
    if (!h) {
        std::fprintf(stderr, "norvikel-tool: %s: error %s\n", tiff, ErrorText(source.Error()).c_str());
        return 1;
    }
    std::string bytes;
    {
        IpiGlobalLock lock(h);
        bytes.assign(reinterpret_cast<const char*>(lock.ptr()), size_t(lock.size()));
    }
    ipiGlobalFree(h);
    if (!core::WriteFileAtomically(out, bytes, &why)) {
        std::fprintf(stderr, "norvikel-tool: cannot write %s: %s\n", out, why.c_str());
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) return Usage("no command given");
    const std::string verb = argv[1];
    if (cli::IsHelp(verb)) return Usage("");
    if (verb == "probe") return Probe(argc, argv);
    if (verb == "extract") return Extract(argc, argv);
    if (verb == "list") return ListThumbnails(argc, argv, ErrorText);
    if (verb == "grab") return GrabThumbnails(argc, argv, ErrorText);
    if (verb == "typelib") {
        std::vector<std::string> extra;
        if (const int status = Operands(argc, argv, 2, &extra); status >= 0) return status;
        if (!extra.empty()) return Usage("typelib takes no file: " + extra[0]);
        std::fputs(thumbctl::NorvikelTypeLib().listing().c_str(), stdout);
        return 0;
    }
    return Usage((cli::IsOption(verb) ? "unknown option " : "unknown command ") + verb);
}
