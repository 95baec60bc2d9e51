// Thumbnails of 200 mixed pictures (170 JPEGs of 1600 x 1200, 10 each of PNG,
// TIFF and BMP at 800 x 600, made with ImageMagick and cjpeg at start-up)
// through the thumbnail list's folder loading, as pictures per second, next
// to a plain libjpeg-turbo full-size decode plus area-average scaling into
// the same 80 x 60 box over the same JPEGs. BM_ThumbnailRatio times both
// JPEG runs in turn and reports ours / reference. BM_Reduction* time the
// shrinking step alone on one decoded 1600 x 1200 picture.
#include "thumbctl/control/loading_host.h"
#include "thumbctl/control/thumbnail_dib.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <jpeglib.h>

namespace {

namespace fs = std::filesystem;

constexpr int kJpegs = 170, kOthers = 10;
constexpr int kBoxW = 80, kBoxH = 60;

int Run(const std::string& command) { return std::system(command.c_str()); }

// The folder, made once and removed at exit.
struct ScratchFolder {
    std::string path;
    ~ScratchFolder()
    {
        std::error_code ec;
        if (!path.empty()) fs::remove_all(path, ec);
    }
};

const std::string& Folder()
{
    static const ScratchFolder folder{[] {
        char pattern[] = "/tmp/bench_thumbsXXXXXX";
        const std::string d = ::mkdtemp(pattern);
        const std::string q = d + "/";
        for (int s = 0; s < 4; ++s) {
            const std::string ppm = q + "base" + std::to_string(s) + ".ppm";
            Run("convert -size 1600x1200 -seed " + std::to_string(11 + s) + " plasma:red-green -depth 8 " + ppm +
                " && cjpeg -quality 85 -outfile " + q + "base" + std::to_string(s) + ".jpeg " + ppm + " && rm " + ppm);
        }
        for (int i = 0; i < kJpegs; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "photo%03d.jpg", i);
            fs::copy_file(q + "base" + std::to_string(i % 4) + ".jpeg", q + name);
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
    }()};
    return folder.path;
}

std::vector<std::string> Jpegs()
{
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(Folder()))
        if (e.path().extension() == ".jpg") out.push_back(e.path().string());
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

// The plain area average of an RGB picture into the box.
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

// libjpeg-turbo decode to RGB, then the plain area average into the box.
bool ReferenceThumbnail(const std::string& path, std::vector<uint8_t>* out)
{
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    jpeg_decompress_struct d;
    jpeg_error_mgr err;
    d.err = jpeg_std_error(&err);
    jpeg_create_decompress(&d);
    jpeg_stdio_src(&d, f);
    jpeg_read_header(&d, TRUE);
    d.out_color_space = JCS_RGB;
    jpeg_start_decompress(&d);
    const int w = int(d.output_width), h = int(d.output_height);
    std::vector<uint8_t> rgb(size_t(w) * h * 3);
    while (d.output_scanline < d.output_height) {
        JSAMPROW row = &rgb[size_t(d.output_scanline) * w * 3];
        jpeg_read_scanlines(&d, &row, 1);
    }
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
    std::fclose(f);

    BoxAverage(rgb.data(), w, h, out);
    return true;
}

long ReferenceRun(const std::vector<std::string>& files)
{
    std::vector<uint8_t> thumb;
    long made = 0;
    for (const auto& f : files) made += ReferenceThumbnail(f, &thumb) ? 1 : 0;
    return made;
}

void BM_ThumbnailsMixedFolder(benchmark::State& state)
{
    Folder();
    long made = 0;
    for (auto _ : state) made = LoadThumbnails("*.*");
    state.counters["pictures_per_s"] = benchmark::Counter(double(made), benchmark::Counter::kIsIterationInvariantRate);
    state.SetLabel(std::to_string(made) + " of 200 thumbnails made");
}
BENCHMARK(BM_ThumbnailsMixedFolder)->Unit(benchmark::kMillisecond)->Iterations(2);

void BM_ThumbnailsJpegsOurs(benchmark::State& state)
{
    Folder();
    long made = 0;
    for (auto _ : state) made = LoadThumbnails("*.jpg");
    state.counters["pictures_per_s"] = benchmark::Counter(double(made), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_ThumbnailsJpegsOurs)->Unit(benchmark::kMillisecond)->Iterations(2);

void BM_ThumbnailsJpegsLibjpeg(benchmark::State& state)
{
    const auto files = Jpegs();
    long made = 0;
    for (auto _ : state) made = ReferenceRun(files);
    state.counters["pictures_per_s"] = benchmark::Counter(double(made), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_ThumbnailsJpegsLibjpeg)->Unit(benchmark::kMillisecond)->Iterations(2);

void BM_ThumbnailRatio(benchmark::State& state)
{
    const auto files = Jpegs();
    double ours = 0, reference = 0;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        LoadThumbnails("*.jpg");
        const auto t1 = std::chrono::steady_clock::now();
        ReferenceRun(files);
        const auto t2 = std::chrono::steady_clock::now();
        ours += std::chrono::duration<double>(t1 - t0).count();
        reference += std::chrono::duration<double>(t2 - t1).count();
    }
    state.counters["ours_over_libjpeg"] = ours / reference;
}
BENCHMARK(BM_ThumbnailRatio)->Unit(benchmark::kMillisecond)->Iterations(2);

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
BENCHMARK(BM_ReductionOurs)->Unit(benchmark::kMicrosecond);

void BM_ReductionPlainBox(benchmark::State& state)
{
    static const Photo photo;
    std::vector<uint8_t> thumb;
    for (auto _ : state) {
        BoxAverage(photo.rgb.data(), 1600, 1200, &thumb);
        benchmark::DoNotOptimize(thumb.data());
    }
}
BENCHMARK(BM_ReductionPlainBox)->Unit(benchmark::kMicrosecond);

} // namespace
