// Kernel environment, error file, objects, stores, temporary files, global
// memory handles and the run-length codes.
#include "testsupport/testsupport.h"
#include "thumbctl/kernel/bmp_codec.h"
#include "thumbctl/kernel/ipi.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include <cstdlib>
#include <filesystem>
#include <unistd.h>

using testsupport::ReadText;
using testsupport::TempDir;

namespace {

struct Env {
    IPIENVIRONMENT* e;
    explicit Env(const char* file = nullptr) : e(ipiOpenEnvironment(file)) {}
    ~Env() { if (ipiCheckEnvironment(e) == 0) ipiCloseEnvironment(e); }
};

TEST(KernelEnvironment, ErrorFileGetsCrLfLinesAndIsAppended)
{
    TempDir dir("kenv");
    const std::string path = dir.file("errors.txt");
    testsupport::WriteBytes(path, {'x', '\r', '\n'});
    {
        Env env(path.c_str());
        ASSERT_NE(env.e, nullptr);
        EXPECT_EQ(env.e->errorReportingState, 1);
        ipiReportError(env.e, 22);
        ipiReportError(env.e, 25);
        EXPECT_EQ(ipiGetError(env.e), 25);
    }
    EXPECT_EQ(ReadText(path), "x\r\nipi: Syntactical error within data stream\r\nipi: File Open Failure\r\n");

    Env quiet("");
    EXPECT_EQ(quiet.e->errorReportingState, 0);
    EXPECT_EQ(quiet.e->errorFileName, nullptr);
}

TEST(KernelEnvironment, ReportingWithoutNameWritesFileNamedStderr)
{
    TempDir dir("kenv2");
    char old[4096];
    ASSERT_NE(getcwd(old, sizeof old), nullptr);
    ASSERT_EQ(chdir(dir.path().c_str()), 0);
    {
        Env env;
        IPIATTRIBUTE on[] = {{"errorReportingState", 1}};
        EXPECT_EQ(ipiSetEnvironmentAttributes(env.e, on, 1), 0);
        ipiReportError(env.e, 9);
    }
    std::string text = ReadText(dir.file("stderr"));
    ASSERT_EQ(chdir(old), 0);
    EXPECT_EQ(text, "ipi: Invalid instance\r\n");
}

TEST(KernelEnvironment, InvalidHandlesAndSettings)
{
    EXPECT_EQ(ipiGetError(nullptr), 24);
    Env env;
    EXPECT_EQ(env.e->nonnegativeIntegerPrecision, 8);
    EXPECT_EQ(env.e->operationalState, 155);
    // The second name is unknown: the first is stored, the third is not.
    IPIATTRIBUTE list[] = {{"byteBoundary", 7}, {"noSuchSetting", 1}, {"debugState", 5}};
    EXPECT_EQ(ipiSetEnvironmentAttributes(env.e, list, 3), 18);
    EXPECT_EQ(env.e->byteBoundary, 7);
    EXPECT_EQ(env.e->debugState, 0);
    IPIATTRIBUTE closed[] = {{"operationalState", 31}};
    ipiSetEnvironmentAttributes(env.e, closed, 1);
    EXPECT_EQ(ipiGetError(env.e), 24);
    EXPECT_EQ(ipiCloseEnvironment(env.e), 24);
    env.e->operationalState = 155;  // let the guard close it
}

TEST(KernelObjects, ClassesTemplatesAndAttributes)
{
    Env env;
    IPIOBJECT* hist = ipiCreateHistogram(env.e, "h", nullptr, nullptr, 0);
    ASSERT_NE(hist, nullptr);
    EXPECT_EQ(ipiCreateObject(env.e, "c", &ipiClassColourImage, hist, nullptr, 0), nullptr);
    EXPECT_EQ(ipiGetError(env.e), 11);
    IPIOBJECT* img = ipiCreateGenericImage(env.e, "g", nullptr, nullptr, 0);
    IPIOBJECT* roi = ipiCreateROI(env.e, "r", img, nullptr, 0);
    ASSERT_NE(roi, nullptr);
    EXPECT_EQ(ipiGetObjectAttribute(env.e, roi, "dataType"), 153);

    ipiSetAttribute(env.e, img, "fileName", reinterpret_cast<IPIVALUE>("first"));
    ipiSetAttribute(env.e, img, "fileName", reinterpret_cast<IPIVALUE>("second"));
    EXPECT_STREQ(reinterpret_cast<const char*>(ipiGetObjectAttribute(env.e, img, "fileName")), "first");

    IPIATTRIBUTE bmp[] = {{"resolutionUnit", 145}, {"fileFormat", 225}};
    ipiSetAttributes(env.e, img, bmp, 2);
    EXPECT_EQ(ipiGetObjectAttribute(env.e, img, "resolutionUnit"), 145);
    ipiSetAttribute(env.e, img, "dataType", 161);
    EXPECT_EQ(ipiGetObjectAttribute(env.e, img, "dataPrecision"), 32);

    // Pointers survive a round trip (64-bit values).
    IPIATTRIBUTE lut[] = {{"lut", reinterpret_cast<IPIVALUE>(hist)}};
    ipiSetAttributes(env.e, img, lut, 1);
    EXPECT_EQ(reinterpret_cast<IPIOBJECT*>(ipiGetObjectAttribute(env.e, img, "lut")), hist);

    EXPECT_EQ(ipiDestroyObject(env.e, hist), 0);
    EXPECT_EQ(ipiIsValidObject(env.e, hist), nullptr);
    EXPECT_EQ(ipiGetError(env.e), 9);
    IPIOBJECT* again = ipiCreateTuple(env.e, "t", nullptr, nullptr, 0);
    EXPECT_EQ(again, hist);  // the freed record is reused
}

TEST(KernelStores, TemporaryFilesAreRemoved)
{
    TempDir dir("ktmp");
    const char* old = std::getenv("TMPDIR");
    std::string saved = old ? old : "";
    setenv("TMPDIR", dir.path().c_str(), 1);
    {
        Env env;
        IPIATTRIBUTE a[] = {{"xDimension", 10}, {"yDimension", 3}};
        IPIOBJECT* o = ipiCreateGenericImage(env.e, "f", nullptr, a, 2);
        IPISTORE* s = ipiOpenDataStore(env.e, o, "w", 1);
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(std::filesystem::path(o->fileName).filename().string().rfind("ipi", 0), 0u);
        EXPECT_EQ(ipiCloseDataStore(env.e, s), 0);
        EXPECT_EQ(std::filesystem::file_size(o->fileName), 30u);  // completed with zeros
        ipiDestroyObject(env.e, o);
        EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
        // Left to the environment's close.
        IPIOBJECT* p = ipiCreateGenericImage(env.e, "f", nullptr, a, 2);
        ipiCloseDataStore(env.e, ipiOpenDataStore(env.e, p, "w", 1));
        EXPECT_FALSE(std::filesystem::is_empty(dir.path()));
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
    if (old) setenv("TMPDIR", saved.c_str(), 1);
    else unsetenv("TMPDIR");
}

TEST(KernelStores, StridesWindowsAndBoundedReads)
{
    Env env;
    IPIATTRIBUTE bits10[] = {{"dataType", 18}, {"xDimension", 10}, {"repository", 223}};
    IPIOBJECT* b = ipiCreateGenericImage(env.e, "b", nullptr, bits10, 3);
    IPISTORE* s = ipiOpenDataStore(env.e, b, "w", 1);
    EXPECT_EQ(s->stride, 3);
    ipiCloseDataStore(env.e, s);
    ipiSetAttribute(env.e, b, "xDimension", 16);
    s = ipiOpenDataStore(env.e, b, "w", 1);
    EXPECT_EQ(s->stride, 2);
    ipiCloseDataStore(env.e, s);

    uint8_t data[12] = {1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3};
    IPIATTRIBUTE mem[] = {{"xDimension", 4}, {"yDimension", 3}, {"repository", 9},
                          {"applicationAddressSpace", reinterpret_cast<IPIVALUE>(data)}, {"size", 12}};
    IPIOBJECT* m = ipiCreateGenericImage(env.e, "m", nullptr, mem, 5);
    s = ipiOpenDataStore(env.e, m, "r", 3);
    const uint8_t* mid = ipiReadAt(env.e, s, 8);  // last line
    ASSERT_NE(mid, nullptr);
    EXPECT_EQ(mid[0], 3);
    EXPECT_EQ(mid[-4], 2);
    EXPECT_EQ(mid[4], 0);  // below the last line: zeros
    uint8_t buf[8];
    EXPECT_EQ(ipiReadFileAt(env.e, s, 8, buf, 4), 4);
    EXPECT_EQ(ipiReadFileAt(env.e, s, 9, buf, 4), -1);
    EXPECT_EQ(ipiGetError(env.e), 8);
    EXPECT_EQ(ipiReadFileAtMost(env.e, s, 9, buf, 8), 3);
    ipiCloseDataStore(env.e, s);
}

TEST(KernelStores, StuffedBitStreams)
{
    Env env;
    uint8_t good[] = {0xFF, 0x00, 0xA5};
    uint8_t bad[] = {0xFF, 0x12};
    for (int k = 0; k < 2; ++k) {
        IPIATTRIBUTE mem[] = {{"repository", 9},
                              {"applicationAddressSpace", reinterpret_cast<IPIVALUE>(k ? bad : good)},
                              {"size", k ? 2 : 3}};
        IPIOBJECT* o = ipiCreateGenericImage(env.e, "s", nullptr, mem, 3);
        IPISTORE* s = ipiOpenDataStore(env.e, o, "r", 1);
        uint32_t v = 0;
        int rc = ipiGetBitsStuffed(env.e, s, 8, &v);
        if (k == 0) {
            EXPECT_EQ(rc, 0);
            EXPECT_EQ(v, 0xFFu);
            EXPECT_EQ(ipiGetBitsStuffed(env.e, s, 8, &v), 0);
            EXPECT_EQ(v, 0xA5u);
        } else {
            EXPECT_EQ(rc, 19);
        }
        ipiCloseDataStore(env.e, s);
    }
}

TEST(KernelMemory, HandlesAreCheckedAndNeverReused)
{
    IPIHANDLE h = ipiGlobalAlloc(100);
    ASSERT_NE(h, 0u);
    auto* p = static_cast<uint8_t*>(ipiGlobalLock(h));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p[99], 0);
    EXPECT_TRUE(ipiGlobalUnlock(h));
    EXPECT_FALSE(ipiGlobalUnlock(h));
    EXPECT_EQ(ipiGlobalSize(h), 100);
    EXPECT_TRUE(ipiGlobalFree(h));
    EXPECT_FALSE(ipiGlobalFree(h));
    EXPECT_EQ(ipiGlobalLock(h), nullptr);
    IPIHANDLE h2 = ipiGlobalAlloc(10);
    EXPECT_NE(h2, h);  // same slot, new generation
    EXPECT_EQ(ipiGlobalLock(0xDEADBEEF), nullptr);
    EXPECT_EQ(ipiGlobalAlloc(0), 0u);
    EXPECT_EQ(ipiGlobalAlloc(kIpiMaxBytes + 1), 0u);
    ipiGlobalFree(h2);
}

// Blocks of every size class (small heap blocks and the large mapped ones,
// odd sizes) come zero-filled, hold their whole size and free cleanly.
TEST(KernelMemory, LargeBlocksAreZeroFilledAndWhole)
{
    const int before = ipiGlobalLiveCount();
    for (int64_t size : {int64_t(1), int64_t(4 << 20) - 1, int64_t(4 << 20), int64_t(9 << 20) + 3}) {
        IPIHANDLE h = ipiGlobalAlloc(size);
        ASSERT_NE(h, 0u) << size;
        EXPECT_EQ(ipiGlobalSize(h), size);
        auto* p = static_cast<uint8_t*>(ipiGlobalLock(h));
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(p[0], 0);
        EXPECT_EQ(p[size / 2], 0);
        EXPECT_EQ(p[size - 1], 0);
        std::memset(p, 0x5A, size_t(size));
        ipiGlobalUnlock(h);
        EXPECT_TRUE(ipiGlobalFree(h));
    }
    EXPECT_EQ(ipiGlobalLiveCount(), before);
}

// PackBits strips of random codes (long literals and runs, no-op codes,
// codes cut at the strip's end, codes that run out) expand exactly as a
// plain byte-by-byte reading of the codes does.
TEST(PackBits, RandomStripsExpandAsTheCodesSay)
{
    uint32_t seed = 7;
    auto next = [&seed] { return (seed = seed * 1103515245u + 12345u) >> 16; };
    for (int round = 0; round < 300; ++round) {
        std::vector<uint8_t> codes;
        const int count = 1 + int(next() % 40);
        for (int c = 0; c < count; ++c) {
            const uint32_t kind = next() % 5;
            if (kind == 0) {
                codes.push_back(0x80);
            } else if (kind < 3) {
                const int len = 1 + int(next() % 128);
                codes.push_back(uint8_t(len - 1));
                for (int j = 0; j < len; ++j) codes.push_back(uint8_t(next()));
            } else {
                codes.push_back(uint8_t(257 - (2 + next() % 127)));
                codes.push_back(uint8_t(next()));
            }
        }
        if (round % 7 == 0) codes.resize(codes.size() - 1 - next() % std::min<size_t>(codes.size(), 20));
        // The plain reading, and how many bytes it gives before the codes end.
        std::vector<uint8_t> plain;
        bool complete = true;
        for (size_t i = 0; i < codes.size();) {
            const uint8_t c = codes[i++];
            if (c < 128) {
                if (codes.size() - i < size_t(c) + 1) {
                    complete = false;
                    break;
                }
                plain.insert(plain.end(), codes.begin() + long(i), codes.begin() + long(i + c + 1));
                i += c + 1;
            } else if (c > 128) {
                if (i >= codes.size()) {
                    complete = false;
                    break;
                }
                plain.insert(plain.end(), size_t(257 - c), codes[i++]);
            }
        }
        for (int64_t n : {int64_t(plain.size()), int64_t(plain.size()) - int64_t(next() % 300), int64_t(plain.size()) + 1}) {
            if (n <= 0) continue;
            std::vector<uint8_t> out(size_t(n), 0xEE);
            const bool ok = PackBitsExpand(codes.data(), int64_t(codes.size()), out.data(), n, 0);
            if (n <= int64_t(plain.size()) && (complete || n < int64_t(plain.size()))) {
                // Enough codes (a code that passes n is cut there).
                ASSERT_TRUE(ok) << "round " << round << " n " << n;
                EXPECT_TRUE(std::equal(out.begin(), out.end(), plain.begin())) << "round " << round << " n " << n;
            } else if (n > int64_t(plain.size())) {
                EXPECT_FALSE(ok) << "round " << round << " n " << n;
            }
        }
    }
}

// Runs a decoder over `code` into a one-byte-per-pixel image, top row first.
std::vector<uint8_t> Decode(int compression, int precision, int width, int height, const std::vector<uint8_t>& code,
                            int* rc)
{
    Env env;
    IPIATTRIBUTE sa[] = {{"xDimension", width}, {"yDimension", height}, {"repository", 9},
                         {"applicationAddressSpace", reinterpret_cast<IPIVALUE>(code.data())},
                         {"size", IPIVALUE(code.size())}, {"compression", compression}, {"dataPrecision", precision}};
    IPIOBJECT* src = ipiCreateGenericImage(env.e, "src", nullptr, sa, 7);
    src->flags |= ipiFlagInited;
    IPIATTRIBUTE ta[] = {{"xDimension", width}, {"yDimension", height}, {"repository", 223}};
    IPIOBJECT* dst = ipiCreateGenericImage(env.e, "dst", nullptr, ta, 3);
    *rc = ipiDecompress(env.e, src, dst);
    std::vector<uint8_t> out(size_t(width * height));
    IPISTORE* s = ipiOpenDataStore(env.e, dst, "r", 1);
    ipiReadFileAtMost(env.e, s, 0, out.data(), int64_t(out.size()));
    ipiCloseDataStore(env.e, s);
    return out;
}

TEST(RasterDecoders, BmpRunLengthAndPackBits)
{
    struct Case {
        const char* what;
        int compression, precision, width, height;
        std::vector<uint8_t> code, pixels;
        int rc;
    } cases[] = {
        {"rle8 run", 234, 8, 4, 1, {3, 7, 1, 9, 0, 0, 0, 1}, {7, 7, 7, 9}, 0},
        {"rle8 absolute with pad", 234, 8, 4, 1, {0, 3, 1, 2, 3, 0, 1, 5, 0, 1}, {1, 2, 3, 5}, 0},
        {"rle4 run", 234, 4, 3, 1, {3, 0x12, 0, 1}, {1, 2, 1}, 0},
        {"rle4 absolute", 234, 4, 6, 1, {0, 5, 0x12, 0x34, 0x50, 0, 1, 0x90, 0, 1}, {1, 2, 3, 4, 5, 9}, 0},
        // Two pixels, then a delta (2, 1): column 4 of the next row (top row is last).
        {"delta", 234, 8, 6, 2, {2, 1, 0, 2, 2, 1, 1, 8, 0, 1}, {0, 0, 0, 0, 8, 0, 1, 1, 0, 0, 0, 0}, 0},
        // Codes that stop before the picture is complete leave a row no code gave.
        {"ends early", 234, 8, 2, 2, {2, 5}, {0, 0, 5, 5}, 22},
        {"ends with the last row", 234, 8, 2, 2, {2, 5, 0, 0, 2, 6}, {6, 6, 5, 5}, 0},
        {"one byte", 234, 8, 2, 1, {2}, {0, 0}, 22},
        {"packbits", 156, 8, 6, 1, {0xFE, 0xAA, 0x02, 0x80, 0x00, 0x2A}, {0xAA, 0xAA, 0xAA, 0x80, 0x00, 0x2A}, 0},
        {"packbits end code", 156, 8, 2, 2, {0x01, 4, 5, 0x80}, {4, 5, 0, 0}, 0},
        {"packbits short", 156, 8, 4, 1, {0x03, 1, 2}, {1, 2, 0, 0}, 22},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        int rc = -5;
        auto px = Decode(c.compression, c.precision, c.width, c.height, c.code, &rc);
        EXPECT_EQ(rc, c.rc);
        if (rc == 0) {
            EXPECT_EQ(px, c.pixels);
        }
    }
}

// Encodes one image of 8- or 4-bit samples with the BMP run-length encoder.
std::vector<uint8_t> Encode(const std::vector<uint8_t>& pixels, int width, int height, int precision)
{
    Env env;
    IPIATTRIBUTE sa[] = {{"xDimension", width}, {"yDimension", height}, {"repository", 9},
                         {"applicationAddressSpace", reinterpret_cast<IPIVALUE>(pixels.data())},
                         {"size", IPIVALUE(pixels.size())}};
    IPIOBJECT* src = ipiCreateGenericImage(env.e, "src", nullptr, sa, 5);
    src->flags |= ipiFlagInited;
    IPIATTRIBUTE ta[] = {{"xDimension", width}, {"yDimension", height}, {"repository", 223},
                         {"compression", 234}, {"dataPrecision", precision}};
    IPIOBJECT* dst = ipiCreateGenericImage(env.e, "dst", nullptr, ta, 5);
    dst->dataPrecision = precision;
    EXPECT_EQ(ipiTransferPixels(env.e, src, dst), 0);
    std::vector<uint8_t> out(size_t(dst->size));
    IPISTORE* s = ipiOpenDataStore(env.e, dst, "r", 1);
    ipiReadFileAt(env.e, s, 0, out.data(), int64_t(out.size()));
    ipiCloseDataStore(env.e, s);
    return out;
}

TEST(RasterEncoder, BmpRunLengthCodes)
{
    using V = std::vector<uint8_t>;
    EXPECT_EQ(Encode({5, 5, 5, 5, 7}, 5, 1, 8), (V{4, 5, 1, 7, 3, 0, 0, 1}));
    EXPECT_EQ(Encode({1, 2, 3, 4}, 4, 1, 8), (V{0, 4, 1, 2, 3, 4, 0, 1}));
    EXPECT_EQ(Encode({1, 2}, 2, 1, 8), (V{1, 1, 1, 2, 2, 0, 0, 1}));
    EXPECT_EQ(Encode({1, 2, 3}, 3, 1, 4), (V{0, 4, 0x12, 0x30, 4, 0, 0, 1}));
    V same(300, 9);
    V s = Encode(same, 300, 1, 8);
    EXPECT_EQ(V(s.begin(), s.begin() + 4), (V{254, 9, 46, 9}));
    V distinct(600);
    for (int i = 0; i < 600; ++i) distinct[size_t(i)] = uint8_t(i * 7 % 251 + (i / 251));
    V d = Encode(distinct, 600, 1, 8);
    EXPECT_EQ(d[1], 254);
    EXPECT_EQ(d[2 + 254 + 1], 254);
    EXPECT_EQ(d[2 * (2 + 254) + 1], 92);
    // Rows end with 0 0, the last with 0 1, and decode back to the pixels.
    V two = {1, 2, 3, 3, 3, 3, 4, 5};
    V code = Encode(two, 4, 2, 8);
    int rc = -5;
    EXPECT_EQ(Decode(234, 8, 4, 2, code, &rc), two);
    EXPECT_EQ(rc, 0);
}

TEST(DibWriter, HeaderOnlyAndUncompressedSizes)
{
    Env env;
    uint8_t px[6] = {1, 2, 3, 4, 5, 6};
    IPIATTRIBUTE a[] = {{"xDimension", 3}, {"yDimension", 2}, {"repository", 9},
                        {"applicationAddressSpace", reinterpret_cast<IPIVALUE>(px)}, {"size", 6}};
    IPIOBJECT* img = ipiCreateGenericImage(env.e, "i", nullptr, a, 5);
    img->flags |= ipiFlagInited;
    std::vector<uint8_t> out(2000, 0xEE);
    EXPECT_EQ(ipiExportDib(env.e, img, out.data(), int64_t(out.size()), 225, nullptr, 0), 0);
    EXPECT_EQ(ipiLe32(&out[2]), 54u + 1024 + 8);
    EXPECT_EQ(ipiLe32(&out[10]), 1078u);
    EXPECT_EQ(out[1078], 4);  // bottom row first
    EXPECT_EQ(out[1078 + 4], 1);
    EXPECT_EQ(ipiExportDib(env.e, img, out.data(), 1063, 271, nullptr, 0), 8);  // too small
    EXPECT_EQ(ipiExportDib(env.e, img, out.data(), 1064, 271, nullptr, 0), 0);
    img->compression = 234;
    EXPECT_EQ(ipiExportCompressed(env.e, img, out.data(), 2000, 255, nullptr, 0), 12);
}

} // namespace
