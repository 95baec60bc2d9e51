// The single image's state put aside during a batch job (see hold.h).
#include "app/core/model/hold.h"

namespace model {
namespace {

int gDepth = 0;
std::function<void(bool)> gListener;

} // namespace

SingleImageHold::SingleImageHold() : images_(std::move(images)), state_(state), files_(files)
{
    images = ImageMatrices{};
    if (gDepth++ == 0 && gListener)
        gListener(true);
}

SingleImageHold::~SingleImageHold()
{
    images = std::move(images_);
    state = state_;
    files = std::move(files_);
    if (--gDepth == 0 && gListener)
        gListener(false);
}

bool SingleImageHeld() { return gDepth > 0; }

void SetSingleImageHoldListener(std::function<void(bool)> listener) { gListener = std::move(listener); }

} // namespace model
