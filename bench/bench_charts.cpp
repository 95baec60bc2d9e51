// Rendering a full-size 1024 x 1024 grid as a shaded surface, a filled
// contour map and a contour-line map, into a picture of 860 x 560 pixels.
#include "plots/charts/chart3d.h"

#include <QApplication>
#include <benchmark/benchmark.h>
#include <cmath>

namespace {

void EnsureApp()
{
    static QApplication* app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "bench_charts";
        static char* argv[] = {name, nullptr};
        return new QApplication(argc, argv);
    }();
    (void)app;
}

void Fill(charts::Chart3D& c, int n)
{
    std::vector<float> v(size_t(n) * size_t(n));
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            const double x = (i - n / 2.0) / n, y = (j - n / 2.0) / n;
            const bool hole = (i - n / 4) * (i - n / 4) + (j - n / 4) * (j - n / 4) < (n / 12) * (n / 12);
            v[size_t(j) * size_t(n) + size_t(i)] = hole ? 9999.0f : float(std::sin(6 * x) * std::cos(4 * y) - x * x);
        }
    c.setIsBatched(true);
    c.setPointsX(n);
    c.setPointsY(n);
    c.setGridValues(std::move(v));
    c.setLevelTableReset(true);
    c.setIsBatched(false);
}

void BM_Surface(benchmark::State& state)
{
    EnsureApp();
    charts::Chart3D c;
    c.setSize(QSize(860, 560));
    c.setKind(charts::ChartKind::Surface);
    Fill(c, int(state.range(0)));
    c.setLevelCount(64);
    double rotation = 330;
    for (auto _ : state) {
        c.setViewRotation(rotation += 1);   // a new projection every time
        benchmark::DoNotOptimize(c.renderImage());
    }
}
BENCHMARK(BM_Surface)->Arg(50)->Arg(1024)->Unit(benchmark::kMillisecond);

void BM_Contour(benchmark::State& state)
{
    EnsureApp();
    charts::Chart3D c;
    c.setSize(QSize(860, 560));
    c.setKind(charts::ChartKind::Contour);
    Fill(c, int(state.range(0)));
    c.setContourFilled(state.range(1) != 0);
    c.setLevelCount(state.range(1) != 0 ? 17 : 19);
    for (auto _ : state) {
        c.setHeaderText(QString::number(state.iterations()));   // invalidate the layout
        benchmark::DoNotOptimize(c.renderImage());
    }
}
BENCHMARK(BM_Contour)->Args({1024, 1})->Args({1024, 0})->Unit(benchmark::kMillisecond);

void BM_PixelToData(benchmark::State& state)
{
    EnsureApp();
    charts::Chart3D c;
    c.setSize(QSize(860, 560));
    Fill(c, 1024);
    c.setLevelCount(64);
    c.renderImage();
    for (auto _ : state) benchmark::DoNotOptimize(c.pixelToData(430, 280));
}
BENCHMARK(BM_PixelToData)->Unit(benchmark::kMillisecond);

} // namespace
