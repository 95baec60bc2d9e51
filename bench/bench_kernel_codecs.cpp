// Decode speed of the kernel's JPEG and PNG codecs against libjpeg(-turbo)
// and libpng on the same files: a 12-megapixel 4:2:0 JPEG and a large RGB
// PNG, both made at start-up. The *Ratio benchmarks time both decoders in
// turn and report ours / reference.
#include "thumbctl/kernel/decode.h"
#include "thumbctl/kernel/jpeg_codec.h"
#include "thumbctl/kernel/png_codec.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

#include <jpeglib.h>
#include <png.h>

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

bool RefJpeg(const std::vector<uint8_t>& f, std::vector<uint8_t>& rgb, bool likeOurs) {
    jpeg_decompress_struct d;
    jpeg_error_mgr err;
    d.err = jpeg_std_error(&err);
    jpeg_create_decompress(&d);
    jpeg_mem_src(&d, f.data(), f.size());
    jpeg_read_header(&d, TRUE);
    d.out_color_space = JCS_RGB;
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

template <typename F>
double Seconds(F&& f) {
    const auto t0 = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

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
    double ours = 0, ref = 0;
    bool ok = true;
    for (auto _ : state) {
        ours += Seconds([&] { ok = OursJpeg(f, a) && ok; });
        ref += Seconds([&] { RefJpeg(f, b, state.range(0) != 0); });
    }
    state.counters["ours_over_libjpeg"] = ours / ref;
    if (!ok) state.SkipWithError("decode failed");
    state.SetLabel(state.range(0) ? "vs ifast, no fancy upsampling" : "vs libjpeg defaults");
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
    double ours = 0, ref = 0;
    for (auto _ : state) {
        ours += Seconds([&] { OursPng(f, a); });
        ref += Seconds([&] { RefPng(f, b); });
    }
    state.counters["ours_over_libpng"] = ours / ref;
    if (a != b) state.SkipWithError("decoded pixels differ from libpng's");
}

}  // namespace

BENCHMARK(BM_JpegOurs)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JpegKernelEntry)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JpegLibjpeg)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JpegRatio)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PngOurs)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PngLibpng)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PngRatio)->Unit(benchmark::kMillisecond);
