// ipiinfo FILE: the kernel's image information and page count of an image.
#include "thumbctl/kernel/decode.h"
#include "thumbctl/kernel/ipi_import.h"
#include "tools/cli/args.h"

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
    cli::Parser p("ipiinfo", "usage: ipiinfo FILE [FORMAT]\n"
                             "exit status: 0 read, 1 the kernel refused the file (\"error N\"), 2 bad command line\n");
    std::vector<std::string> operands;
    if (const int status = p.parse(argc, argv, &operands); status >= 0) return status;
    if (operands.empty() || operands.size() > 2) return p.usage("needs FILE and at most a FORMAT");
    const char* path = operands[0].c_str();
    if (const int status = p.refuse(cli::ReadPath("FILE", operands[0])); status >= 0) return status;
    long number = 0;
    if (operands.size() == 2) {
        if (const int status = p.refuse(cli::ReadInteger("FORMAT", operands[1], 0, 65535, &number)); status >= 0)
            return status;
    }
    const int format = operands.size() == 2 ? int(number) : FormatOf(path);
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
