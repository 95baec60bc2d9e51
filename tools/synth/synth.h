#pragma once
// Synthetic phase images: known surfaces turned into 8-bit wrapped phase.
//
// A surface gives the height in mils at pixel (x, y). With a fringe value F
// (mils per fringe) the phase byte is v = round(256 * z / F) mod 256, so that
// the wrapped phase is 2*pi*v/256. Byte 128 marks a blank pixel and is never
// used for data: a data value that would be 128 becomes 127.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace synth {

using Surface = std::function<double(double x, double y)>;
using Blank = std::function<bool(int x, int y)>;

inline constexpr uint8_t kBlank = 128;

uint8_t PhaseByte(double zMils, double fringeMils);

// Row-major cols x rows phase bytes; pixels where blank(x, y) is true are 128.
std::vector<uint8_t> WrapToPhase(int cols, int rows, const Surface& z, double fringeMils, const Blank& blank = {});

// Surfaces by name, summed with '+' (x, y in pixels; centre = ((cols-1)/2, (rows-1)/2)):
//   plane:a,b,c          a*x + b*y + c
//   cylinder:k[,x0]      k*(x-x0)^2
//   saddle:k[,x0,y0]     k*(x-x0)*(y-y0)
//   dome:k[,x0,y0]       k*((x-x0)^2 + (y-y0)^2)
//   noise:amp[,seed]     deterministic noise, uniform in [-amp, amp]
// Returns an empty function and sets *error on a bad text.
Surface ParseSurface(const std::string& text, int cols, int rows, std::string* error);

// Blank regions, joined with '+':
//   border:pct           a border of pct percent of the width/height on each side
//   ring:r0,r1           pixels whose distance from the centre lies in [r0, r1)
//   rect:x,y,w,h         a rectangle
//   none
Blank ParseBlank(const std::string& text, int cols, int rows, std::string* error);

// A measurement-system header (CR LF lines, 12 fields, field 9 = fringe value).
std::string MakeHeader(double fringeMils, int cols = 0, int rows = 0);

} // namespace synth
