#include "platform/strandel_binding.h"

#include "platform/dynlib.h"
#include "platform/folders.h"
#include "tifflib/strandel.h"

#include <cstdio>
#include <cstdlib>
#include <new>

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

ReadResult ReadImage(const std::string& path)
{
    ReadResult r;
    static platform::LazyFunction<decltype(::ReadTIFFFileSized)> bound(Library(), "ReadTIFFFileSized");
    auto read = bound.get();
    if (!read) {
        r.status = kLibraryMissing;
        return r;
    }
    r.cols = GetTIFFCols(path);
    r.rows = GetTIFFRows(path);
    // The declared size is checked before anything is allocated for it.
    if (r.cols > kMaxSide || r.rows > kMaxSide) {
        r.status = STRANDEL_ERR_TOO_LARGE;
        return r;
    }
    std::vector<uint8_t> buf;
    try {
        buf.resize(size_t(r.cols) * r.rows);
    } catch (const std::bad_alloc&) {
        r.status = STRANDEL_ERR_NOMEM;
        return r;
    }
    int32_t status = STRANDEL_ERR_OPEN;
    char* text = read(ExactName(path).c_str(), buf.data(), buf.size(), &status);
    if (text) {
        r.header = text;
        std::free(text);
    }
    // An image without pixels is as unreadable as a missing one.
    if (status == STRANDEL_OK && buf.empty()) status = STRANDEL_ERR_FORMAT;
    r.status = status;
    if (status == STRANDEL_OK) r.pixels = std::move(buf);
    return r;
}

int32_t WriteTIFFFile(const std::string& path, uint16_t cols, uint16_t rows, const std::string& info,
                      const uint8_t* pixels)
{
    static platform::LazyFunction<decltype(::WriteTIFFFile)> bound(Library(), "WriteTIFFFile");
    auto fn = bound.get();
    if (!fn) return kLibraryMissing;
    // The name the library itself would create (".tif" added to a path without any '.').
    const std::string target = path.find('.') == std::string::npos ? path + ".tif" : path;
    const std::string name = platform::FileNameOf(target);
    if (name.size() < 2) return fn(path.c_str(), cols, rows, info.c_str(), pixels);
    const std::string temp = platform::FolderOf(target) + "." + name.substr(0, name.size() - 1);
    const int32_t status = fn(temp.c_str(), cols, rows, info.c_str(), pixels);
    if (status == STRANDEL_OK && std::rename(temp.c_str(), target.c_str()) == 0) return STRANDEL_OK;
    std::remove(temp.c_str());
    return status == STRANDEL_OK ? STRANDEL_ERR_WRITE : status;
}

std::string LoadError()
{
    return Library().lastError();
}

} // namespace strandel
