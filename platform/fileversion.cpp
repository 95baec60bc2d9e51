#include "platform/fileversion.h"

#include <cstdint>
#include <cstring>
#include <fstream>
#include <vector>

namespace platform {
namespace {

// Minimal ELF64 little-endian reader: finds the section ".sorvanta_version".
template <typename T>
bool ReadAt(std::ifstream& f, uint64_t off, T& out)
{
    f.seekg(static_cast<std::streamoff>(off));
    f.read(reinterpret_cast<char*>(&out), sizeof out);
    return static_cast<bool>(f);
}

bool ReadBytes(std::ifstream& f, uint64_t off, uint64_t n, std::vector<char>& out)
{
    if (n > (1u << 24)) return false;
    out.assign(n, 0);
    f.seekg(static_cast<std::streamoff>(off));
    f.read(out.data(), static_cast<std::streamsize>(n));
    return static_cast<bool>(f);
}

struct SectionHeader {
    uint32_t name, type;
    uint64_t flags, addr, offset, size;
    uint32_t link, info;
    uint64_t align, entsize;
};
static_assert(sizeof(SectionHeader) == 64, "ELF64 section header");

} // namespace

std::string FileVersionOf(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    if (!f) return "";
    unsigned char ident[16];
    if (!ReadAt(f, 0, ident)) return "";
    if (std::memcmp(ident, "\x7f" "ELF", 4) != 0 || ident[4] != 2 || ident[5] != 1) return "";
    uint64_t shoff = 0;
    uint16_t shentsize = 0, shnum = 0, shstrndx = 0;
    if (!ReadAt(f, 0x28, shoff) || !ReadAt(f, 0x3A, shentsize) || !ReadAt(f, 0x3C, shnum) ||
        !ReadAt(f, 0x3E, shstrndx))
        return "";
    if (shentsize != sizeof(SectionHeader) || shstrndx >= shnum || shnum > 4096) return "";
    SectionHeader strtab;
    if (!ReadAt(f, shoff + uint64_t(shstrndx) * shentsize, strtab)) return "";
    std::vector<char> names;
    if (!ReadBytes(f, strtab.offset, strtab.size, names)) return "";
    static const char kWanted[] = ".sorvanta_version";
    for (uint16_t i = 0; i < shnum; ++i) {
        SectionHeader sh;
        if (!ReadAt(f, shoff + uint64_t(i) * shentsize, sh)) return "";
        if (sh.name + sizeof kWanted > names.size()) continue;
        if (std::memcmp(names.data() + sh.name, kWanted, sizeof kWanted) != 0) continue;
        std::vector<char> data;
        if (sh.size == 0 || !ReadBytes(f, sh.offset, sh.size, data)) return "";
        return std::string(data.data(), strnlen(data.data(), data.size()));
    }
    return "";
}

} // namespace platform
