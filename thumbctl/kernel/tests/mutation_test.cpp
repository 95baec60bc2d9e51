// Deterministic damage to every image the kernel reads: each committed
// fixture, plus small files of every format made at test start by
// ImageMagick, tiffcp and cjpeg (a missing tool skips its files), is cut
// short at many offsets, has bytes flipped with a fixed seed, and has
// 32-bit fields set to 0, 0x7FFFFFFF and 0xFFFFFFFF. Every damaged file goes
// through the four decode entry points (the "KOL1" raster, which no decode
// format reaches, through the kernel's import): a success must be a clean
// packed DIB, a failure null handles and a nonzero code, and no global
// block may be left behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "testsupport/testsupport.h"
#include "thumbctl/kernel/tests/damage.h"
#include "thumbctl/kernel/decode.h"
#include "thumbctl/kernel/ipi.h"
#include "tools/kfixtures/kfixtures.h"

namespace {

using namespace kdamage;

struct Checker {
    int cases = 0;
    std::string where;

    void Decoded(int made, const IPIHANDLE* dibs, int count, int error, const char* entry, int format)
    {
        ++cases;
        const std::string ctx = where + " " + entry + " format " + std::to_string(format);
        if (made == 0) {
            EXPECT_NE(error, 0) << ctx;
            for (int i = 0; i < count; ++i) EXPECT_EQ(dibs[i], 0u) << ctx;
            return;
        }
        EXPECT_EQ(error, 0) << ctx;
        EXPECT_LE(made, count) << ctx;
        for (int i = 0; i < made; ++i) {
            IpiGlobalLock lock(dibs[i]);
            EXPECT_TRUE(lock.ptr() && ipiIsCleanPackedDib(lock.ptr(), lock.size(), nullptr)) << ctx;
        }
    }
};

void FreeAll(IPIHANDLE* dibs, int count)
{
    for (int i = 0; i < count; ++i)
        if (dibs[i]) ipiGlobalFree(dibs[i]);
}

void RunEntryPoints(const Bytes& m, int format, const std::string& path, bool viaFile, Checker& check)
{
    const int count = format == 4 ? 2 : 1;
    IPIHANDLE dibs[2] = {0, 0};
    int error = -5;
    int made = DecodeImageFromMemory(m.data(), dibs, count, format, 0, int64_t(m.size()), nullptr, 0, &error);
    check.Decoded(made, dibs, count, error, "DecodeImageFromMemory", format);
    FreeAll(dibs, count);
    error = -5;
    const int pages = CountPagesInMemory(m.data(), format, int64_t(m.size()), nullptr, 0, &error);
    EXPECT_TRUE(pages >= 0 && (pages == 0 || error == 0)) << check.where;
    if (!viaFile) return;
    testsupport::WriteBytes(path, m);
    dibs[0] = dibs[1] = 0;
    error = -5;
    made = DecodeImageFromFile(path.c_str(), dibs, count, format, 0, nullptr, 0, &error);
    check.Decoded(made, dibs, count, error, "DecodeImageFromFile", format);
    FreeAll(dibs, count);
    error = -5;
    const int filePages = CountPagesInFile(path.c_str(), format, nullptr, 0, &error);
    EXPECT_TRUE(filePages >= 0 && (filePages == 0 || error == 0)) << check.where;
}

void ImportKol1(const Bytes& m, Checker& check)
{
    ++check.cases;
    IPIENVIRONMENT* env = ipiOpenEnvironment(nullptr);
    ASSERT_NE(env, nullptr);
    IPIOBJECT* lut = ipiCreateLookupTable(env, "oLUT", nullptr, nullptr, 0);
    IPIATTRIBUTE a[] = {{"repository", ipiRepositoryWorkspace}, {"lut", reinterpret_cast<IPIVALUE>(lut)}};
    IPIOBJECT* img = ipiCreateGenericImage(env, "oImage", nullptr, a, 2);
    const int rc = ipiImportIntoObject(env, m.data(), img, ipiFormatBilevel, int64_t(m.size()), nullptr, 0);
    if (rc != 0) {
        EXPECT_EQ(ipiGetError(env), rc) << check.where;
    }
    EXPECT_EQ(ipiCloseEnvironment(env), 0) << check.where;
}

TEST(KernelMutation, DamagedFilesNeverCrashLeakOrLie)
{
    testsupport::TempDir dir("mutation");
    const std::vector<Sample> samples = AllSamples(dir);
    ASSERT_FALSE(samples.empty());
    const int liveAtStart = ipiGlobalLiveCount();
    Checker check;
    const std::string scratch = dir.file("damaged.img");
    uint32_t seed = 20240611;
    for (const Sample& s : samples) {
        const std::vector<Bytes> damaged = Mutations(s.bytes, seed++);
        int index = 0;
        for (const Bytes& m : damaged) {
            check.where = s.name + " case " + std::to_string(index);
            const bool viaFile = index % 5 == 0;
            ++index;
            if (s.format == kFormatKol1) {
                ImportKol1(m, check);
            } else if (s.format == 0) {
                for (int f : kAllFormats) RunEntryPoints(m, f, scratch, false, check);
            } else {
                RunEntryPoints(m, s.format, scratch, viaFile, check);
            }
            ASSERT_EQ(ipiGlobalLiveCount(), liveAtStart) << check.where;
            if (HasFailure()) return;  // one report is enough to find the fault
        }
    }
    EXPECT_GT(check.cases, 1000);
    std::printf("%zu files, %d damaged decodes\n", samples.size(), check.cases);
}

TEST(KernelMutation, UndamagedSamplesDecode)
{
    // The samples themselves decode, so that the damage starts from good files.
    testsupport::TempDir dir("mutation-good");
    for (const Sample& s : AllSamples(dir)) {
        if (s.format == 0 || s.format == kFormatKol1 || s.format == DecodeFormatGif) continue;
        if (s.bytes.size() == 65536) continue;  // cut fixtures
        IPIHANDLE dibs[2] = {0, 0};
        int error = -5;
        const int made = DecodeImageFromMemory(s.bytes.data(), dibs, s.format == 4 ? 2 : 1, s.format, 0,
                                               int64_t(s.bytes.size()), nullptr, 0, &error);
        EXPECT_GE(made, 1) << s.name << " error " << error;
        FreeAll(dibs, 2);
    }
}

// A header field: offset, width in bytes, most significant byte first.
struct Field {
    size_t at;
    int width;
    bool bigEndian;
};

// The header fields of a sample by its format (TIFF: the header and every
// entry's count and value of the first directory).
std::vector<Field> HeaderFields(const Sample& s)
{
    const Bytes& b = s.bytes;
    std::vector<Field> f;
    auto le = [&f](std::initializer_list<std::pair<size_t, int>> list) {
        for (auto& e : list) f.push_back({e.first, e.second, false});
    };
    switch (s.format) {
    case 40: le({{0, 1}, {1, 1}, {2, 1}, {3, 1}, {4, 2}, {6, 2}, {8, 2}, {10, 2}, {12, 2}, {14, 2}, {65, 1},
                 {66, 2}, {68, 2}});
        break;
    case 7: le({{2, 4}, {10, 4}, {14, 4}, {18, 4}, {22, 4}, {26, 2}, {28, 2}, {30, 4}, {34, 4}, {46, 4}, {50, 4}});
        break;
    case 6: le({{6, 2}, {8, 2}, {10, 1}, {11, 1}, {12, 1}}); break;
    case 44:
        for (auto e : std::initializer_list<std::pair<size_t, int>>{{16, 4}, {20, 4}, {24, 1}, {25, 1}, {26, 1},
                                                                   {27, 1}, {28, 1}})
            f.push_back({e.first, e.second, true});
        break;
    case 5:
        for (size_t i = 2; i + 10 < b.size(); ++i)
            if (b[i] == 0xFF && b[i + 1] == 0xC0) {
                for (auto e : std::initializer_list<std::pair<size_t, int>>{{2, 2}, {4, 1}, {5, 2}, {7, 2}, {9, 1}})
                    f.push_back({i + e.first, e.second, true});
                break;
            }
        break;
    case 4: {
        if (b.size() < 8) break;
        const bool be = b[0] == 'M';
        auto u = [&](size_t at, int w) {
            uint32_t v = 0;
            for (int k = 0; k < w; ++k) v |= uint32_t(b[at + size_t(k)]) << (8 * (be ? w - 1 - k : k));
            return v;
        };
        f.push_back({2, 2, be});
        f.push_back({4, 4, be});
        const uint32_t ifd = u(4, 4);
        if (ifd + 2 > b.size()) break;
        const uint32_t n = u(ifd, 2);
        for (uint32_t i = 0; i < n && ifd + 2 + 12 * (i + 1) <= b.size(); ++i) {
            f.push_back({ifd + 2 + 12 * i + 4, 4, be});
            f.push_back({ifd + 2 + 12 * i + 8, u(ifd + 2 + 12 * i + 2, 2) == 3 ? 2 : 4, be});
        }
        break;
    }
    default: break;
    }
    f.erase(std::remove_if(f.begin(), f.end(), [&b](const Field& x) { return x.at + size_t(x.width) > b.size(); }),
            f.end());
    return f;
}

TEST(KernelMutation, HeaderFieldsAtTheirBoundaries)
{
    // Every header field of every format set to 0, 1, the middle pair and the
    // two largest values of its width.
    testsupport::TempDir dir("mutation-fields");
    const int liveAtStart = ipiGlobalLiveCount();
    Checker check;
    const std::string scratch = dir.file("field.img");
    for (const Sample& s : AllSamples(dir)) {
        if (s.format <= 0 || s.bytes.size() == 65536) continue;
        int index = 0;
        for (const Field& f : HeaderFields(s)) {
            const uint64_t max = (uint64_t(1) << (8 * f.width)) - 1;
            for (uint64_t v : {uint64_t(0), uint64_t(1), max / 2, max / 2 + 1, max - 1, max}) {
                Bytes m = s.bytes;
                for (int k = 0; k < f.width; ++k)
                    m[f.at + size_t(k)] = uint8_t(v >> (8 * (f.bigEndian ? f.width - 1 - k : k)));
                check.where = s.name + " field at " + std::to_string(f.at) + " = " + std::to_string(v);
                RunEntryPoints(m, s.format, scratch, index++ % 7 == 0, check);
                ASSERT_EQ(ipiGlobalLiveCount(), liveAtStart) << check.where;
                if (HasFailure()) return;
            }
        }
    }
    EXPECT_GT(check.cases, 300);
    std::printf("%d decodes with boundary header fields\n", check.cases);
}

} // namespace
