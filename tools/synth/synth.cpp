#include "tools/synth/synth.h"

#include <cmath>
#include <cstdio>
#include <sstream>

namespace synth {
namespace {

std::vector<std::string> Split(const std::string& s, char sep)
{
    std::vector<std::string> out;
    std::string cur;
    for (char c : s) {
        if (c == sep) {
            out.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    out.push_back(cur);
    return out;
}

bool ParseArgs(const std::string& text, std::vector<double>& args)
{
    args.clear();
    if (text.empty()) return true;
    for (const auto& a : Split(text, ',')) {
        char* end = nullptr;
        double v = std::strtod(a.c_str(), &end);
        if (a.empty() || *end != 0) return false;
        args.push_back(v);
    }
    return true;
}

double Arg(const std::vector<double>& a, size_t i, double fallback) { return i < a.size() ? a[i] : fallback; }

// Splits "name:args" into its parts.
void NameAndArgs(const std::string& term, std::string& name, std::string& args)
{
    auto colon = term.find(':');
    name = term.substr(0, colon);
    args = colon == std::string::npos ? std::string() : term.substr(colon + 1);
}

double Noise(double x, double y, uint32_t seed)
{
    uint32_t h = seed * 0x9E3779B9u ^ uint32_t(int(x)) * 0x85EBCA6Bu ^ uint32_t(int(y)) * 0xC2B2AE35u;
    h ^= h >> 16;
    h *= 0x7FEB352Du;
    h ^= h >> 15;
    h *= 0x846CA68Bu;
    h ^= h >> 16;
    return (h / 4294967295.0) * 2.0 - 1.0;
}

} // namespace

uint8_t PhaseByte(double zMils, double fringeMils)
{
    long v = std::lround(256.0 * zMils / fringeMils);
    int b = int(((v % 256) + 256) % 256);
    return b == kBlank ? uint8_t(127) : uint8_t(b);
}

std::vector<uint8_t> WrapToPhase(int cols, int rows, const Surface& z, double fringeMils, const Blank& blank)
{
    std::vector<uint8_t> out(size_t(cols > 0 ? cols : 0) * size_t(rows > 0 ? rows : 0));
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < cols; ++x)
            out[size_t(y) * cols + x] = (blank && blank(x, y)) ? kBlank : PhaseByte(z(x, y), fringeMils);
    return out;
}

Surface ParseSurface(const std::string& text, int cols, int rows, std::string* error)
{
    const double cx = (cols - 1) / 2.0, cy = (rows - 1) / 2.0;
    std::vector<Surface> terms;
    for (const auto& term : Split(text, '+')) {
        std::string name, argText;
        NameAndArgs(term, name, argText);
        std::vector<double> a;
        if (!ParseArgs(argText, a)) {
            if (error) *error = "bad numbers in surface term \"" + term + "\"";
            return {};
        }
        if (name == "plane") {
            double p = Arg(a, 0, 0), q = Arg(a, 1, 0), c = Arg(a, 2, 0);
            terms.push_back([=](double x, double y) { return p * x + q * y + c; });
        } else if (name == "cylinder" && !a.empty()) {
            double k = a[0], x0 = Arg(a, 1, cx);
            terms.push_back([=](double x, double) { return k * (x - x0) * (x - x0); });
        } else if (name == "saddle" && !a.empty()) {
            double k = a[0], x0 = Arg(a, 1, cx), y0 = Arg(a, 2, cy);
            terms.push_back([=](double x, double y) { return k * (x - x0) * (y - y0); });
        } else if (name == "dome" && !a.empty()) {
            double k = a[0], x0 = Arg(a, 1, cx), y0 = Arg(a, 2, cy);
            terms.push_back([=](double x, double y) { return k * ((x - x0) * (x - x0) + (y - y0) * (y - y0)); });
        } else if (name == "noise" && !a.empty()) {
            double amp = a[0];
            uint32_t seed = uint32_t(Arg(a, 1, 1));
            terms.push_back([=](double x, double y) { return amp * Noise(x, y, seed); });
        } else {
            if (error) *error = "unknown surface term \"" + term + "\"";
            return {};
        }
    }
    return [terms](double x, double y) {
        double z = 0;
        for (const auto& t : terms) z += t(x, y);
        return z;
    };
}

Blank ParseBlank(const std::string& text, int cols, int rows, std::string* error)
{
    const double cx = (cols - 1) / 2.0, cy = (rows - 1) / 2.0;
    std::vector<Blank> parts;
    for (const auto& term : Split(text, '+')) {
        std::string name, argText;
        NameAndArgs(term, name, argText);
        std::vector<double> a;
        if (!ParseArgs(argText, a)) {
            if (error) *error = "bad numbers in blank term \"" + term + "\"";
            return {};
        }
        if (name == "none" || name.empty()) {
            continue;
        } else if (name == "border" && a.size() == 1) {
            int bx = int(std::lround(cols * a[0] / 100.0)), by = int(std::lround(rows * a[0] / 100.0));
            parts.push_back([=](int x, int y) { return x < bx || y < by || x >= cols - bx || y >= rows - by; });
        } else if (name == "ring" && a.size() == 2) {
            double r0 = a[0], r1 = a[1];
            parts.push_back([=](int x, int y) {
                double r = std::hypot(x - cx, y - cy);
                return r >= r0 && r < r1;
            });
        } else if (name == "rect" && a.size() == 4) {
            int rx = int(a[0]), ry = int(a[1]), rw = int(a[2]), rh = int(a[3]);
            parts.push_back([=](int x, int y) { return x >= rx && y >= ry && x < rx + rw && y < ry + rh; });
        } else {
            if (error) *error = "unknown blank term \"" + term + "\"";
            return {};
        }
    }
    if (parts.empty()) return {};
    return [parts](int x, int y) {
        for (const auto& p : parts)
            if (p(x, y)) return true;
        return false;
    };
}

std::string MakeHeader(double fringeMils, int cols, int rows)
{
    char fringe[64];
    std::snprintf(fringe, sizeof fringe, "%g", fringeMils);
    std::ostringstream h;
    const char* eol = "\r\n";
    h << "Calverdine Phase Measurement System" << eol << "Header Fields:12" << eol << "Date:2026-12-10" << eol
      << "Time:12:00:00" << eol << "Operator:mkphase" << eol << "Part:Synthetic surface" << eol
      << "Grating (lpi):100" << eol << "Exposure:1" << eol << "Fringe Value (mils):" << fringe << eol
      << "Image Width (pixels):" << cols << eol << "Image Height (pixels):" << rows << eol
      << "Comment:generated" << eol << "\\\\EndHeader" << eol;
    return h.str();
}

} // namespace synth
