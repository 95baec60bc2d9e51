#include "app/core/reset.h"

#include "app/core/model/model.h"
#include "app/core/runtime.h"

namespace core {
namespace {

AnalysisWindow* gAnalysisWindow = nullptr;
std::function<BatchSummaryWindow*()> gBatchProvider;

} // namespace

void SetAnalysisWindow(AnalysisWindow* window) { gAnalysisWindow = window; }
AnalysisWindow* CurrentAnalysisWindow() { return gAnalysisWindow; }

void SetBatchSummaryWindowProvider(std::function<BatchSummaryWindow*()> provider)
{
    gBatchProvider = std::move(provider);
}

void ResetAnalysisState()
{
    if (model::state.StartupInProgress)
        return;
    if (gAnalysisWindow)
        gAnalysisWindow->ClearResultDisplay();
    model::state.Surface3DValid = false;
    model::state.ContourValid = false;
}

void ResetBatchSummary()
{
    model::batch.BatchErrorList.clear();
    BatchSummaryWindow* w = gBatchProvider ? gBatchProvider() : nullptr;
    if (w)
        w->ClearBatchSummary();
}

std::string RangeCaption(const std::string& rotationText)
{
    return MatchesPattern(rotationText, "*Lsf*") ? "Coplanarity" : "Maximum Deflection";
}

std::string BatchRangeCaption(const std::string& rotationText)
{
    return MatchesPattern(rotationText, "*Lsf*") ? "Coplanarity" : "Max Deflection";
}

} // namespace core
