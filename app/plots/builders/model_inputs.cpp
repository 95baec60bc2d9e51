// What the builders read of the shared data model.
#include "chart_builders.h"

#include "app/core/figures.h"
#include "app/core/model/model.h"

namespace plots {

ResultFacts ModelFacts()
{
    ResultFacts f;
    f.dataSetName = model::files.DataSetName;
    f.zRange = model::state.ZRange;
    f.minZ = model::state.MinZ;
    f.maxZ = model::state.MaxZ;
    f.zFormat = model::files.ZFormat;
    f.zUnits = model::files.ZUnits;
    f.xyUnits = model::files.XYUnits;
    f.xMax = model::images.XMax;
    f.yMax = model::images.YMax;
    return f;
}

GridInput ModelGrid(bool reduced)
{
    const model::SingleMatrix& m = reduced ? model::images.ReducedData : model::images.ChartData;
    return GridInput{&m.buffer(), m.cols(), m.rows(), reduced};
}

void ModelDiagonals(std::vector<float>* ab, std::vector<float>* cd)
{
    const auto xMax = int16_t(model::images.XMax), yMax = int16_t(model::images.YMax);
    core::ChordProfile(0, 0, xMax, yMax);
    *ab = model::images.ProfileData;
    core::ChordProfile(0, yMax, xMax, 0);
    *cd = model::images.ProfileData;
}

} // namespace plots

#include "plot_state.h"

namespace plots {
PlotState plotState;
} // namespace plots
