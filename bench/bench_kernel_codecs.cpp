// Decode speed of the kernel's JPEG and PNG codecs against libjpeg(-turbo)
// and libpng on the same files: a 12-megapixel 4:2:0 JPEG and a large RGB
// PNG, both made at start-up. The *Ratio benchmarks time both decoders in
// turn in every iteration and report ours / reference, as medians and spread
// over repetitions. The JPEG is also decoded at 1/2, 1/4 and 1/8 against
// libjpeg-turbo's scale_denom decode. The entry-point benchmarks compare the
// kernel's whole decode to a DIB (JPEG, PNG, 24-bit PCX, PackBits TIFF) with
// libjpeg-turbo, libpng, a plain in-process PCX decoder written here and
// libtiff, and report the peak memory of one decode against the size of the
// bitmap it makes. libtiff is timed into one buffer kept from call to call
// and into a new buffer each call (the kernel makes a new bitmap for every
// decode).
#include "bench/bench_common.h"
#include "bench/photo_pictures.h"
#include "thumbctl/kernel/decode.h"
#include "thumbctl/kernel/jpeg_codec.h"
#include "thumbctl/kernel/png_codec.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

#include <jpeglib.h>
#include <png.h>
#include <tiffio.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>

namespace {

constexpr int kJpegW = 4000, kJpegH = 3000;
constexpr int kPngW = 3000, kPngH = 2000;

// A photograph-like picture: smooth shading, edges and some texture.
std::vector<uint8_t> MakePicture(int w, int h) {
    std::vector<uint8_t> rgb(static_cast<size_t>(w) * h * 3);
    uint32_t seed = 12345;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            seed = seed * 1664525u + 1013904223u;
            const int noise = static_cast<int>((seed >> 24) & 15) - 8;
            const double fx = x / double(w), fy = y / double(h);
            int r = static_cast<int>(128 + 100 * std::sin(6 * fx + 3 * fy)) + noise;
            int g = static_cast<int>(128 + 90 * std::cos(9 * fy - 2 * fx)) + noise;
            int b = ((x / 64 + y / 64) & 1) ? 200 + noise : 60 + noise;
            uint8_t* p = &rgb[(static_cast<size_t>(y) * w + x) * 3];
            p[0] = static_cast<uint8_t>(r < 0 ? 0 : r > 255 ? 255 : r);
            p[1] = static_cast<uint8_t>(g < 0 ? 0 : g > 255 ? 255 : g);
            p[2] = static_cast<uint8_t>(b < 0 ? 0 : b > 255 ? 255 : b);
        }
    }
    return rgb;
}

const std::vector<uint8_t>& JpegFile() {
    static const std::vector<uint8_t> file = [] {
        const std::vector<uint8_t> rgb = MakePicture(kJpegW, kJpegH);
        jpeg_compress_struct c;
        jpeg_error_mgr err;
        c.err = jpeg_std_error(&err);
        jpeg_create_compress(&c);
        unsigned char* mem = nullptr;
        unsigned long size = 0;
        jpeg_mem_dest(&c, &mem, &size);
        c.image_width = kJpegW;
        c.image_height = kJpegH;
        c.input_components = 3;
        c.in_color_space = JCS_RGB;
        jpeg_set_defaults(&c);
        jpeg_set_quality(&c, 90, TRUE);
        c.comp_info[0].h_samp_factor = 2;
        c.comp_info[0].v_samp_factor = 2;
        jpeg_start_compress(&c, TRUE);
        while (c.next_scanline < c.image_height) {
            JSAMPROW row = const_cast<JSAMPROW>(&rgb[static_cast<size_t>(c.next_scanline) * kJpegW * 3]);
            jpeg_write_scanlines(&c, &row, 1);
        }
        jpeg_finish_compress(&c);
        jpeg_destroy_compress(&c);
        std::vector<uint8_t> out(mem, mem + size);
        free(mem);
        return out;
    }();
    return file;
}

void PngWrite(png_structp png, png_bytep data, png_size_t n) {
    auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + n);
}
void PngFlush(png_structp) {}

const std::vector<uint8_t>& PngFile() {
    static const std::vector<uint8_t> file = [] {
        const std::vector<uint8_t> rgb = MakePicture(kPngW, kPngH);
        std::vector<uint8_t> out;
        png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
        png_infop info = png_create_info_struct(png);
        png_set_write_fn(png, &out, PngWrite, PngFlush);
        png_set_IHDR(png, info, kPngW, kPngH, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        for (int y = 0; y < kPngH; ++y)
            png_write_row(png, const_cast<png_bytep>(&rgb[static_cast<size_t>(y) * kPngW * 3]));
        png_write_end(png, info);
        png_destroy_write_struct(&png, &info);
        return out;
    }();
    return file;
}

// ---- decoders ---------------------------------------------------------------

bool OursJpeg(const std::vector<uint8_t>& f, std::vector<uint8_t>& rgb) {
    JpegStreamInfo info;
    if (JpegParseStream(f.data(), f.size(), &info)) return false;
    rgb.resize(static_cast<size_t>(info.width) * info.height * 3);
    JpegPlane planes[3];
    for (int b = 0; b < 3; ++b) planes[b] = {rgb.data() + b, 3, static_cast<ptrdiff_t>(info.width) * 3};
    return JpegDecodeScan(f.data() + info.scanOffset, info.scanSize, info.tables, info.width, info.height, 3,
                          info.sampling, planes) == 0;
}

// At 1 / scale of the picture's size.
bool OursJpegScaled(const std::vector<uint8_t>& f, int scale, std::vector<uint8_t>& rgb) {
    JpegStreamInfo info;
    if (JpegParseStream(f.data(), f.size(), &info)) return false;
    const int w = JpegScaledLength(info.width, scale), h = JpegScaledLength(info.height, scale);
    rgb.resize(static_cast<size_t>(w) * h * 3);
    JpegPlane planes[3];
    for (int b = 0; b < 3; ++b) planes[b] = {rgb.data() + b, 3, static_cast<ptrdiff_t>(w) * 3};
    return JpegDecodeScan(f.data() + info.scanOffset, info.scanSize, info.tables, info.width, info.height, 3,
                          info.sampling, planes, scale) == 0;
}

bool RefJpeg(const std::vector<uint8_t>& f, std::vector<uint8_t>& rgb, bool likeOurs, int scale = 1) {
    jpeg_decompress_struct d;
    jpeg_error_mgr err;
    d.err = jpeg_std_error(&err);
    jpeg_create_decompress(&d);
    jpeg_mem_src(&d, f.data(), f.size());
    jpeg_read_header(&d, TRUE);
    d.out_color_space = JCS_RGB;
    d.scale_num = 1;
    d.scale_denom = static_cast<unsigned>(scale);
    if (likeOurs) {
        d.dct_method = JDCT_IFAST;
        d.do_fancy_upsampling = FALSE;
    }
    jpeg_start_decompress(&d);
    rgb.resize(static_cast<size_t>(d.output_width) * d.output_height * 3);
    while (d.output_scanline < d.output_height) {
        JSAMPROW row = &rgb[static_cast<size_t>(d.output_scanline) * d.output_width * 3];
        jpeg_read_scanlines(&d, &row, 1);
    }
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
    return true;
}

struct RowsOut {
    uint8_t* base;
    size_t rowBytes;
};
void CopyRow(void* ctx, int y, const uint8_t* row) {
    auto* o = static_cast<RowsOut*>(ctx);
    std::memcpy(o->base + static_cast<size_t>(y) * o->rowBytes, row, o->rowBytes);
}

bool OursPng(const std::vector<uint8_t>& f, std::vector<uint8_t>& rgb) {
    PngStreamInfo info;
    if (PngParseStream(f.data(), f.size(), &info)) return false;
    const std::vector<uint8_t> z = PngGatherImageData(f.data(), info);
    PngShape s;
    s.width = info.width;
    s.height = info.height;
    s.bitDepth = info.bitDepth;
    s.channels = info.channels;
    s.interlaced = info.interlaced != 0;
    const size_t rowBytes = static_cast<size_t>(PngRowBytes(s.width, s.bitDepth, s.channels));
    rgb.resize(rowBytes * s.height);
    RowsOut out{rgb.data(), rowBytes};
    return PngDecodeRows(z.data(), z.size(), s, false, 1, CopyRow, &out) == 0;
}

struct PngSource {
    const uint8_t* p;
    size_t left;
};
void PngRead(png_structp png, png_bytep data, png_size_t n) {
    auto* s = static_cast<PngSource*>(png_get_io_ptr(png));
    if (n > s->left) png_error(png, "short");
    std::memcpy(data, s->p, n);
    s->p += n;
    s->left -= n;
}

bool RefPng(const std::vector<uint8_t>& f, std::vector<uint8_t>& rgb) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    PngSource src{f.data(), f.size()};
    png_set_read_fn(png, &src, PngRead);
    png_read_info(png, info);
    const png_uint_32 w = png_get_image_width(png, info), h = png_get_image_height(png, info);
    const size_t rowBytes = png_get_rowbytes(png, info);
    rgb.resize(rowBytes * h);
    for (png_uint_32 y = 0; y < h; ++y) png_read_row(png, &rgb[y * rowBytes], nullptr);
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    (void)w;
    return true;
}

// ---- benchmarks ---------------------------------------------------------------

using benchcommon::CompareInTurn;
using benchcommon::Repeated;

// The whole kernel entry point: stream parsing, scan copy, decoding and the DIB.
void BM_JpegKernelEntry(benchmark::State& state) {
    const auto& f = JpegFile();
    bool ok = true;
    for (auto _ : state) {
        IPIHANDLE h = 0;
        int error = 0;
        ok = DecodeImageFromMemory(f.data(), &h, 1, DecodeFormatJpeg, 0, int64_t(f.size()), nullptr, 0, &error) == 1 &&
             ok;
        if (h) ipiGlobalFree(h);
    }
    if (!ok) state.SkipWithError("decode failed");
    state.SetLabel("4000x3000 4:2:0 to a DIB");
}

// Arg 1: the decoder's vector (SSE2) paths, 0: its portable code.
void BM_JpegOurs(benchmark::State& state) {
    const auto& f = JpegFile();
    std::vector<uint8_t> rgb;
    const bool vector = state.range(0) != 0;
    if (vector && !JpegUseVectorCode(true)) {
        state.SkipWithError("no vector code in this build");
        return;
    }
    JpegUseVectorCode(vector);
    bool ok = true;
    for (auto _ : state) ok = OursJpeg(f, rgb) && ok;
    JpegUseVectorCode(true);
    if (!ok) state.SkipWithError("decode failed");
    state.SetLabel(vector ? "4000x3000 4:2:0" : "4000x3000 4:2:0, portable code");
}
void BM_JpegLibjpeg(benchmark::State& state) {
    const auto& f = JpegFile();
    std::vector<uint8_t> rgb;
    for (auto _ : state) benchmark::DoNotOptimize(RefJpeg(f, rgb, state.range(0) != 0));
    state.SetLabel(state.range(0) ? "ifast, no fancy upsampling" : "defaults");
}
void BM_JpegRatio(benchmark::State& state) {
    const auto& f = JpegFile();
    std::vector<uint8_t> a, b;
    bool ok = true;
    CompareInTurn(state, "ours_over_libjpeg", [&] { ok = OursJpeg(f, a) && ok; },
                  [&] { RefJpeg(f, b, state.range(0) != 0); });
    if (!ok) state.SkipWithError("decode failed");
    state.SetLabel(state.range(0) ? "vs ifast, no fancy upsampling" : "vs libjpeg defaults");
}
// Arg: the scale's denominator (2, 4, 8), the same for both decoders.
void BM_JpegScaledRatio(benchmark::State& state) {
    const auto& f = JpegFile();
    const int scale = static_cast<int>(state.range(0));
    std::vector<uint8_t> a, b;
    bool ok = true;
    CompareInTurn(state, "ours_over_libjpeg", [&] { ok = OursJpegScaled(f, scale, a) && ok; },
                  [&] { RefJpeg(f, b, false, scale); });
    if (!ok || a.size() != b.size()) state.SkipWithError("decode failed or sizes differ");
    state.SetLabel("4000x3000 4:2:0 at 1/" + std::to_string(scale) + " vs libjpeg scale_denom");
}
void BM_PngOurs(benchmark::State& state) {
    const auto& f = PngFile();
    std::vector<uint8_t> rgb;
    for (auto _ : state) benchmark::DoNotOptimize(OursPng(f, rgb));
    state.SetLabel("3000x2000 RGB");
}
void BM_PngLibpng(benchmark::State& state) {
    const auto& f = PngFile();
    std::vector<uint8_t> rgb;
    for (auto _ : state) benchmark::DoNotOptimize(RefPng(f, rgb));
}
void BM_PngRatio(benchmark::State& state) {
    const auto& f = PngFile();
    std::vector<uint8_t> a, b;
    CompareInTurn(state, "ours_over_libpng", [&] { OursPng(f, a); }, [&] { RefPng(f, b); });
    if (a != b) state.SkipWithError("decoded pixels differ from libpng's");
}


// ---- whole decodes to a DIB: JPEG, 24-bit PCX and PackBits TIFF at 12 MP ------

// The picture with its colours reduced to eight levels, so that run-length
// codes find runs as in drawings and masks, not only literals.
std::vector<uint8_t> MakeFlatPicture(int w, int h) {
    std::vector<uint8_t> rgb = MakePicture(w, h);
    for (uint8_t& v : rgb) v = static_cast<uint8_t>(v & 0xE0);
    return rgb;
}

// Files written at start-up and removed at exit.
struct TempFile {
    std::string path;
    explicit TempFile(const char* suffix) {
        const char* dir = std::getenv("TMPDIR");
        path = std::string(dir && *dir ? dir : "/tmp") + "/bench_kernel_" + std::to_string(getpid()) + suffix;
    }
    ~TempFile() { std::remove(path.c_str()); }
};

void PcxRunLine(const uint8_t* p, int n, std::vector<uint8_t>& out) {
    for (int i = 0; i < n;) {
        int r = 1;
        while (i + r < n && r < 63 && p[i + r] == p[i]) ++r;
        if (r > 1 || p[i] >= 0xC0) out.push_back(static_cast<uint8_t>(0xC0 | r));
        out.push_back(p[i]);
        i += r;
    }
}

// A 24-bit PCX of the flat picture, three planes a line.
const std::string& PcxPath() {
    static const TempFile file(".pcx");
    static const bool made = [] {
        const std::vector<uint8_t> rgb = MakeFlatPicture(kJpegW, kJpegH);
        std::vector<uint8_t> f(128, 0);
        f[0] = 10, f[1] = 5, f[2] = 1, f[3] = 8;
        f[8] = (kJpegW - 1) & 255, f[9] = (kJpegW - 1) >> 8;
        f[10] = (kJpegH - 1) & 255, f[11] = (kJpegH - 1) >> 8;
        f[12] = f[14] = 72;
        f[65] = 3;
        f[66] = kJpegW & 255, f[67] = kJpegW >> 8;
        f[68] = 1;
        std::vector<uint8_t> plane(kJpegW);
        for (int y = 0; y < kJpegH; ++y)
            for (int c = 0; c < 3; ++c) {
                for (int x = 0; x < kJpegW; ++x) plane[x] = rgb[(static_cast<size_t>(y) * kJpegW + x) * 3 + c];
                PcxRunLine(plane.data(), kJpegW, f);
            }
        std::ofstream(file.path, std::ios::binary).write(reinterpret_cast<const char*>(f.data()), f.size());
        return true;
    }();
    (void)made;
    return file.path;
}

// An RGB TIFF of the flat picture in PackBits strips of libtiff's default size.
const std::string& TiffPath() {
    static const TempFile file(".tif");
    static const bool made = [] {
        TIFFSetWarningHandler(nullptr);
        const std::vector<uint8_t> rgb = MakeFlatPicture(kJpegW, kJpegH);
        TIFF* t = TIFFOpen(file.path.c_str(), "w");
        if (!t) return false;
        TIFFSetField(t, TIFFTAG_IMAGEWIDTH, kJpegW);
        TIFFSetField(t, TIFFTAG_IMAGELENGTH, kJpegH);
        TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
        TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 3);
        TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
        TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_PACKBITS);
        TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(t, 0));
        for (int y = 0; y < kJpegH; ++y)
            TIFFWriteScanline(t, const_cast<uint8_t*>(&rgb[static_cast<size_t>(y) * kJpegW * 3]), y, 0);
        TIFFClose(t);
        return true;
    }();
    (void)made;
    return file.path;
}

// libtiff's strip reader: every strip decoded into one RGB buffer, `rgb`
// (kept from call to call), or with `fresh` a new buffer each call, as the
// kernel makes a new bitmap for every decode.
bool RefTiff(const std::string& path, std::vector<uint8_t>& rgb, bool fresh = false) {
    TIFF* t = TIFFOpen(path.c_str(), "r");
    if (!t) return false;
    const tmsize_t stripSize = TIFFStripSize(t);
    const uint32_t strips = TIFFNumberOfStrips(t);
    const size_t size = static_cast<size_t>(kJpegW) * kJpegH * 3;
    std::unique_ptr<uint8_t[]> own;
    uint8_t* out;
    if (fresh) {
        own.reset(new uint8_t[size]);
        out = own.get();
    } else {
        rgb.resize(size);
        out = rgb.data();
    }
    bool ok = true;
    for (uint32_t s = 0; s < strips && ok; ++s) {
        const size_t at = static_cast<size_t>(s) * stripSize;
        ok = TIFFReadEncodedStrip(t, s, out + at, tmsize_t(std::min<size_t>(stripSize, size - at))) >= 0;
    }
    TIFFClose(t);
    benchmark::DoNotOptimize(out);
    return ok;
}

// A plain PCX reader in this process: the file read whole, each line's
// run-length codes expanded into its planes, the planes interleaved into a
// new RGB buffer (as the kernel makes a new bitmap for every decode).
bool RefPcx(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return false;
    std::vector<uint8_t> f;
    uint8_t chunk[65536];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0) f.insert(f.end(), chunk, chunk + n);
    std::fclose(file);
    if (f.size() < 128 || f[0] != 10 || f[3] != 8 || f[65] != 3) return false;
    const int w = (f[8] | f[9] << 8) - (f[4] | f[5] << 8) + 1, h = (f[10] | f[11] << 8) - (f[6] | f[7] << 8) + 1;
    const int lineBytes = f[66] | f[67] << 8;
    if (w <= 0 || h <= 0 || lineBytes < w) return false;
    std::unique_ptr<uint8_t[]> rgb(new uint8_t[static_cast<size_t>(w) * h * 3]);
    std::vector<uint8_t> line(static_cast<size_t>(lineBytes) * 3);
    size_t at = 128;
    for (int y = 0; y < h; ++y) {
        for (size_t k = 0; k < line.size();) {
            if (at >= f.size()) return false;
            uint8_t b = f[at++];
            size_t run = 1;
            if (b >= 0xC0) {
                run = b & 0x3F;
                if (at >= f.size()) return false;
                b = f[at++];
            }
            for (; run > 0 && k < line.size(); --run) line[k++] = b;
        }
        uint8_t* out = rgb.get() + static_cast<size_t>(y) * w * 3;
        for (int x = 0; x < w; ++x) {
            out[3 * x] = line[x];
            out[3 * x + 1] = line[lineBytes + x];
            out[3 * x + 2] = line[2 * lineBytes + x];
        }
    }
    benchmark::DoNotOptimize(rgb.get());
    return true;
}

bool OursFromMemory(const std::vector<uint8_t>& f, int format) {
    IPIHANDLE h = 0;
    int error = 0;
    const bool ok = DecodeImageFromMemory(f.data(), &h, 1, format, 0, int64_t(f.size()), nullptr, 0, &error) == 1;
    if (h) ipiGlobalFree(h);
    return ok;
}

bool OursFromFile(const std::string& path, int format) {
    IPIHANDLE h = 0;
    int error = 0;
    const bool ok = DecodeImageFromFile(path.c_str(), &h, 1, format, 0, nullptr, 0, &error) == 1;
    if (h) ipiGlobalFree(h);
    return ok;
}

// Bytes of the 24-bit DIB of the 12-megapixel picture.
constexpr int64_t kDibBytes = 40 + int64_t(kJpegW * 3 + 3) / 4 * 4 * kJpegH;

using benchcommon::PeakBytes;

// The entry point against libjpeg-turbo's decode of the same JPEG to RGB.
void BM_JpegEntryRatio(benchmark::State& state) {
    const auto& f = JpegFile();
    std::vector<uint8_t> b;
    bool ok = true;
    CompareInTurn(state, "entry_over_libjpeg", [&] { ok = OursFromMemory(f, DecodeFormatJpeg) && ok; },
                  [&] { RefJpeg(f, b, state.range(0) != 0); });
    if (!ok) state.SkipWithError("decode failed");
    state.SetLabel(state.range(0) ? "vs ifast, no fancy upsampling" : "vs libjpeg defaults");
}

// The entry point for the RGB PNG against libpng's decode of the same file.
void BM_PngEntryRatio(benchmark::State& state) {
    const auto& f = PngFile();
    std::vector<uint8_t> b;
    bool ok = true;
    CompareInTurn(state, "entry_over_libpng", [&] { ok = OursFromMemory(f, DecodeFormatPng) && ok; },
                  [&] { RefPng(f, b); });
    if (!ok) state.SkipWithError("decode failed");
    state.SetLabel("3000x2000 RGB PNG to a DIB");
}

void BM_PcxEntry(benchmark::State& state) {
    const std::string& path = PcxPath();
    bool ok = true;
    for (auto _ : state) ok = OursFromFile(path, DecodeFormatPcx) && ok;
    if (!ok) state.SkipWithError("decode failed");
    state.SetLabel("4000x3000 24-bit PCX file to a DIB");
}
void BM_PcxRatio(benchmark::State& state) {
    const std::string& path = PcxPath();
    bool ok = true, refOk = true;
    CompareInTurn(state, "entry_over_plain_reader", [&] { ok = OursFromFile(path, DecodeFormatPcx) && ok; },
                  [&] { refOk = RefPcx(path) && refOk; });
    state.SetLabel("vs a plain in-process reader");
    if (!ok) state.SkipWithError("decode failed");
    if (!refOk) state.SkipWithError("reference reader failed");
}

void BM_TiffPackBitsEntry(benchmark::State& state) {
    const std::string& path = TiffPath();
    bool ok = true;
    for (auto _ : state) ok = OursFromFile(path, DecodeFormatTiff) && ok;
    if (!ok) state.SkipWithError("decode failed");
    state.SetLabel("4000x3000 RGB PackBits TIFF file to a DIB");
}
void BM_TiffPackBitsRatio(benchmark::State& state) {
    const std::string& path = TiffPath();
    std::vector<uint8_t> b;
    bool ok = true, refOk = true;
    CompareInTurn(state, "entry_over_libtiff", [&] { ok = OursFromFile(path, DecodeFormatTiff) && ok; },
                  [&] { refOk = RefTiff(path, b, state.range(0) != 0) && refOk; });
    state.SetLabel(state.range(0) ? "vs libtiff into a new buffer each time" : "vs libtiff into one kept buffer");
    if (!ok) state.SkipWithError("decode failed");
    if (!refOk) state.SkipWithError("libtiff failed");
}

// ---- the JPEG entry point on ordinary pictures --------------------------------

// 12-megapixel photograph-like pictures (bench/photo_pictures.h), a smooth
// and a detailed scene, each written at 4:2:0 and at 4:4:4 by two encoders:
// libjpeg-turbo's cjpeg (quality 90, the standard Huffman tables) and
// ImageMagick (quality 85, Huffman tables made for the picture). The files
// are made in a scratch folder at start-up and only their bytes are kept.
struct PhotoJpeg {
    std::string name;
    std::vector<uint8_t> bytes;
};

const std::vector<PhotoJpeg>& PhotoJpegs() {
    static const std::vector<PhotoJpeg> files = [] {
        std::vector<PhotoJpeg> out;
        const benchcommon::ScratchFolder dir("bench_photos");
        if (dir.path().empty()) return out;
        struct Scene {
            const char* name;
            uint32_t seed;
            double texture;
            int grain;
            double noise;
        } scenes[] = {{"smooth", 1, 0.3, 4, 2.5}, {"detailed", 2, 0.8, 2, 4.0}};
        for (const Scene& sc : scenes) {
            const std::string ppm = dir.file(std::string(sc.name) + ".ppm");
            if (!benchpictures::WritePpm(ppm, benchpictures::PhotoLike(kJpegW, kJpegH, sc.seed, sc.texture, sc.grain,
                                                                       sc.noise)))
                return std::vector<PhotoJpeg>();
            for (const bool sub : {true, false}) {
                const std::string tag = std::string(sub ? "420_" : "444_") + sc.name;
                const std::string a = dir.file("cjpeg_" + tag + ".jpg"), b = dir.file("magick_" + tag + ".jpg");
                const std::string cjpeg = "cjpeg -quality 90 -sample " + std::string(sub ? "2x2" : "1x1") +
                                          " -outfile " + a + " " + ppm;
                const std::string magick = "convert " + ppm + " -quality 85 -sampling-factor " +
                                           std::string(sub ? "4:2:0" : "4:4:4") + " " + b;
                if (std::system((cjpeg + " && " + magick).c_str()) != 0) return std::vector<PhotoJpeg>();
                for (const auto& [file, who] : {std::pair<std::string, const char*>{a, "cjpeg_"}, {b, "magick_"}}) {
                    std::ifstream in(file, std::ios::binary);
                    PhotoJpeg p{who + tag, std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {})};
                    if (p.bytes.empty()) return std::vector<PhotoJpeg>();
                    out.push_back(std::move(p));
                }
            }
        }
        return out;
    }();
    return files;
}

// libjpeg-turbo decoding into a new bitmap of the very layout the entry
// point makes (40-byte header, bottom row first, blue, green, red, rows
// padded to 4 bytes), all rows asked for in one call; with `likeOurs` the
// fast integer transform and no smoothing of the chroma.
bool RefJpegBitmap(const std::vector<uint8_t>& f, bool likeOurs) {
    jpeg_decompress_struct d;
    jpeg_error_mgr err;
    d.err = jpeg_std_error(&err);
    jpeg_create_decompress(&d);
    jpeg_mem_src(&d, f.data(), f.size());
    jpeg_read_header(&d, TRUE);
    d.out_color_space = d.num_components == 1 ? JCS_GRAYSCALE : JCS_EXT_BGR;
    if (likeOurs) {
        d.dct_method = JDCT_IFAST;
        d.do_fancy_upsampling = FALSE;
    }
    jpeg_start_decompress(&d);
    const int64_t w = d.output_width, h = d.output_height, stride = (w * d.output_components + 3) / 4 * 4;
    const IPIHANDLE dib = ipiGlobalAlloc(40 + stride * h);
    bool ok = dib != 0;
    if (ok) {
        IpiGlobalLock lock(dib);
        uint8_t* p = lock.ptr();
        const uint32_t header[] = {40, uint32_t(w), uint32_t(h)};
        std::memcpy(p, header, sizeof header);
        p[12] = 1;
        p[14] = uint8_t(8 * d.output_components);
        std::vector<JSAMPROW> rows(static_cast<size_t>(h));
        for (int64_t y = 0; y < h; ++y) rows[size_t(y)] = p + 40 + (h - 1 - y) * stride;
        while (d.output_scanline < d.output_height)
            jpeg_read_scanlines(&d, &rows[d.output_scanline], d.output_height - d.output_scanline);
        benchmark::DoNotOptimize(p);
    }
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
    if (dib) ipiGlobalFree(dib);
    return ok;
}

// The entry point against libjpeg-turbo writing the same bitmap, on every
// ordinary picture: both timed in turn on each picture in each iteration.
// Counters: each picture's ratio and the worst of them (worst_over_libjpeg).
// Arg 0: libjpeg-turbo's defaults; 1: its fast transform without smoothing.
void BM_JpegPhotoEntryRatio(benchmark::State& state) {
    const auto& files = PhotoJpegs();
    if (files.empty()) {
        state.SkipWithError("the pictures could not be made (cjpeg and ImageMagick's convert are needed)");
        return;
    }
    const bool likeOurs = state.range(0) != 0;
    std::vector<double> ours(files.size(), 0.0), reference(files.size(), 0.0);
    bool ok = true, referenceFirst = false;
    for (auto _ : state) {
        for (size_t i = 0; i < files.size(); ++i) {
            const auto& f = files[i].bytes;
            if (referenceFirst) reference[i] += benchcommon::Seconds([&] { RefJpegBitmap(f, likeOurs); });
            ours[i] += benchcommon::Seconds([&] { ok = OursFromMemory(f, DecodeFormatJpeg) && ok; });
            if (!referenceFirst) reference[i] += benchcommon::Seconds([&] { RefJpegBitmap(f, likeOurs); });
        }
        referenceFirst = !referenceFirst;
    }
    if (!ok) {
        state.SkipWithError("decode failed");
        return;
    }
    double worst = 0;
    for (size_t i = 0; i < files.size(); ++i) {
        const double r = reference[i] > 0 ? ours[i] / reference[i] : 0;
        state.counters[files[i].name] = r;
        worst = std::max(worst, r);
    }
    state.counters["worst_over_libjpeg"] = worst;
    state.SetLabel(std::string("4000x3000 photo-like, 8 files, ") +
                   (likeOurs ? "vs ifast, no fancy upsampling" : "vs libjpeg defaults"));
}

// Arg 0 JPEG from memory, 1 PCX file, 2 PackBits TIFF file, 3 PNG from
// memory: the peak memory of one decode over the size of the bitmap it makes.
void BM_PeakMemory(benchmark::State& state) {
    const int kind = static_cast<int>(state.range(0));
    std::function<bool()> work;
    int64_t dibBytes = kDibBytes;
    if (kind == 0) {
        const auto& f = JpegFile();
        work = [&f] { return OursFromMemory(f, DecodeFormatJpeg); };
    } else if (kind == 3) {
        const auto& f = PngFile();
        work = [&f] { return OursFromMemory(f, DecodeFormatPng); };
        dibBytes = 40 + int64_t(kPngW * 3 + 3) / 4 * 4 * kPngH;
    } else {
        const std::string& path = kind == 1 ? PcxPath() : TiffPath();
        const int format = kind == 1 ? DecodeFormatPcx : DecodeFormatTiff;
        work = [&path, format] { return OursFromFile(path, format); };
    }
    int64_t peak = -1;
    for (auto _ : state) peak = PeakBytes(work);
    if (peak < 0) {
        state.SkipWithError("no peak figure");
        return;
    }
    state.counters["peak_MB"] = double(peak) / 1e6;
    state.counters["peak_over_dib"] = double(peak) / double(dibBytes);
    const char* labels[] = {"JPEG from memory", "PCX file", "PackBits TIFF file", "PNG from memory"};
    state.SetLabel(labels[kind]);
}

}  // namespace

BENCHMARK(BM_JpegOurs)->Arg(1)->Arg(0)->Apply(Repeated);
BENCHMARK(BM_JpegKernelEntry)->Apply(Repeated);
BENCHMARK(BM_JpegLibjpeg)->Arg(0)->Arg(1)->Apply(Repeated);
BENCHMARK(BM_JpegRatio)->Arg(0)->Arg(1)->Apply(Repeated);
BENCHMARK(BM_JpegScaledRatio)->Arg(2)->Arg(4)->Arg(8)->Apply(Repeated);
BENCHMARK(BM_PngOurs)->Apply(Repeated);
BENCHMARK(BM_PngLibpng)->Apply(Repeated);
BENCHMARK(BM_PngRatio)->Apply(Repeated);
BENCHMARK(BM_JpegEntryRatio)->Arg(0)->Arg(1)->Apply(Repeated);
BENCHMARK(BM_JpegPhotoEntryRatio)->Arg(0)->Arg(1)->Apply(Repeated)->MinTime(2.0);
BENCHMARK(BM_PngEntryRatio)->Apply(Repeated);
BENCHMARK(BM_PcxEntry)->Apply(Repeated);
BENCHMARK(BM_PcxRatio)->Apply(Repeated);
BENCHMARK(BM_TiffPackBitsEntry)->Apply(Repeated);
BENCHMARK(BM_TiffPackBitsRatio)->Arg(0)->Arg(1)->Apply(Repeated);
BENCHMARK(BM_PeakMemory)->Arg(0)->Arg(1)->Arg(2)->Arg(3)->Iterations(1)->Apply(Repeated);
