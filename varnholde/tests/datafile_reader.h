#pragma once
// An independent reader of the displacement data files, written from the
// format note (FORMATS.md), for round-trip tests.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

namespace datafile {

struct Data {
    bool ok = false;
    int rows = 0, cols = 0;
    std::string units;
    std::vector<float> values;
};

inline Data ReadText(const std::vector<uint8_t>& bytes)
{
    Data d;
    const std::string text(bytes.begin(), bytes.end());
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find("\r\n", start);
        if (end == std::string::npos) return d; // every line ends in CR LF
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    if (lines.size() < 5 || lines[0] != "Varnholde displacement data") return d;
    auto field = [&](size_t i, const char* name) -> std::string {
        const std::string prefix = std::string(name) + "\t";
        return lines[i].rfind(prefix, 0) == 0 ? lines[i].substr(prefix.size()) : std::string("?");
    };
    d.rows = std::atoi(field(1, "Rows").c_str());
    d.cols = std::atoi(field(2, "Columns").c_str());
    d.units = field(3, "Units");
    if (field(4, "NoData") != "9999" || lines.size() != size_t(5 + d.rows)) return d;
    for (int y = 0; y < d.rows; ++y) {
        std::stringstream row(lines[5 + y]);
        std::string cell;
        int n = 0;
        while (std::getline(row, cell, '\t')) {
            d.values.push_back(std::strtof(cell.c_str(), nullptr));
            ++n;
        }
        if (n != d.cols) return d;
    }
    d.ok = true;
    return d;
}

inline Data ReadBinary(const std::vector<uint8_t>& b)
{
    Data d;
    auto u32 = [&](size_t at) {
        return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
    };
    auto f32 = [&](size_t at) {
        const uint32_t bits = u32(at);
        float f;
        std::memcpy(&f, &bits, 4);
        return f;
    };
    if (b.size() < 24 || std::memcmp(b.data(), "VHDB", 4) != 0 || u32(4) != 1) return d;
    d.rows = int(u32(8));
    d.cols = int(u32(12));
    d.units = u32(16) == 1 ? "mils" : u32(16) == 2 ? "microns" : "?";
    if (f32(20) != 9999.0f || b.size() != 24 + size_t(d.rows) * d.cols * 4) return d;
    for (size_t i = 0; i < size_t(d.rows) * d.cols; ++i) d.values.push_back(f32(24 + 4 * i));
    d.ok = true;
    return d;
}

} // namespace datafile
