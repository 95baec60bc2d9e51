// ipidecode FILE FORMAT [--page N] [--memory] [--repeat N] [-o OUT.bmp]
// Decodes an image through the kernel's decode entry points and prints
// "W H BPP COLOURS", or "error N" with the kernel's code.
#include "thumbctl/kernel/decode.h"
#include "thumbctl/kernel/ipi_dib.h"
#include "tools/cli/usage.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

static int Usage(const std::string& why)
{
    return cli::Usage("ipidecode", why,
                      "usage: ipidecode FILE FORMAT [--page N] [--memory] [--repeat N] [-o OUT.bmp]\n"
                      "exit status: 0 decoded, 1 the kernel refused the picture (\"error N\"), 2 bad command line\n");
}

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (cli::IsHelp(a)) return Usage("");
        if (cli::IsOption(a) && a != "--page" && a != "--memory" && a != "--repeat" && a != "-o")
            return Usage("unknown option " + a);
    }
    if (argc < 3) return Usage("needs FILE and FORMAT");
    if (cli::IsOption(argv[1]) || cli::IsOption(argv[2])) return Usage("FILE and FORMAT come first");
    const char* path = argv[1];
    char* end = nullptr;
    const int format = int(std::strtol(argv[2], &end, 10));
    if (*end) return Usage(std::string("FORMAT must be a number: ") + argv[2]);
    int page = 0, repeat = 1;
    bool memory = false;
    std::string out;
    for (int i = 3; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--page" && i + 1 < argc) page = std::atoi(argv[++i]);
        else if (a == "--repeat" && i + 1 < argc) repeat = std::max(1, std::atoi(argv[++i]));
        else if (a == "--memory") memory = true;
        else if (a == "-o" && i + 1 < argc) out = argv[++i];
        else return Usage((cli::IsOption(a) ? "unknown or incomplete option " : "unexpected argument ") + a);
    }
    // In memory: the picture's bytes as the file entry point reads them.
    IPIHANDLE file = 0;
    if (memory) {
        int error = 0;
        file = ReadImageFileToGlobal(path, format, &error);
        if (!file) {
            std::printf("error %d\n", error);
            return 1;
        }
    }
    IPIHANDLE dib = 0;
    int decodeError = 0;
    for (int r = 0; r < repeat && decodeError == 0; ++r) {
        if (dib) ipiGlobalFree(dib);
        dib = 0;
        if (memory) {
            IpiGlobalLock lock(file);
            DecodeImageFromMemory(lock.ptr(), &dib, 1, format, page, lock.size(), nullptr, 0, &decodeError);
        } else {
            DecodeImageFromFile(path, &dib, 1, format, page, nullptr, 0, &decodeError);
        }
    }
    if (file) ipiGlobalFree(file);
    if (!dib) {
        std::printf("error %d\n", decodeError);
        return 1;
    }
    int rc = 0;
    {
        IpiGlobalLock lock(dib);
        IpiDibLayout l;
        const uint8_t* p = lock.ptr();
        int64_t size = lock.size();
        if (!ipiIsCleanPackedDib(p, size, &l)) {
            std::printf("error invalid bitmap\n");
            rc = 1;
        } else {
            std::printf("%lld %lld %d %d\n", (long long)l.width, (long long)l.height, l.bitsPerPixel, l.colours);
            if (!out.empty()) {
                std::string tmp = out + ".part";
                FILE* f = std::fopen(tmp.c_str(), "wb");
                uint8_t head[14] = {'B', 'M'};
                ipiPutLe32(head + 2, uint32_t(14 + l.totalBytes));
                ipiPutLe32(head + 10, uint32_t(14 + l.headerBytes));
                bool ok = f && std::fwrite(head, 1, 14, f) == 14 &&
                          std::fwrite(p, 1, size_t(l.totalBytes), f) == size_t(l.totalBytes);
                if (f && std::fclose(f) != 0) ok = false;
                if (!ok || std::rename(tmp.c_str(), out.c_str()) != 0) {
                    std::remove(tmp.c_str());
                    std::fprintf(stderr, "ipidecode: cannot write %s\n", out.c_str());
                    rc = 1;
                }
            }
        }
    }
    ipiGlobalFree(dib);
    return rc;
}
