// Partition files, domain names and the domain table.
#include "app/editor/core/domain_names.h"
#include "app/editor/core/partition_file.h"
#include "editor_test_util.h"

using namespace editor;

TEST(DomainNames, RefusedCharactersAndAutomaticNames)
{
    for (const char* bad : {"a\\b", "a/b", "c:", "*", "?", "say \"x\"", "<", ">", "a|b"})
        EXPECT_TRUE(IllegalFilenameCharacterCheck(bad)) << bad;
    for (const char* good : {"", "Left part", "wafer.1", "top-2", "Domain 001"})
        EXPECT_FALSE(IllegalFilenameCharacterCheck(good)) << good;
    EXPECT_EQ("Domain 001", AutomaticDomainName(1));
    EXPECT_EQ("Domain 012", AutomaticDomainName(12));
    EXPECT_EQ("Domain 123", AutomaticDomainName(123));
    EXPECT_EQ("Domain 1000", AutomaticDomainName(1000));
    EXPECT_EQ("A Domain Name cannot contain any of the following characters:\r\r\\ / : * ? \" < > |\r\rEnter a "
              "valid Domain Name.",
              IllegalDomainNameMessage());
    // A numeric stored name is listed by its position.
    EXPECT_EQ("Domain 3", DomainListEntry(2, "12"));
    EXPECT_EQ("Left", DomainListEntry(2, "Left"));
}

TEST(PartitionFile, TwoDomainExampleMatchesTheFixtureByteForByte)
{
    testsupport::TempDir dir;
    const std::vector<model::Domain> domains = {{10, 20, 100, 50, "Domain 001"}, {200, 20, 100, 50, "Domain 002"}};
    const std::string path = dir.file("wafer_par.txt");
    std::string err;
    ASSERT_TRUE(WritePartitionFile(path, domains, 640, 480, &err)) << err;
    EXPECT_EQ(testsupport::ReadBytes(edtest::Fixture("two_domains_par.txt")), testsupport::ReadBytes(path));

    PartitionRead r = ReadPartitionFile(path, 640, 480);
    ASSERT_EQ(PartitionRead::Ok, r.status) << r.reason;
    ASSERT_EQ(2u, r.domains.size());
    EXPECT_EQ(200, r.domains[1].Left);
    EXPECT_EQ("Domain 002", r.domains[1].Name);
}

TEST(PartitionFile, ReadRulesOfTheFields)
{
    // Fractions round half to even, a short line repeats its last field, LF
    // alone ends a line too, numeric names are kept as their number.
    PartitionRead r = ParsePartitionText("2.5\t3.5\t10\t10\t007\n4\t4\t8\n64\t48\t0\t0\t0", 64, 48);
    ASSERT_EQ(PartitionRead::Ok, r.status) << r.reason;
    ASSERT_EQ(2u, r.domains.size());
    EXPECT_EQ(2, r.domains[0].Left);
    EXPECT_EQ(4, r.domains[0].Top);
    EXPECT_EQ("7", r.domains[0].Name);
    EXPECT_EQ(8, r.domains[1].Height);
    EXPECT_EQ("8", r.domains[1].Name);
    EXPECT_EQ("Domain 2", DomainListEntry(1, r.domains[1].Name));

    PartitionRead numeric = ReadPartitionFile(edtest::Fixture("numeric_name_par.txt"), 640, 480);
    ASSERT_EQ(PartitionRead::Ok, numeric.status);
    EXPECT_EQ("Domain 1", DomainListEntry(0, numeric.domains[0].Name));
    EXPECT_EQ("Left", DomainListEntry(1, numeric.domains[1].Name));
}

TEST(PartitionFile, OtherImageSizeGivesTheSizeMessage)
{
    PartitionRead r = ReadPartitionFile(edtest::Fixture("two_domains_par.txt"), 320, 240);
    EXPECT_EQ(PartitionRead::SizeMismatch, r.status);
    EXPECT_EQ(640, r.width);
    EXPECT_EQ(480, r.height);
    EXPECT_EQ("Partition file dimensions 640 (X) x 480 (Y) do not match current phase image size.",
              PartitionSizeMessage(r.width, r.height));
}

TEST(PartitionFile, MalformedFilesAreRefusedAndMemoryStaysUnchanged)
{
    edtest::MakeCurrentImage(640, 480);
    auto& mp = model::maskPartition;
    StorePartition(mp, {{1, 2, 3, 4, "Kept"}}, 640, 480);
    mp.PartitionFile = "/earlier_par.txt";
    const model::MaskAndPartition before = mp;

    for (const char* name : {"bad_outside_par.txt", "bad_501lines_par.txt", "bad_value40000_par.txt",
                             "bad_empty_par.txt", "bad_dotdot_par.txt", "missing_par.txt"}) {
        PartitionRead r = LoadPartitionFile(edtest::Fixture(name));
        EXPECT_NE(PartitionRead::Ok, r.status) << name;
        EXPECT_FALSE(r.reason.empty()) << name;
        EXPECT_EQ(before.DomainCount, mp.DomainCount) << name;
        EXPECT_EQ(before.PartitionFile, mp.PartitionFile) << name;
        for (int i = 0; i < model::MaxDomains; ++i) {
            const model::Domain &a = before.DomainTable[size_t(i)], &b = mp.DomainTable[size_t(i)];
            ASSERT_TRUE(a.Left == b.Left && a.Top == b.Top && a.Width == b.Width && a.Height == b.Height &&
                        a.Name == b.Name)
                << name << " row " << i;
        }
    }
    // A size mismatch changes nothing either; a good file is stored.
    EXPECT_EQ(PartitionRead::Ok, LoadPartitionFile(edtest::Fixture("two_domains_par.txt")).status);
    EXPECT_EQ(3, mp.DomainCount);
    EXPECT_EQ(640, mp.DomainTable[2].Left);
    EXPECT_EQ(480, mp.DomainTable[2].Top);
}

TEST(PartitionFile, SafetyChecksOnNamesAndDomains)
{
    struct Case {
        const char* text;
        bool ok;
    } cases[] = {
        {"0\t0\t64\t48\tWhole\r\n64\t48\t0\t0\t0\r\n", true},          // touching both edges
        {"1\t0\t64\t48\tWide\r\n64\t48\t0\t0\t0\r\n", false},          // one pixel further
        {"0\t0\t0\t5\tEmpty\r\n64\t48\t0\t0\t0\r\n", false},            // no width
        {"-1\t0\t5\t5\tNeg\r\n64\t48\t0\t0\t0\r\n", false},             // left of the image
        {"0\t0\t5\t5\tsub/dir\r\n64\t48\t0\t0\t0\r\n", false},          // separator
        {"0\t0\t5\t5\ta\x01z\r\n64\t48\t0\t0\t0\r\n", false},           // control character
        {"0\t0\t5\tabc\tName\r\n64\t48\t0\t0\t0\r\n", false},           // text where a number belongs
        {"0\t0\t5\t5\tName\r\n", false},                                // the size line is missing
        {"0\t0\t5\t5\tName\r\n64\t48\t0\t0\t0\r\n\r\n", true},         // blank line at the end
        {"0\t0\t5\t5\tName\r\n64\t48\t0\t0\t0\n\n \t\n", true},         // several, one with blanks
        {"0\t0\t5\t5\tName\r\n\r\n64\t48\t0\t0\t0\r\n", false},        // a blank line inside is no size line
    };
    for (const Case& c : cases) EXPECT_EQ(c.ok, ParsePartitionText(c.text, 64, 48).status == PartitionRead::Ok) << c.text;
}

TEST(PartitionFile, OutlinesStayInsideTheImage)
{
    model::ByteMatrix img(8, 6);
    DrawOutline(img, 1, 1, 3, 2, 255);
    int lit = 0;
    for (uint8_t v : img.buffer()) lit += v == 255;
    EXPECT_EQ(6, lit);   // a 3 x 2 rectangle is all edge
    DrawOutline(img, 6, 4, 10, 10, 7);   // reaches outside: clipped, no fault
    EXPECT_EQ(7, img(7, 4));
    model::ByteMatrix src;
    src.create(8, 6, 9);
    RestoreOutline(img, src, 1, 1, 3, 2);
    EXPECT_EQ(9, img(2, 1));
}

TEST(PartitionFile, APipeOrAnEndlessFileIsNotRead)
{
    testsupport::TempDir dir("partpipe");
    const std::string fifo = dir.file("p_par.txt");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);   // no writer: a blocking read would wait for ever
    EXPECT_EQ(editor::ReadPartitionFile(fifo, 10, 10).status, editor::PartitionRead::CannotOpen);
    EXPECT_EQ(editor::ReadPartitionFile("/dev/zero", 10, 10).status, editor::PartitionRead::CannotOpen);
}
