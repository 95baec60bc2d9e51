// Thumbnails into the default 80 x 60 box of a folder of 3000 x 2000 JPEGs
// (40, made with ImageMagick and cjpeg at start-up; 10 each of PNG, TIFF and
// BMP at 800 x 600 beside them for the mixed run), as pictures per second:
// - the list's folder loading, which decodes a JPEG at the smallest of 1/8,
//   1/4, 1/2 that still covers the box;
// - the same entry points decoding every JPEG at full size first, the path
//   the list took before it asked for a smaller decode;
// - libjpeg-turbo decoding at full size, or at the same reduced scale
//   (scale_denom), into a bitmap that the list's own reduction then shrinks
//   over the same extent: the reference for the decoder alone;
// - vipsthumbnail in one process over the whole folder with one worker
//   thread, when it is installed (skipped otherwise): started through a shell
//   for every run, writing its thumbnails as JPEG files, both included.
// BM_ThumbnailRatio* time ours and a reference in turn in each iteration.
// BM_PeakMemory gives the memory one thumbnail holds while it is made.
// BM_Reduction* time the shrinking step alone on one 1600 x 1200 bitmap.
#include "bench/bench_common.h"
#include "thumbctl/control/loading_host.h"
#include "thumbctl/control/thumbnail_dib.h"
#include "thumbctl/kernel/decode.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <jpeglib.h>

namespace {

namespace fs = std::filesystem;
// Pictures per second by the wall clock: the folder is read from disk, and
// vipsthumbnail works in a process of its own.
void Repeated(benchmark::internal::Benchmark* b)
{
    benchcommon::Repeated(b);
    b->UseRealTime();
}

constexpr int kJpegs = 40, kOthers = 10;
constexpr int kBoxW = 80, kBoxH = 60;

int Run(const std::string& command) { return std::system(command.c_str()); }

// The folder, made once and removed with everything in it at exit.
const std::string& Folder()
{
    static const benchcommon::ScratchFolder dir("bench_thumbs");
    static const std::string folder = [] {
        const std::string d = dir.path();
        if (d.empty()) return d;
        const std::string q = d + "/";
        for (int s = 0; s < 4; ++s) {
            const std::string ppm = q + "base" + std::to_string(s) + ".ppm";
            Run("convert -size 3000x2000 -seed " + std::to_string(11 + s) + " plasma:red-green -depth 8 " + ppm +
                " && cjpeg -quality 85 -outfile " + q + "base" + std::to_string(s) + ".jpeg " + ppm + " && rm " + ppm);
        }
        for (int i = 0; i < kJpegs; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "photo%03d.jpg", i);
            std::error_code ec;
            fs::copy_file(q + "base" + std::to_string(i % 4) + ".jpeg", q + name, ec);
        }
        for (int s = 0; s < 4; ++s) fs::remove(q + "base" + std::to_string(s) + ".jpeg");
        Run("convert -size 800x600 -seed 5 plasma:blue-yellow -depth 8 " + q + "o.ppm");
        for (int i = 0; i < kOthers; ++i) {
            const std::string n = std::to_string(i);
            Run("convert " + q + "o.ppm -depth 8 " + q + "pic" + n + ".png && convert " + q +
                "o.ppm -depth 8 -compress none " + q + "pic" + n + ".tif && convert " + q + "o.ppm BMP3:" + q +
                "pic" + n + ".bmp");
        }
        fs::remove(q + "o.ppm");
        return d;
    }();
    return folder;
}

std::vector<std::string> Jpegs()
{
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(Folder()))
        if (e.path().extension() == ".jpg") out.push_back(e.path().string());
    std::sort(out.begin(), out.end());
    return out;
}

// Thumbnails of every item matching `pattern`; returns how many were made.
long LoadThumbnails(const std::string& pattern)
{
    thumbctl::ThumbnailList list;
    thumbctl::StandaloneHost host;
    thumbctl::ThumbnailLoader loader(list, host);
    loader.dataPath = Folder();
    loader.pattern = pattern;
    loader.Update();
    long made = 0;
    for (const auto& it : list.items) made += it->thumbnail ? 1 : 0;
    return made;
}

// The list's reduction of a decoded bitmap of a w x h picture into the box.
bool Shrink(IPIHANDLE dib, int64_t w, int64_t h)
{
    int64_t dw = 0, dh = 0;
    int bits = 0;
    if (!thumbctl::GetDibInfo(dib, &dw, &dh, &bits)) return false;
    const thumbctl::ThumbSize size = thumbctl::FitIntoBox(w, h, kBoxW, kBoxH);
    thumbctl::DibHandle thumb(
        thumbctl::ReduceDib(dib, size.width, size.height, thumbctl::ExtentOfScaledPicture(dw, dh, w, h)));
    benchmark::DoNotOptimize(thumb.get());
    return bool(thumb);
}

// Through the decode entry point at full size, then the reduction: the path
// the list took before it asked for a smaller decode.
bool FullSizeThumbnail(const std::string& path)
{
    IPIHANDLE h = 0;
    int error = 0;
    if (DecodeImageFromFile(path.c_str(), &h, 1, DecodeFormatJpeg, 0, nullptr, 0, &error) != 1) return false;
    thumbctl::DibHandle dib(h);
    int64_t w = 0, hh = 0;
    int bits = 0;
    return thumbctl::GetDibInfo(h, &w, &hh, &bits) && Shrink(h, w, hh);
}

// The largest of 8, 4, 2 at which a w x h picture still reaches the box's
// width or height (the rule of the decode entry point), else 1.
int ScaleForBox(int64_t w, int64_t h)
{
    for (int s = 8; s > 1; s /= 2)
        if (s * kBoxW <= w || s * kBoxH <= h) return s;
    return 1;
}

// libjpeg-turbo decodes the file into a new bitmap (bottom row first, blue,
// green, red), at full size or reduced like ours, and the list's reduction
// shrinks it.
bool LibjpegThumbnail(const std::string& path, bool reduced)
{
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    jpeg_decompress_struct d;
    jpeg_error_mgr err;
    d.err = jpeg_std_error(&err);
    jpeg_create_decompress(&d);
    jpeg_stdio_src(&d, f);
    jpeg_read_header(&d, TRUE);
    const int64_t w = d.image_width, h = d.image_height;
    d.out_color_space = JCS_EXT_BGR;
    d.scale_num = 1;
    d.scale_denom = reduced ? unsigned(ScaleForBox(w, h)) : 1;
    jpeg_start_decompress(&d);
    const int64_t ow = d.output_width, oh = d.output_height, stride = (ow * 3 + 3) / 4 * 4;
    thumbctl::DibHandle dib(ipiGlobalAlloc(40 + stride * oh));
    bool ok = bool(dib);
    if (ok) {
        IpiGlobalLock lock(dib.get());
        uint8_t* p = lock.ptr();
        const uint32_t header[] = {40, uint32_t(ow), uint32_t(oh)};
        std::memcpy(p, header, sizeof header);
        p[12] = 1;
        p[14] = 24;
        while (d.output_scanline < d.output_height) {
            JSAMPROW row = p + 40 + (oh - 1 - int64_t(d.output_scanline)) * stride;
            jpeg_read_scanlines(&d, &row, 1);
        }
    }
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
    std::fclose(f);
    return ok && Shrink(dib.get(), w, h);
}

long RunEach(const std::vector<std::string>& files, bool (*make)(const std::string&))
{
    long made = 0;
    for (const auto& f : files) made += make(f) ? 1 : 0;
    return made;
}
bool LibjpegFull(const std::string& f) { return LibjpegThumbnail(f, false); }
bool LibjpegReduced(const std::string& f) { return LibjpegThumbnail(f, true); }

void PicturesPerSecond(benchmark::State& state, long made)
{
    state.counters["pictures_per_s"] = benchmark::Counter(double(made), benchmark::Counter::kIsIterationInvariantRate);
}

void BM_ThumbnailsMixedFolder(benchmark::State& state)
{
    Folder();
    long made = 0;
    for (auto _ : state) made = LoadThumbnails("*.*");
    PicturesPerSecond(state, made);
    state.SetLabel(std::to_string(made) + " of " + std::to_string(kJpegs + 3 * kOthers) + " thumbnails made");
}
BENCHMARK(BM_ThumbnailsMixedFolder)->Apply(Repeated);

// Arg 0: the list's folder loading (reduced decodes); 1: full-size decodes
// through the same entry point, then the same reduction.
void BM_ThumbnailsJpegsOurs(benchmark::State& state)
{
    const auto files = Jpegs();
    long made = 0;
    for (auto _ : state) made = state.range(0) ? RunEach(files, FullSizeThumbnail) : LoadThumbnails("*.jpg");
    PicturesPerSecond(state, made);
    state.SetLabel(state.range(0) ? "full-size decode, then reduction (before)" : "list loading, reduced decode");
}
BENCHMARK(BM_ThumbnailsJpegsOurs)->Arg(0)->Arg(1)->Apply(Repeated);

// Arg 0: libjpeg-turbo at full size; 1: at the same reduced scale as ours.
void BM_ThumbnailsJpegsLibjpeg(benchmark::State& state)
{
    const auto files = Jpegs();
    long made = 0;
    for (auto _ : state) made = RunEach(files, state.range(0) ? LibjpegReduced : LibjpegFull);
    PicturesPerSecond(state, made);
    state.SetLabel(state.range(0) ? "libjpeg-turbo scale_denom decode + same reduction"
                                  : "libjpeg-turbo full decode + same reduction");
}
BENCHMARK(BM_ThumbnailsJpegsLibjpeg)->Arg(0)->Arg(1)->Apply(Repeated);

// vipsthumbnail over the whole folder in one process, one worker thread. Not
// the same work as ours: each run starts a shell and a vipsthumbnail process,
// and vipsthumbnail writes every thumbnail out as a JPEG file.
void BM_ThumbnailsJpegsVipsProcessWritingJpegs(benchmark::State& state)
{
    if (Run("command -v vipsthumbnail > /dev/null 2>&1") != 0) {
        state.SkipWithError("vipsthumbnail is not installed");
        return;
    }
    const auto files = Jpegs();
    const std::string out = Folder() + "/vips";
    fs::create_directories(out);
    std::string command = "VIPS_CONCURRENCY=1 vipsthumbnail -s " + std::to_string(kBoxW) + "x" +
                          std::to_string(kBoxH) + " -o '" + out + "/%s.jpg'";
    for (const auto& f : files) command += " '" + f + "'";
    bool ok = true;
    for (auto _ : state) ok = Run(command) == 0 && ok;
    if (!ok) state.SkipWithError("vipsthumbnail failed");
    PicturesPerSecond(state, long(files.size()));
    state.SetLabel("vipsthumbnail: shell and process start-up and JPEG files written, included");
}
BENCHMARK(BM_ThumbnailsJpegsVipsProcessWritingJpegs)->Apply(Repeated);

// Ours (list loading) over a reference, in turn. Arg 0: libjpeg-turbo at
// the same reduced scale plus the same reduction; 1: libjpeg-turbo at full
// size plus the same reduction; 2: our own entry points decoding at full
// size first, then the same reduction (the path before reduced decodes).
void BM_ThumbnailRatio(benchmark::State& state)
{
    const auto files = Jpegs();
    const int against = int(state.range(0));
    bool (*reference)(const std::string&) = against == 0 ? LibjpegReduced : against == 1 ? LibjpegFull
                                                                                         : FullSizeThumbnail;
    benchcommon::CompareInTurn(
        state, against == 2 ? "ours_over_full_size_path" : "ours_over_libjpeg", [] { LoadThumbnails("*.jpg"); },
        [&] { RunEach(files, reference); });
    const char* labels[] = {"vs libjpeg-turbo scale_denom decode", "vs libjpeg-turbo full decode",
                            "vs our full-size decode, then reduction"};
    state.SetLabel(labels[against]);
}
BENCHMARK(BM_ThumbnailRatio)->Arg(0)->Arg(1)->Arg(2)->Apply(Repeated);

// Memory one thumbnail holds while it is made from a 3000 x 2000 JPEG. Arg
// 0: the list (reduced decode); 1: full-size decode first.
void BM_PeakMemory(benchmark::State& state)
{
    const std::string first = Jpegs().front();
    const std::string name = fs::path(first).filename().string();
    std::function<bool()> work;
    if (state.range(0))
        work = [first] { return FullSizeThumbnail(first); };
    else
        work = [name] { return LoadThumbnails(name) == 1; };
    int64_t peak = -1;
    for (auto _ : state) peak = benchcommon::PeakBytes(work);
    if (peak < 0) {
        state.SkipWithError("no peak figure");
        return;
    }
    state.counters["peak_MB"] = double(peak) / 1e6;
    state.SetLabel(state.range(0) ? "full-size decode first" : "list loading, reduced decode");
}
BENCHMARK(BM_PeakMemory)->Arg(0)->Arg(1)->Iterations(1)->Apply(Repeated);

// The plain area average of a three-channel picture into the box.
void BoxAverage(const uint8_t* rgb, int w, int h, std::vector<uint8_t>* out)
{
    const double ratio = std::min(double(kBoxW) / w, double(kBoxH) / h);
    const int tw = std::max(1, int(w * ratio)), th = std::max(1, int(h * ratio));
    out->assign(size_t(tw) * th * 3, 0);
    std::vector<uint64_t> sums(size_t(tw) * 3);
    std::vector<int> col(w);
    for (int x = 0; x < w; ++x) col[x] = int(int64_t(x) * tw / w);
    for (int ty = 0; ty < th; ++ty) {
        const int y0 = int(int64_t(ty) * h / th), y1 = int(int64_t(ty + 1) * h / th);
        std::fill(sums.begin(), sums.end(), 0);
        for (int y = y0; y < y1; ++y) {
            const uint8_t* p = &rgb[size_t(y) * w * 3];
            for (int x = 0; x < w; ++x)
                for (int c = 0; c < 3; ++c) sums[size_t(col[x]) * 3 + c] += p[x * 3 + c];
        }
        for (int tx = 0; tx < tw; ++tx) {
            const int x0 = int((int64_t(tx) * w + tw - 1) / tw), x1 = int((int64_t(tx + 1) * w + tw - 1) / tw);
            const uint64_t n = uint64_t(x1 - x0) * (y1 - y0);
            for (int c = 0; c < 3; ++c) (*out)[(size_t(ty) * tw + tx) * 3 + c] = uint8_t(n ? sums[tx * 3 + c] / n : 0);
        }
    }
}

// The reduction step alone: one 1600 x 1200 24-bit bitmap into the box, ours
// against the plain average over the same pixels, per picture.
struct Photo {
    thumbctl::DibHandle dib;
    std::vector<uint8_t> rgb;
    Photo()
    {
        constexpr int w = 1600, h = 1200;
        const int64_t stride = w * 3;
        dib = thumbctl::DibHandle(ipiGlobalAlloc(40 + stride * h));
        IpiGlobalLock lock(dib.get());
        uint8_t* p = lock.ptr();
        const uint32_t header[] = {40, w, h};
        std::memcpy(p, header, sizeof header);
        p[12] = 1;
        p[14] = 24;
        rgb.resize(size_t(stride) * h);
        uint32_t r = 7;
        for (auto& v : rgb) {
            r = r * 1103515245u + 12345u;
            v = uint8_t(r >> 24);
        }
        std::memcpy(p + 40, rgb.data(), rgb.size());
    }
};

void BM_ReductionOurs(benchmark::State& state)
{
    static const Photo photo;
    for (auto _ : state) {
        thumbctl::DibHandle thumb(thumbctl::ReduceDib(photo.dib.get(), kBoxW, kBoxH));
        benchmark::DoNotOptimize(thumb.get());
    }
}
BENCHMARK(BM_ReductionOurs)->Apply(Repeated)->Unit(benchmark::kMicrosecond);

void BM_ReductionPlainBox(benchmark::State& state)
{
    static const Photo photo;
    std::vector<uint8_t> thumb;
    for (auto _ : state) {
        BoxAverage(photo.rgb.data(), 1600, 1200, &thumb);
        benchmark::DoNotOptimize(thumb.data());
    }
}
BENCHMARK(BM_ReductionPlainBox)->Apply(Repeated)->Unit(benchmark::kMicrosecond);

// The two reductions in turn on the same bitmap.
void BM_ReductionRatio(benchmark::State& state)
{
    static const Photo photo;
    std::vector<uint8_t> plain;
    benchcommon::CompareInTurn(
        state, "ours_over_plain_box",
        [&] {
            thumbctl::DibHandle thumb(thumbctl::ReduceDib(photo.dib.get(), kBoxW, kBoxH));
            benchmark::DoNotOptimize(thumb.get());
        },
        [&] {
            BoxAverage(photo.rgb.data(), 1600, 1200, &plain);
            benchmark::DoNotOptimize(plain.data());
        });
}
BENCHMARK(BM_ReductionRatio)->Apply(Repeated)->Unit(benchmark::kMicrosecond);

} // namespace
