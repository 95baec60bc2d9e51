// The single image's state put aside during a batch job (see hold.h).
#include "app/core/model/hold.h"

namespace model {
namespace {

int gDepth = 0;
std::function<void(bool)> gListener;

} // namespace

SingleImageHold::Notice::Notice()
{
    // The listener acts while the single image's state is still in place.
    if (gDepth == 0 && gListener)
        gListener(true);
    ++gDepth;
}

SingleImageHold::Notice::~Notice()
{
    if (--gDepth == 0 && gListener)
        gListener(false);
}

SingleImageHold::SingleImageHold() : images_(std::move(images)), state_(state), files_(files)
{
    images = ImageMatrices{};
}

SingleImageHold::~SingleImageHold()
{
    images = std::move(images_);
    state = state_;
    files = std::move(files_);
}

bool SingleImageHeld() { return gDepth > 0; }

void SetSingleImageHoldListener(std::function<void(bool)> listener) { gListener = std::move(listener); }

} // namespace model
