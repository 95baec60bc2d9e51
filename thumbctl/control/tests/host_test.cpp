// The hosting layer's plain parts: value conversions as calls apply them,
// the property bag's text form with awkward texts, and a damaged registry.
#include <gtest/gtest.h>

#include "testsupport/testsupport.h"
#include "thumbctl/control/host/propertybag.h"
#include "thumbctl/control/host/registry.h"
#include "thumbctl/control/host/variant.h"

namespace {

using host::Variant;
using host::VarType;

TEST(HostValues, Conversions)
{
    struct Row {
        Variant from;
        VarType to;
        bool ok;
        bool overflow;
        Variant expected;
    };
    const std::vector<Row> rows = {
        {Variant::Long(32767), VarType::Short, true, false, Variant::Short(32767)},
        {Variant::Long(32768), VarType::Short, false, true, {}},
        {Variant::Long(-32769), VarType::Short, false, true, {}},
        {Variant::Short(-5), VarType::Long, true, false, Variant::Long(-5)},
        {Variant::Long(7), VarType::Bool, true, false, Variant::Bool(true)},
        {Variant::Bool(true), VarType::Long, true, false, Variant::Long(1)},
        {Variant::String("42"), VarType::Long, true, false, Variant::Long(42)},
        {Variant::String("4x"), VarType::Long, false, false, {}},
        {Variant::String(""), VarType::Short, false, false, {}},
        {Variant::String("99999999999"), VarType::Long, false, true, {}},
        {Variant::Long(12), VarType::String, true, false, Variant::String("12")},
        {Variant(), VarType::Long, false, false, {}},
    };
    for (size_t i = 0; i < rows.size(); ++i) {
        Variant out;
        bool overflow = false;
        EXPECT_EQ(rows[i].from.convertTo(rows[i].to, &out, &overflow), rows[i].ok) << i;
        EXPECT_EQ(overflow, rows[i].overflow) << i;
        if (rows[i].ok) {
            EXPECT_EQ(out, rows[i].expected) << i;
        }
    }
}

TEST(HostPropertyBag, TextFormKeepsAwkwardTexts)
{
    host::PropertyBag bag;
    bag.write("_Version", Variant::Long(0x10000));
    bag.write("DataPath", Variant::String("C:\\data\\\"quoted\"\nsecond line 名前"));
    bag.write("Empty", Variant());
    bag.write("Flag", Variant::Bool(false));
    bag.write("datapath", Variant::String("replaced"));  // same name, any case
    ASSERT_EQ(bag.entries().size(), 4u);
    Variant v;
    ASSERT_TRUE(bag.read("DATAPATH", &v));
    EXPECT_EQ(v, Variant::String("replaced"));
    bag.write("DataPath", Variant::String("C:\\data\\\"quoted\"\nsecond line 名前"));

    host::PropertyBag back;
    ASSERT_TRUE(back.fromText(bag.toText()));
    EXPECT_EQ(back.entries(), bag.entries());

    const std::vector<std::string> malformed = {
        "Name short 3\n", "Name = short\n", "Name = short 40000\n", "Name = boolean 2\n",
        "Name = string \"open\n", "Name = string \"bad \\q escape\"\n", "Name = colour 3\n", " = long 1\n",
    };
    for (const std::string& text : malformed) {
        std::string why;
        EXPECT_FALSE(back.fromText(text, &why)) << text;
        EXPECT_NE(why.find("line 1"), std::string::npos) << text;
        EXPECT_EQ(back.entries(), bag.entries()) << text;  // unchanged
    }
}

TEST(HostRegistry, DamagedFileMeansNothingIsRegistered)
{
    testsupport::TempDir dir("classreg-damaged");
    host::SetRegistryPath(dir.file("classes.reg"));
    testsupport::WriteBytes(dir.file("classes.reg"), {'j', 'u', 'n', 'k', '\n'});
    host::RegistryKeys keys;
    std::string why;
    EXPECT_FALSE(host::ReadRegistry(&keys, &why));
    EXPECT_NE(why.find("line 1"), std::string::npos);
    std::string classId;
    EXPECT_EQ(host::ClassIdFromProgId("THUMBNAIL.ThumbnailCtrl.1", &classId), host::kClassNotRegistered);
    // An edit refuses to overwrite a registry it cannot read.
    EXPECT_FALSE(host::EditRegistry([](host::RegistryKeys& k) {
        k["X"]["Y"] = "1";
        return true;
    }));
    EXPECT_EQ(testsupport::ReadText(dir.file("classes.reg")), "junk\n");
    host::SetRegistryPath("");
}

} // namespace
