#pragma once
// The damaged-file sweep shared by the mutation tests: sample files of every
// format the kernel reads (the committed fixtures, small files made by
// ImageMagick, tiffcp and cjpeg at test start, and the kernel's own
// builders), and deterministic damage to each: truncations, bit flips with
// a fixed seed, and 32-bit fields set to extreme values.
#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "testsupport/testsupport.h"
#include "tools/kfixtures/kfixtures.h"

namespace kdamage {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

constexpr int kFormatKol1 = -215;  // imported, not decoded
constexpr int kAllFormats[] = {4, 5, 6, 7, 40, 44, 45};

struct Sample {
    std::string name;
    int format;  // decode format, kFormatKol1, or 0 (unknown: every format)
    Bytes bytes;
};

inline int FormatOfName(const std::string& name)
{
    std::string ext = fs::path(name).extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    static const std::map<std::string, int> kByExt = {
        {".tif", 4}, {".tiff", 4}, {".jpg", 5}, {".jpeg", 5}, {".gif", 6}, {".bmp", 7}, {".dib", 7},
        {".pcx", 40}, {".png", 44}, {".cgmc", 45}, {".kol1", kFormatKol1}};
    auto it = kByExt.find(ext);
    return it == kByExt.end() ? 0 : it->second;
}

// Small files of every format the kernel reads, made by the reference tools.
inline void MakeToolSamples(const testsupport::TempDir& dir, std::vector<Sample>* out)
{
    const std::string d = dir.path().string() + "/";
    const std::vector<std::pair<std::string, std::string>> jobs = {
        {"grey8.bmp", "convert -size 13x7 gradient:black-white -depth 8 -type grayscale BMP3:" + d + "grey8.bmp"},
        {"rgb24.bmp", "convert -size 9x5 gradient:red-blue -type truecolor BMP3:" + d + "rgb24.bmp"},
        {"mono1.bmp", "convert -size 19x6 pattern:checkerboard -monochrome BMP3:" + d + "mono1.bmp"},
        {"pal4.bmp", "convert -size 11x6 plasma:fractal -seed 3 -colors 12 -type palette BMP3:" + d + "pal4.bmp"},
        {"rle8.bmp", "convert -size 21x6 gradient:black-white -colors 40 -type palette -compress rle BMP3:" + d + "rle8.bmp"},
        {"plain.tif", "convert -size 12x7 gradient:red-blue -depth 8 -compress none " + d + "plain.tif"},
        {"grey.tif", "convert -size 12x7 gradient:black-white -depth 8 -type grayscale -compress none " + d + "grey.tif"},
        {"mono.tif", "convert -size 33x9 pattern:checkerboard -monochrome -depth 1 -compress none " + d + "mono.tif"},
        {"g4.tif", "tiffcp -c g4 " + d + "mono.tif " + d + "g4.tif"},
        {"g3.tif", "tiffcp -c g3:2d " + d + "mono.tif " + d + "g3.tif"},
        {"packbits.tif", "tiffcp -c packbits -r 3 " + d + "grey.tif " + d + "packbits.tif"},
        {"pages.tif", "tiffcp " + d + "grey.tif " + d + "mono.tif " + d + "pages.tif"},
        {"grey.png", "convert -size 10x6 gradient:black-white -depth 8 -type grayscale " + d + "grey.png"},
        {"rgba.png", "convert -size 10x6 gradient:red-none " + d + "rgba.png"},
        {"pal.png", "convert -size 10x6 gradient:red-blue -colors 5 -type palette PNG8:" + d + "pal.png"},
        {"interlaced.png", "convert -size 10x6 gradient:red-blue -interlace PNG " + d + "interlaced.png"},
        {"colour.jpg", "convert -size 17x11 gradient:red-blue -depth 8 ppm:- | cjpeg -quality 70 > " + d + "colour.jpg"},
        {"grey.jpg", "convert -size 17x11 gradient:black-white -depth 8 pgm:- | cjpeg -grayscale -restart 1 > " + d + "grey.jpg"},
        {"rgb.pcx", "convert -size 9x5 gradient:red-blue -type truecolor " + d + "rgb.pcx"},
        {"pal.pcx", "convert -size 9x5 gradient:red-blue -colors 7 -type palette " + d + "pal.pcx"},
        {"pic.gif", "convert -size 9x5 gradient:red-blue " + d + "pic.gif"},
    };
    for (const auto& job : jobs) {
        int code = 1;
        testsupport::Shell(job.second, &code);
        Bytes b = testsupport::ReadBytes(d + job.first);
        if (code == 0 && !b.empty()) out->push_back({job.first, FormatOfName(job.first), b});
    }
    // The kernel's own formats, from their builders.
    const kfix::Bilevel pic = kfix::PatternBilevel(21, 9, 2);
    out->push_back({"built.kol1", kFormatKol1, kfix::Kol1File(21, 9, kfix::EncodeRunPlane(pic, {3}), 0xF4)});
    kfix::CgmPicture p = kfix::UncompressedPicture(pic);
    p.continued = true;
    p.continuationPiece = 40;
    out->push_back({"built.cgmc", 45, kfix::CgmContainer({p, kfix::UncompressedPicture(pic)})});
}

inline std::vector<Sample> AllSamples(const testsupport::TempDir& dir)
{
    std::vector<Sample> out;
    const fs::path root = fs::path(testsupport::SourceDir()) / "thumbctl/kernel/tests/fixtures";
    std::vector<fs::path> files;
    if (fs::is_directory(root))
        for (const auto& e : fs::recursive_directory_iterator(root))
            if (e.is_regular_file()) files.push_back(e.path());
    std::sort(files.begin(), files.end());
    for (const fs::path& f : files) {
        Bytes b = testsupport::ReadBytes(f.string());
        // Large fixtures are cut to their first 64 KB: the damage is in the headers.
        if (b.size() > 65536) b.resize(65536);
        if (!b.empty()) out.push_back({f.lexically_relative(root).string(), FormatOfName(f.string()), b});
    }
    MakeToolSamples(dir, &out);
    return out;
}

// Damaged copies of one file: truncations, flips, extreme 32-bit fields.
inline std::vector<Bytes> Mutations(const Bytes& b, uint32_t seed)
{
    std::vector<Bytes> out;
    const size_t n = b.size();
    std::vector<size_t> cuts = {1, 2, 3, 4, 7, 8, 12, 14, 16, 26, 27, 33, 54, 64, 128};
    for (int i = 1; i < 12; ++i) cuts.push_back(n * size_t(i) / 12);
    cuts.push_back(n - 1);
    std::sort(cuts.begin(), cuts.end());
    cuts.erase(std::unique(cuts.begin(), cuts.end()), cuts.end());
    for (size_t c : cuts)
        if (c > 0 && c < n) out.emplace_back(b.begin(), b.begin() + long(c));

    std::mt19937 rng(seed);
    for (int i = 0; i < 24; ++i) {
        Bytes m = b;
        const int flips = 1 + int(rng() % 4);
        for (int k = 0; k < flips; ++k) {
            // Half of the flips land in the first 64 bytes, where the headers are.
            const size_t at = (rng() & 1) ? rng() % std::min<size_t>(n, 64) : rng() % n;
            m[at] ^= uint8_t(1u << (rng() % 8));
        }
        out.push_back(std::move(m));
    }

    const uint32_t values[] = {0u, 0x7FFFFFFFu, 0xFFFFFFFFu};
    for (size_t at = 0; at + 4 <= std::min<size_t>(n, 44); at += 2)
        for (uint32_t v : values) {
            Bytes m = b;
            for (int k = 0; k < 4; ++k) m[at + size_t(k)] = uint8_t(v >> (8 * k));
            out.push_back(std::move(m));
        }
    return out;
}

} // namespace kdamage
