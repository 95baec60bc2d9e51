// File versions of our binaries, read from their ELF version section.
#include "platform/fileversion.h"

#include "platform/regular_file.h"

#include <cstdint>
#include <cstring>
#include <vector>

namespace platform {
namespace {

// Minimal ELF64 little-endian reader over an open regular file: finds the
// section ".sorvanta_version". Every read stays inside the file.
class ElfFile {
public:
    explicit ElfFile(RegularFile& file) : file_(file) {}

    template <typename T>
    bool ReadAt(uint64_t off, T& out) const
    {
        return ReadBytes(off, sizeof out, &out);
    }

    bool ReadBlock(uint64_t off, uint64_t n, std::vector<char>& out) const
    {
        if (n > (1u << 24)) return false;
        out.assign(n, 0);
        return ReadBytes(off, n, out.data());
    }

private:
    bool ReadBytes(uint64_t off, uint64_t n, void* out) const
    {
        const uint64_t size = file_.size();
        return off <= size && n <= size - off && file_.readExactlyAt(off, out, size_t(n));
    }

    RegularFile& file_;
};

struct SectionHeader {
    uint32_t name, type;
    uint64_t flags, addr, offset, size;
    uint32_t link, info;
    uint64_t align, entsize;
};
static_assert(sizeof(SectionHeader) == 64, "ELF64 section header");

std::string VersionSection(const ElfFile& f)
{
    unsigned char ident[16];
    if (!f.ReadAt(0, ident)) return "";
    if (std::memcmp(ident, "\x7f" "ELF", 4) != 0 || ident[4] != 2 || ident[5] != 1) return "";
    uint64_t shoff = 0;
    uint16_t shentsize = 0, shnum = 0, shstrndx = 0;
    if (!f.ReadAt(0x28, shoff) || !f.ReadAt(0x3A, shentsize) || !f.ReadAt(0x3C, shnum) ||
        !f.ReadAt(0x3E, shstrndx))
        return "";
    if (shentsize != sizeof(SectionHeader) || shstrndx >= shnum || shnum > 4096) return "";
    SectionHeader strtab;
    if (!f.ReadAt(shoff + uint64_t(shstrndx) * shentsize, strtab)) return "";
    std::vector<char> names;
    if (!f.ReadBlock(strtab.offset, strtab.size, names)) return "";
    static const char kWanted[] = ".sorvanta_version";
    for (uint16_t i = 0; i < shnum; ++i) {
        SectionHeader sh;
        if (!f.ReadAt(shoff + uint64_t(i) * shentsize, sh)) return "";
        if (sh.name + sizeof kWanted > names.size()) continue;
        if (std::memcmp(names.data() + sh.name, kWanted, sizeof kWanted) != 0) continue;
        std::vector<char> data;
        if (sh.size == 0 || !f.ReadBlock(sh.offset, sh.size, data)) return "";
        return std::string(data.data(), strnlen(data.data(), data.size()));
    }
    return "";
}

} // namespace

std::string FileVersionOf(const std::string& path)
{
    // A regular file only: a pipe or a device in its place is never waited on.
    RegularFile file;
    if (!file.open(path)) return "";
    return VersionSection(ElfFile(file));
}

} // namespace platform
