// The kernel's damaged-file sweep run through the file probe and the
// multi-page source: every damaged file gives an answer or an error code,
// never a crash, and leaves no global block behind; every page cut out of
// a damaged TIFF is one the kernel decodes or refuses cleanly.
#include <gtest/gtest.h>

#include <set>

#include "thumbctl/control/source/multipage.h"
#include "thumbctl/control/source/probe.h"
#include "thumbctl/kernel/decode.h"
#include "thumbctl/kernel/tests/damage.h"

namespace {

using namespace kdamage;

void RunProbe(thumbctl::CImageFileProbe& probe, bool ok, const std::string& where)
{
    static const std::set<int> kTypes = {101, 102, 103, 104, 106};
    if (ok) {
        EXPECT_EQ(probe.Error(), 0) << where;
        EXPECT_TRUE(kTypes.count(probe.ProbeType())) << where;
    } else {
        EXPECT_NE(probe.Error(), 0) << where;
    }
}

void RunExtractor(thumbctl::CMultiPageSource& source, const std::string& where)
{
    if (!source.ReadPageIndex(false)) {
        EXPECT_NE(source.Error(), 0) << where;
        return;
    }
    for (int p = 0; p < source.PageCount() && p < 4; ++p) {
        IPIHANDLE h = source.ExtractPage(p);
        if (!h) {
            EXPECT_NE(source.Error(), 0) << where;
            continue;
        }
        IPIHANDLE dib = 0;
        int error = -5;
        {
            IpiGlobalLock lock(h);
            ASSERT_NE(lock.ptr(), nullptr) << where;
            const int made = DecodeImageFromMemory(lock.ptr(), &dib, 1, DecodeFormatTiff, 0, lock.size(), nullptr, 0, &error);
            EXPECT_TRUE(made == 1 ? error == 0 && dib != 0 : error != 0 && dib == 0) << where;
        }
        if (dib) ipiGlobalFree(dib);
        ipiGlobalFree(h);
    }
}

TEST(SourceMutation, DamagedFilesThroughProbeAndExtractor)
{
    testsupport::TempDir dir("source-mutation");
    const std::vector<Sample> samples = AllSamples(dir);
    ASSERT_FALSE(samples.empty());
    const int liveAtStart = ipiGlobalLiveCount();
    const std::string scratch = dir.file("damaged.img");
    uint32_t seed = 20240611;
    int cases = 0;
    for (const Sample& s : samples) {
        int index = 0;
        for (const Bytes& m : Mutations(s.bytes, seed++)) {
            const std::string where = s.name + " case " + std::to_string(index);
            const bool viaFile = index++ % 5 == 0;
            thumbctl::CImageFileProbe probe;
            RunProbe(probe, probe.ProbeMemory(m.data(), int64_t(m.size())), where);
            const bool tiffLike = m.size() >= 2 && (m[0] == 'I' || m[0] == 'M');
            if (tiffLike || s.format == 4) {
                thumbctl::CMultiPageSource source;
                ASSERT_TRUE(source.OpenMemory(m.data(), int64_t(m.size())));
                RunExtractor(source, where + " memory");
            }
            if (viaFile) {
                testsupport::WriteBytes(scratch, m);
                thumbctl::CImageFileProbe fileProbe;
                RunProbe(fileProbe, fileProbe.ProbeFile(scratch), where + " file");
                EXPECT_EQ(fileProbe.Error(), probe.Error()) << where;
                if (tiffLike) {
                    thumbctl::CMultiPageSource source;
                    ASSERT_TRUE(source.Open(scratch));
                    RunExtractor(source, where + " file");
                }
            }
            ++cases;
            ASSERT_EQ(ipiGlobalLiveCount(), liveAtStart) << where;
            if (HasFailure()) return;
        }
    }
    EXPECT_GT(cases, 1000);
}

} // namespace
