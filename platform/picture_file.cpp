// The picture buffer's file read: BMP palette indices or TIFF grey levels.
#include "platform/picture_file.h"

#include "platform/bmp8.h"
#include "platform/regular_file.h"
#include "platform/strandel_binding.h"
#include "tifflib/strandel.h"

namespace platform {

namespace {

constexpr const char* kCannotOpen = "The file cannot be opened.";

GreyPicture Refused(GreyPicture::Result result, const std::string& error)
{
    GreyPicture p;
    p.result = result;
    p.error = error;
    return p;
}

GreyPicture FromBmp(const std::string& path, uint64_t maxPixels)
{
    Bmp8Image img = ReadBmp8(path, maxPixels);
    using R = GreyPicture::Result;
    switch (img.status) {
    case Bmp8Status::Ok: break;
    case Bmp8Status::CannotOpen: return Refused(R::CannotOpen, kCannotOpen);
    case Bmp8Status::NotEightBit: return Refused(R::NotEightBit, Bmp8StatusText(img.status));
    case Bmp8Status::Compressed:
    case Bmp8Status::NotBmp: return Refused(R::Unsupported, Bmp8StatusText(img.status));
    case Bmp8Status::TooLarge: return Refused(R::TooLarge, Bmp8StatusText(img.status));
    default: return Refused(R::BadFile, Bmp8StatusText(img.status));
    }
    GreyPicture p;
    p.result = R::Ok;
    p.width = img.cols;
    p.height = img.rows;
    p.pixels = std::move(img.pixels);
    return p;
}

GreyPicture FromTiff(const std::string& path, uint64_t maxPixels)
{
    using R = GreyPicture::Result;
    strandel::ReadResult r = strandel::ReadImage(path, maxPixels);
    if (r.status == strandel::kLibraryMissing)
        return Refused(R::CannotOpen, "The TIFF library cannot be loaded: " + strandel::LoadError());
    if (r.status == strandel::kOverBudget) return Refused(R::TooLarge, "The picture is larger than the memory it may take.");
    if (r.status != STRANDEL_OK || r.cols == 0 || r.rows == 0 || r.pixels.size() != size_t(r.cols) * r.rows)
        return Refused(R::BadFile, "The TIFF picture cannot be read (status " + std::to_string(r.status) + ").");
    GreyPicture p;
    p.result = R::Ok;
    p.width = r.cols;
    p.height = r.rows;
    p.pixels = std::move(r.pixels);
    return p;
}

} // namespace

GreyPicture ReadGreyPicture(const std::string& path, uint64_t maxPixels)
{
    using R = GreyPicture::Result;
    uint8_t magic[4] = {};
    {
        // Regular files only: opening a pipe would wait for a writer.
        RegularFile file;
        if (!file.open(path)) {
            const std::string limit = PathLimitText(path);
            return Refused(R::CannotOpen, limit.empty() ? std::string(kCannotOpen) : std::string(kCannotOpen) + "\r" + limit);
        }
        if (!file.readExactlyAt(0, magic, sizeof magic)) return Refused(R::Unsupported, "Invalid file format.");
    }
    if (magic[0] == 'B' && magic[1] == 'M') return FromBmp(path, maxPixels);
    const bool tiff = (magic[0] == 'I' && magic[1] == 'I' && magic[2] == 42 && magic[3] == 0) ||
                      (magic[0] == 'M' && magic[1] == 'M' && magic[2] == 0 && magic[3] == 42);
    if (tiff) return FromTiff(path, maxPixels);
    return Refused(R::Unsupported, "Invalid file format.");
}

} // namespace platform
