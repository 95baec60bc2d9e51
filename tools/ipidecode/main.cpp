// ipidecode FILE FORMAT [--page N] [--memory] [--repeat N] [-o OUT.bmp]
// Decodes an image through the kernel's decode entry points and prints
// "W H BPP COLOURS", or "error N" with the kernel's code.
#include "thumbctl/kernel/decode.h"
#include "thumbctl/kernel/ipi_dib.h"
#include "app/core/atomic_file.h"
#include "tools/cli/args.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Options {
    std::string path;
    int format = 0, page = 0, repeat = 1;
    bool memory = false;
    std::string out;
};

// The command line into options; a non-negative return is the exit status of
// a usage message.
int ParseOptions(int argc, char** argv, Options* o)
{
    cli::Parser p("ipidecode",
                  "usage: ipidecode FILE FORMAT [--page N] [--memory] [--repeat N] [-o OUT.bmp]\n"
                  "  FORMAT the kernel's format number; --page N counts from 0\n"
                  "exit status: 0 decoded, 1 the kernel refused the picture (\"error N\"), 2 bad command line\n");
    p.integer("--page", &o->page, 0, 2147483647)
        .integer("--repeat", &o->repeat, 1, 1000000)
        .flag("--memory", &o->memory)
        .path("-o", &o->out);
    std::vector<std::string> operands;
    if (const int status = p.parse(argc, argv, &operands); status >= 0) return status;
    if (operands.size() != 2) return p.usage("needs FILE and FORMAT");
    o->path = operands[0];
    long format = 0;
    if (const int status = p.refuse(cli::ReadPath("FILE", o->path)); status >= 0) return status;
    if (const int status = p.refuse(cli::ReadInteger("FORMAT", operands[1], 0, 65535, &format)); status >= 0)
        return status;
    o->format = int(format);
    return -1;
}

// Decodes the picture (repeatedly when asked), from the file or from its bytes
// in memory as the file entry point reads them; 0 with the kernel's code when
// it refuses.
IPIHANDLE Decode(const Options& o, int* error)
{
    IPIHANDLE file = 0;
    if (o.memory) {
        file = ReadImageFileToGlobal(o.path.c_str(), o.format, error);
        if (!file) return 0;
    }
    IPIHANDLE dib = 0;
    *error = 0;
    for (int r = 0; r < o.repeat && *error == 0; ++r) {
        if (dib) ipiGlobalFree(dib);
        dib = 0;
        if (o.memory) {
            IpiGlobalLock lock(file);
            DecodeImageFromMemory(lock.ptr(), &dib, 1, o.format, o.page, lock.size(), nullptr, 0, error);
        } else {
            DecodeImageFromFile(o.path.c_str(), &dib, 1, o.format, o.page, nullptr, 0, error);
        }
    }
    if (file) ipiGlobalFree(file);
    return dib;
}

// The packed bitmap as a BMP file, through the program's one writer.
bool WriteBmp(const std::string& out, const uint8_t* dib, const IpiDibLayout& l)
{
    uint8_t head[14] = {'B', 'M'};
    ipiPutLe32(head + 2, uint32_t(14 + l.totalBytes));
    ipiPutLe32(head + 10, uint32_t(14 + l.headerBytes));
    core::AtomicFile file;
    if (!file.open(out) || !file.write(reinterpret_cast<const char*>(head), 14) ||
        !file.write(reinterpret_cast<const char*>(dib), size_t(l.totalBytes)) || !file.commit()) {
        std::fprintf(stderr, "ipidecode: cannot write %s: %s\n", out.c_str(), file.error().c_str());
        return false;
    }
    return true;
}

// Prints the bitmap's "W H BPP COLOURS" and writes it when asked.
int Report(IPIHANDLE dib, const std::string& out)
{
    IpiGlobalLock lock(dib);
    IpiDibLayout l;
    const uint8_t* p = lock.ptr();
    if (!ipiIsCleanPackedDib(p, lock.size(), &l)) {
        std::printf("error invalid bitmap\n");
        return 1;
    }
    std::printf("%lld %lld %d %d\n", (long long)l.width, (long long)l.height, l.bitsPerPixel, l.colours);
    return out.empty() || WriteBmp(out, p, l) ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    Options o;
    const int usage = ParseOptions(argc, argv, &o);
    if (usage >= 0) return usage;
    int error = 0;
    const IPIHANDLE dib = Decode(o, &error);
    if (!dib) {
        std::printf("error %d\n", error);
        return 1;
    }
    const int rc = Report(dib, o.out);
    ipiGlobalFree(dib);
    return rc;
}
