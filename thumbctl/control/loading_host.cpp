// The file probe and multi-page source behind the loader.
#include "thumbctl/control/loading_host.h"

#include "thumbctl/control/constants.h"
#include "thumbctl/control/loading_url.h"
#include "thumbctl/control/source/multipage.h"
#include "thumbctl/control/source/probe.h"
#include "thumbctl/control/thumbnail_dib.h"

namespace thumbctl {

namespace {

class TiffPages : public PageSource {
public:
    bool Open(const std::string& location) override { return source_.Open(location); }
    bool OpenBlock(IPIHANDLE block, int64_t size) override { return source_.OpenBlock(block, size); }
    bool ReadPageIndex() override { return source_.ReadPageIndex(false); }
    IPIHANDLE ExtractPage(int page) override { return source_.ExtractPage(page); }
    void Close() override { source_.Close(); }
    int error() const override { return source_.Error(); }

private:
    CMultiPageSource source_;
};

bool Answer(CImageFileProbe& probe, bool ok, int* probeType, int* error)
{
    *probeType = probe.ProbeType();
    *error = probe.Error();
    if (ok && probe.Recognised() != 1) {
        ok = false;
        if (*error == 0) *error = trkErrInvalidFileFormat;
    }
    return ok;
}

} // namespace

bool StandaloneHost::ProbeFile(const std::string& path, int* probeType, int* error)
{
    CImageFileProbe probe;
    const bool ok = probe.ProbeFile(path);
    return Answer(probe, ok, probeType, error);
}

bool StandaloneHost::ProbeMemory(const uint8_t* data, int64_t size, int* probeType, int* error)
{
    CImageFileProbe probe;
    const bool ok = probe.ProbeMemory(data, size);
    return Answer(probe, ok, probeType, error);
}

std::unique_ptr<PageSource> StandaloneHost::NewPageSource() { return std::make_unique<TiffPages>(); }

QImage ReadPictureFile(const std::string& path, int* listError)
{
    StandaloneHost host;
    int probeType = 0, error = 0;
    if (!host.ProbeFile(path, &probeType, &error)) {
        *listError = error == trkErrInvalidParam || error == 0 ? trkErrSystemError : error;
        return {};
    }
    const int format = DecodeFormatOfItem(ItemTypeOfProbe(probeType));
    if (!format) {
        *listError = trkErrNotSupportFileFormat;
        return {};
    }
    int kernelError = 0;
    QImage image = DecodePictureFile(path, format, &kernelError);
    *listError = image.isNull() ? ListErrorOfKernel(kernelError) : 0;
    return image;
}

} // namespace thumbctl
