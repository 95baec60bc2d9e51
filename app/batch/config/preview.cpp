// The sample preview of the batch plot configuration.
#include "preview.h"

#include "chart_design.h"
#include "utility_files.h"

#include "app/core/figures.h"
#include "app/core/loader.h"
#include "app/core/model/hold.h"
#include "app/core/pipeline.h"
#include "app/core/runtime.h"

namespace batchcfg {

using charts::Axis2D;
using charts::Axis3D;

namespace {

constexpr double kNoData = 9999.0;
constexpr float kSampleFringe = 10.0f;
const char* const kPlaceholder = "--------";

bool Auto(const std::string& box) { return core::EqualsNoCase(box, "Auto"); }

void CommonGrid(charts::Chart3D& c)
{
    c.setHoleValue(kNoData);
    c.setPointsX(model::ReducedSize);
    c.setPointsY(model::ReducedSize);
}

void XYAxes(charts::Chart3D& c, const SampleResult& s, bool xTitle, bool yTitle)
{
    c.setOriginX(0.0);
    c.setSpacingX(s.xMax / 49.0);
    c.setAxisMinAuto(Axis3D::X, true);
    c.setAxisMaxAuto(Axis3D::X, true);
    if (xTitle) c.setAxisTitle(Axis3D::X, "X (units)");
    c.setOriginY(0.0);
    c.setSpacingY(s.yMax / 49.0);
    c.setAxisMinAuto(Axis3D::Y, true);
    c.setAxisMaxAuto(Axis3D::Y, true);
    if (yTitle) c.setAxisTitle(Axis3D::Y, "Y (units)");
}

void Surface(charts::Chart3D& c, const SampleResult& s, const PreviewInputs& in)
{
    c.setIsBatched(true);
    CommonGrid(c);
    if (Auto(in.surfaceHeader)) c.setHeaderText("Phase Image Name");
    if (Auto(in.surfaceFooter)) c.setFooterText("Coplanarity");
    XYAxes(c, s, in.surfaceXLabel, in.surfaceYLabel);
    if (in.surfaceZLabel) c.setAxisTitle(Axis3D::Z, "Displacement (units)");
    c.setAxisMaxAuto(Axis3D::Z, true);
    c.setAxisMinAuto(Axis3D::Z, true);
    // 64 levels from the batch window's Z boxes (a box that holds no number
    // reads 0); without a range there (or with one no plot can take), 64 even
    // levels over the sample's values.
    const double zmin = core::Val(in.zMin), zmax = core::Val(in.zMax);
    c.setLevelTableReset(true);
    c.setLevelCount(0);
    if (zmax > zmin && core::UsablePlotRangeValue(zmin) && core::UsablePlotRangeValue(zmax)) {
        const float step = float((zmax - zmin) / 64);
        for (int i = 0; i < 64; ++i) c.addLevel(zmin + i * double(step));
    } else {
        c.setLevelCount(64);
    }
    SurfaceLegendPlaceholders(c);
    c.setGridValues(s.reduced);
    c.setPlotExtentX(800.0);
    c.setPlotExtentY(800.0);
    if (c.chartLabelCount() > 0) c.removeAllChartLabels();
    c.setIsBatched(false);
}

void Contour(charts::Chart3D& c, const SampleResult& s, const PreviewInputs& in)
{
    c.setIsBatched(true);
    CommonGrid(c);
    if (Auto(in.contourHeader)) c.setHeaderText("Phase Image Name");
    if (Auto(in.contourFooter)) c.setFooterText("Coplanarity");
    XYAxes(c, s, in.contourXLabel, in.contourYLabel);
    c.setAxisTitle(Axis3D::Z, "Z (units)");
    c.setAxisMinAuto(Axis3D::Z, true);
    c.setAxisMaxAuto(Axis3D::Z, true);
    // Even levels over the sample's range; the legend names none of them.
    c.setLevelTableReset(false);
    c.setLevelCount(17);
    for (int k = 1; k <= 17; ++k) c.setLegendLabelText(k, kPlaceholder);
    c.setGridValues(s.reduced);
    c.setPlotExtentX(10.0);
    c.setPlotExtentY(10.0);
    c.setIsBatched(false);
}

bool Diagonal(charts::Chart2D& c, const PreviewInputs& in, std::string* error)
{
    c.setIsBatched(true);
    std::string why;
    const bool loaded = LoadSampleDiagonal(c, in.normaliseDiagonal, &why);
    if (!loaded && error) *error += (error->empty() ? "" : "; ") + why;
    if (Auto(in.diagonalHeader)) c.setHeaderText("Phase Image Name");
    if (Auto(in.diagonalFooter)) c.setFooterText("Min/Max Values");
    if (in.diagonalXLabel) c.setAxisTitle(Axis2D::X, "Position Along Diagonal (units)");
    c.setAxisMinAuto(Axis2D::X, true);
    c.setAxisMaxAuto(Axis2D::X, true);
    if (in.diagonalYLabel) c.setAxisTitle(Axis2D::Y, "Displacement (units)");
    c.setAxisMinAuto(Axis2D::Y, true);
    c.setAxisMaxAuto(Axis2D::Y, true);
    c.setIsBatched(false);
    return loaded;
}

} // namespace

SampleResult AnalyseSample(const std::string& path)
{
    SampleResult out;
    core::PhaseImageFile file = core::ReadPhaseImageFile(path);
    if (!file.ok) {
        out.message = path + ": " + file.message;
        return out;
    }
    model::SingleImageHold hold;
    auto& im = model::images;
    im.XMax = file.cols - 1;
    im.YMax = file.rows - 1;
    im.ImageCols = int16_t(file.cols);
    im.ImageRows = int16_t(file.rows);
    im.WorkingPhase.create(file.cols, file.rows);
    for (int y = 0; y < file.rows; ++y)
        for (int x = 0; x < file.cols; ++x) {
            const uint8_t v = file.pixels[size_t(y) * file.cols + size_t(x)];
            im.WorkingPhase(x, y) = v == model::BlankPhaseValue ? uint8_t(127) : v;
        }
    core::UnwrapPhase();
    model::state.FringeValue = kSampleFringe;
    core::PhaseToDisplacement();
    core::ApplyRotation(1);
    core::SwapImageMatrix();
    core::ReduceData();
    out.reduced = im.ReducedData.buffer();
    out.xMax = im.XMax;
    out.yMax = im.YMax;
    out.ok = true;
    return out;
}

bool LoadSampleDiagonal(charts::Chart2D& chart, bool normalise, std::string* error)
{
    const std::string file = UtilityFilePath(normalise ? kNormalizedDiagonalData : kDiagonalData);
    QString why;
    const bool ok = chart.loadData(QString::fromStdString(file), &why);
    if (!ok && error) *error = file + ": " + why.toStdString();
    return ok;
}

bool PreviewBatchConfiguration(const PreviewCharts& charts, const PreviewInputs& in, std::string* error)
{
    std::string why;
    const SampleResult s = AnalyseSample(UtilityFilePath(kConfigurationPhase));
    if (s.ok) {
        if (charts.surface) Surface(*charts.surface, s, in);
        if (charts.contour) Contour(*charts.contour, s, in);
    } else {
        why = s.message;
    }
    bool ok = s.ok;
    if (charts.diagonal) ok = Diagonal(*charts.diagonal, in, &why) && ok;
    if (error) *error = why;
    return ok;
}

} // namespace batchcfg
