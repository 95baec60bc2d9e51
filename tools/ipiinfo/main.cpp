// ipiinfo FILE: the kernel's image information and page count of an image.
#include "thumbctl/kernel/decode.h"
#include "thumbctl/kernel/ipi_import.h"
#include "tools/cli/usage.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

static int FormatOf(const std::string& path)
{
    std::string ext = path.substr(path.find_last_of('.') + 1);
    for (auto& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
    if (ext == "tif" || ext == "tiff") return DecodeFormatTiff;
    if (ext == "jpg" || ext == "jpeg") return DecodeFormatJpeg;
    if (ext == "gif") return DecodeFormatGif;
    if (ext == "bmp" || ext == "dib") return DecodeFormatBmp;
    if (ext == "pcx") return DecodeFormatPcx;
    if (ext == "png") return DecodeFormatPng;
    if (ext == "cgm") return DecodeFormatCgm;
    return 0;
}

int main(int argc, char** argv)
{
    const auto usage = [](const std::string& why) {
        return cli::Usage("ipiinfo", why,
                          "usage: ipiinfo FILE [FORMAT]\n"
                          "exit status: 0 read, 1 the kernel refused the file (\"error N\"), 2 bad command line\n");
    };
    for (int i = 1; i < argc; ++i) {
        if (cli::IsHelp(argv[i])) return usage("");
        if (cli::IsOption(argv[i])) return usage(std::string("unknown option ") + argv[i]);
    }
    if (argc != 2 && argc != 3) return usage("needs FILE and at most a FORMAT");
    const char* path = argv[1];
    char* end = nullptr;
    const int format = argc == 3 ? int(std::strtol(argv[2], &end, 10)) : FormatOf(path);
    if (argc == 3 && *end) return usage(std::string("FORMAT must be a number: ") + argv[2]);
    int error = 0;
    int pages = format == DecodeFormatTiff ? CountPagesInFile(path, format, nullptr, 0, &error) : 1;
    if (format == DecodeFormatTiff && pages == 0) {
        std::printf("error %d\n", error);
        return 1;
    }
    const char* names[] = {"xDimension", "yDimension", "compression", "colorMode", "xResolution", "yResolution"};
    const int n = 6, count = pages;
    std::vector<std::vector<IPIVALUE>> values(n, std::vector<IPIVALUE>(size_t(count), 0));
    std::vector<IPIATTRIBUTE> list;
    for (int i = 0; i < n; ++i) list.push_back({names[i], reinterpret_cast<IPIVALUE>(values[size_t(i)].data())});
    if (GetImageInfo(path, count, 0, format, list.data(), n, &error) != 0) {
        std::printf("error %d\n", error);
        return 1;
    }
    std::printf("pages %d\n", pages);
    for (int p = 0; p < count; ++p) {
        if (count > 1) std::printf("page %d\n", p);
        for (int i = 0; i < n; ++i) std::printf("%s %lld\n", names[i], (long long)values[size_t(i)][size_t(p)]);
    }
    return 0;
}
