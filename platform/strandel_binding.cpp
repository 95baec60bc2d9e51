#include "platform/strandel_binding.h"

#include "app/core/atomic_file.h"
#include "platform/dynlib.h"
#include "tifflib/strandel.h"

#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>

namespace strandel {
namespace {

platform::DynamicLibrary& Library()
{
    static platform::DynamicLibrary lib(kLibraryFile);
    return lib;
}

// The library completes a name without any '.' with ".tif"; the program reads
// exactly the file it names, so such a name is passed with "./" before its
// last part (the same file, now holding a '.').
std::string ExactName(const std::string& path)
{
    if (path.empty() || path.find('.') != std::string::npos) return path;
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "./" + path : path.substr(0, slash + 1) + "./" + path.substr(slash + 1);
}

} // namespace

uint16_t GetTIFFCols(const std::string& path)
{
    static platform::LazyFunction<decltype(::GetTIFFCols)> bound(Library(), "GetTIFFCols");
    auto fn = bound.get();
    return fn ? fn(ExactName(path).c_str()) : 0;
}

uint16_t GetTIFFRows(const std::string& path)
{
    static platform::LazyFunction<decltype(::GetTIFFRows)> bound(Library(), "GetTIFFRows");
    auto fn = bound.get();
    return fn ? fn(ExactName(path).c_str()) : 0;
}

namespace {

// Rows of a read appended as they are decoded. The declared size is checked
// when the library reports it; room for the image is reserved, not filled,
// only with the first row (once the file is known to hold the image), so
// memory grows only with the rows the data fills.
struct Rows {
    uint64_t maxPixels = 0;
    ReadResult* result = nullptr;
    int32_t refusal = STRANDEL_OK;   // why the size was refused

    static int Size(void* context, uint32_t width, uint32_t length)
    {
        auto* self = static_cast<Rows*>(context);
        if (width > kMaxSide || length > kMaxSide)
            self->refusal = STRANDEL_ERR_TOO_LARGE;
        else if (uint64_t(width) * length > self->maxPixels)
            self->refusal = kOverBudget;
        if (self->refusal != STRANDEL_OK) return 0;
        self->result->cols = uint16_t(width);
        self->result->rows = uint16_t(length);
        return 1;
    }
    static int Row(void* context, uint32_t y, const uint8_t* pixels)
    {
        auto* self = static_cast<Rows*>(context);
        ReadResult& r = *self->result;
        try {
            if (y == 0) r.pixels.reserve(size_t(r.cols) * r.rows);
            r.pixels.insert(r.pixels.end(), pixels, pixels + r.cols);   // within the room reserved
        } catch (const std::bad_alloc&) {
            return 0;
        }
        return 1;
    }
};

} // namespace

ReadResult ReadImage(const std::string& path, uint64_t maxPixels)
{
    ReadResult r;
    static platform::LazyFunction<decltype(::ReadTIFFRows)> bound(Library(), "ReadTIFFRows");
    auto read = bound.get();
    if (!read) {
        r.status = kLibraryMissing;
        return r;
    }
    // One open of the file gives size, rows and header text together; the
    // declared size is checked before anything is taken for it.
    Rows rows;
    rows.maxPixels = maxPixels;
    rows.result = &r;
    const StrandelRowReader reader{&rows, &Rows::Size, &Rows::Row};
    int32_t status = STRANDEL_ERR_OPEN;
    char* text = read(ExactName(path).c_str(), &reader, &status);
    if (text) {
        r.header = text;
        std::free(text);
    }
    if (status == STRANDEL_ERR_TOO_LARGE && rows.refusal != STRANDEL_OK) status = rows.refusal;
    // An image without pixels is as unreadable as a missing one.
    if (status == STRANDEL_OK && r.pixels.empty()) status = STRANDEL_ERR_FORMAT;
    r.status = status;
    if (status != STRANDEL_OK) r.pixels = std::vector<uint8_t>();
    return r;
}

int32_t WriteTIFFFile(const std::string& path, uint16_t cols, uint16_t rows, const std::string& info,
                      const uint8_t* pixels, std::string* why)
{
    static platform::LazyFunction<decltype(::WriteTIFFFile)> bound(Library(), "WriteTIFFFile");
    auto fn = bound.get();
    if (!fn) {
        if (why) *why = LoadError();
        return kLibraryMissing;
    }
    // The name the library itself would create (".tif" added to a path without
    // any '.'); a path ending in '/' names a folder, never a file ".tif" in it.
    const bool complete = path.find('.') == std::string::npos && !path.empty() && path.back() != '/';
    const std::string target = complete ? path + ".tif" : path;
    core::AtomicFile file;
    if (!file.open(target)) {
        if (why) *why = file.error();
        return STRANDEL_ERR_OPEN;
    }
    // The library writes the file it names; it is given the temporary file
    // the writer has just made, by its descriptor's name in /proc: that opens
    // the same file again and follows no name in the folder.
    const std::string opened = ExactName("/proc/self/fd/" + std::to_string(file.descriptor()));
    const int32_t status = fn(opened.c_str(), cols, rows, info.c_str(), pixels);
    if (status != STRANDEL_OK) {
        if (why) *why = "The TIFF library reported status " + std::to_string(status) + ".";
        return status;   // the temporary file goes with `file`
    }
    if (!file.commit()) {
        if (why) *why = file.error();
        return STRANDEL_ERR_WRITE;
    }
    return STRANDEL_OK;
}

std::string LoadError()
{
    return Library().lastError();
}

} // namespace strandel
