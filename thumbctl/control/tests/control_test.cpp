// The control object through its automation interface: defaults, refused
// values, index errors, names and ids, design mode, persistence, change
// notification, events from real mouse input, and object safety.
#include <QPointer>
#include <QTest>
#include <QWidget>

#include <algorithm>
#include <functional>

#include "thumbctl/control/host/eventrecorder.h"
#include "thumbctl/control/tests/control_host.h"

namespace {

using namespace ctltest;
using host::Variant;

class ControlTest : public ::testing::Test {
protected:
    ScratchRegistry reg;
    Control c;
};

TEST_F(ControlTest, Defaults)
{
    const std::vector<std::pair<const char*, Variant>> defaults = {
        {"CaptionType", S(2)},     {"DataPath", T("")},        {"DataSource", S(2)},     {"Pattern", T("*.*")},
        {"ScrollDirection", S(1)}, {"SelectLimit", L(1)},      {"SortType", S(0)},       {"ThumbnailHeight", S(60)},
        {"ThumbnailWidth", S(80)}, {"TopIndex", L(0)},         {"AutoUpdate", B(true)},  {"ListCount", L(0)},
        {"SelectedCount", L(0)},   {"Appearance", S(1)},       {"BorderStyle", S(0)},    {"BackColor", L(int32_t(0x80000005u))},
    };
    for (const auto& d : defaults) {
        const Call got = c.get(d.first);
        EXPECT_EQ(got.status, host::kOk) << d.first;
        EXPECT_EQ(got.value, d.second) << d.first << " = " << got.value.toText();
    }
    EXPECT_EQ(c.call("GetErrorCode").value, S(0));
}

TEST_F(ControlTest, OutOfRangeValuesAreRefusedAndTheOldValueKept)
{
    struct Bad {
        const char* name;
        Variant value;
    };
    const std::vector<Bad> bad = {
        {"CaptionType", S(0)},    {"CaptionType", S(6)},      {"DataSource", S(0)},      {"DataSource", S(5)},
        {"ScrollDirection", S(0)}, {"ScrollDirection", S(3)}, {"SortType", S(11)},       {"SortType", S(-1)},
        {"SelectLimit", L(-2)},   {"ThumbnailWidth", S(-1)},  {"ThumbnailHeight", S(-1)}, {"TopIndex", L(-1)},
        {"Appearance", S(2)},
    };
    auto persist = c.query<host::PersistPropertyBag>(host::kIidPersistPropertyBag);
    for (const Bad& b : bad) {
        const Variant before = c.get(b.name).value;
        const Call r = c.put(b.name, b.value);
        EXPECT_EQ(r.status, host::kException) << b.name << " " << b.value.toText();
        EXPECT_EQ(r.exception.code, host::kCtlInvalidPropertyValue) << b.name;
        if (std::string(b.name) != "Appearance") {
            EXPECT_EQ(r.exception.helpId, 201) << b.name;
            EXPECT_EQ(r.exception.description, "ﾌﾟﾛﾊﾟﾃｨの値が不正です。") << b.name;
        }
        EXPECT_EQ(r.exception.source, "THUMBNAIL.ThumbnailCtrl.1");
        EXPECT_EQ(c.get(b.name).value, before) << b.name;
        EXPECT_EQ(persist->IsDirty(), host::kFalse) << b.name;
    }
    // The edges that are accepted.
    const std::vector<std::pair<const char*, Variant>> good = {
        {"SelectLimit", L(-1)}, {"ThumbnailWidth", S(0)}, {"ThumbnailHeight", S(0)}, {"CaptionType", S(5)},
        {"DataSource", S(1)},   {"ScrollDirection", S(2)}, {"SortType", S(10)},     {"TopIndex", L(0)},
    };
    for (const auto& g : good) {
        EXPECT_EQ(c.put(g.first, g.second).status, host::kOk) << g.first;
        EXPECT_EQ(c.get(g.first).value, g.second) << g.first;
    }
}

TEST_F(ControlTest, IndexErrors)
{
    const std::vector<std::pair<const char*, int32_t>> indexed = {
        {"FileName", 0}, {"FileName", -1}, {"Key", 0}, {"Label", 0}, {"Selected", 0}, {"MultiPage", 3},
    };
    for (const auto& i : indexed) {
        const Call r = c.get(i.first, {L(i.second)});
        EXPECT_EQ(r.status, host::kException) << i.first;
        EXPECT_EQ(r.exception.code, host::kCtlInvalidPropertyValue) << i.first;
        EXPECT_EQ(r.exception.helpId, 202) << i.first;
        EXPECT_EQ(r.exception.description, "ｲﾝﾃﾞｯｸｽの値が不正です。") << i.first;
    }
    const Call put = c.put("Selected", B(true), {L(0)});
    EXPECT_EQ(put.exception.helpId, 202);
    // No selection: any number answers -1.
    const Call none = c.get("SelectedIndices", {L(5)});
    EXPECT_EQ(none.status, host::kOk);
    EXPECT_EQ(none.value, L(-1));
}

TEST_F(ControlTest, NamesIdsAndArguments)
{
    const std::vector<std::string> members = {
        "CaptionType", "DataPath", "DataSource", "ListCount", "Pattern", "ScrollDirection", "SelectLimit",
        "SelectedCount", "SortType", "ThumbnailHeight", "ThumbnailWidth", "TopIndex", "AutoUpdate", "Add", "AddDIB",
        "Cancel", "ClearSelection", "GetErrorCode", "Remove", "RemoveAll", "SelectAll", "Update", "FileName", "Key",
        "Label", "Selected", "SelectedIndices", "MultiPage"};
    for (size_t i = 0; i < members.size(); ++i) EXPECT_EQ(c.id(members[i]), int32_t(i + 1)) << members[i];
    EXPECT_EQ(c.id("datapath"), 2);
    EXPECT_EQ(c.id("THUMBNAILWIDTH"), 11);
    EXPECT_EQ(c.id("BackColor"), -501);
    EXPECT_EQ(c.id("AboutBox"), -552);
    int32_t id = 0;
    EXPECT_EQ(c.object->GetIDOfName("Frobnicate", &id), host::kUnknownName);
    EXPECT_EQ(c.object->Invoke(999, host::InvokeKind::Get, {}, nullptr, nullptr), host::kMemberNotFound);

    EXPECT_EQ(c.put("CaptionType", T("three")).status, host::kTypeMismatch);
    EXPECT_EQ(c.put("CaptionType", L(70000)).status, host::kOverflow);
    EXPECT_EQ(c.put("CaptionType", L(4)).status, host::kOk);  // a long that fits
    EXPECT_EQ(c.get("FileName").status, host::kBadParamCount);
    EXPECT_EQ(c.call("Remove").status, host::kBadParamCount);
    const Call ro = c.put("ListCount", L(3));
    EXPECT_EQ(ro.status, host::kException);
    EXPECT_EQ(ro.exception.code, host::kCtlSetNotSupported);
    // Methods set the last error to 0 and report nothing for what they ignore.
    for (const char* m : {"Cancel", "ClearSelection", "RemoveAll", "SelectAll"})
        EXPECT_EQ(c.call(m).status, host::kOk) << m;
    EXPECT_EQ(c.call("Remove", {L(5)}).status, host::kOk);
    EXPECT_EQ(c.call("GetErrorCode").value, S(0));
}

TEST_F(ControlTest, DesignModeRefusesRunTimeMembers)
{
    auto ctl = c.query<host::OleControl>(host::kIidOleControl);
    ctl->SetAmbientUserMode(false);
    for (const char* name : {"ListCount", "SelectedCount"}) {
        const Call r = c.get(name);
        EXPECT_EQ(r.status, host::kException) << name;
        EXPECT_EQ(r.exception.code, host::kCtlGetNotSupported) << name;
    }
    EXPECT_EQ(c.get("FileName", {L(0)}).exception.code, host::kCtlGetNotSupported);
    EXPECT_EQ(c.put("Selected", B(true), {L(0)}).exception.code, host::kCtlSetNotSupported);
    EXPECT_EQ(c.put("DataPath", T("/somewhere")).status, host::kOk);
    ctl->SetAmbientUserMode(true);
    EXPECT_EQ(c.get("ListCount").status, host::kOk);
}

TEST_F(ControlTest, PersistedSetVersionAndTextForm)
{
    auto persist = c.query<host::PersistPropertyBag>(host::kIidPersistPropertyBag);
    host::PropertyBag bag;
    ASSERT_EQ(persist->Save(&bag, true), host::kOk);
    const std::vector<std::pair<std::string, Variant>> expected = {
        {"_Version", L(0x10000)},  {"AutoUpdate", B(true)},   {"CaptionType", S(2)},      {"DataPath", T("")},
        {"DataSource", S(2)},      {"Pattern", T("*.*")},     {"ScrollDirection", S(1)},  {"SelectLimit", L(1)},
        {"SortType", S(0)},        {"ThumbnailHeight", S(60)}, {"ThumbnailWidth", S(80)}, {"TopIndex", L(0)},
    };
    EXPECT_EQ(bag.entries(), expected);

    // Changed values travel through the text form into a new control.
    EXPECT_EQ(c.put("DataPath", T("/data/名前 \"x\"")).status, host::kOk);
    EXPECT_EQ(c.put("SortType", S(4)).status, host::kOk);
    EXPECT_EQ(c.put("BackColor", L(0x00112233)).status, host::kOk);
    EXPECT_EQ(persist->IsDirty(), host::kOk);
    host::PropertyBag changed;
    ASSERT_EQ(persist->Save(&changed, true), host::kOk);
    EXPECT_EQ(persist->IsDirty(), host::kFalse);
    const std::string text = changed.toText();
    host::PropertyBag parsed;
    ASSERT_TRUE(parsed.fromText(text));
    EXPECT_EQ(parsed.entries(), changed.entries());

    Control other;
    auto otherPersist = other.query<host::PersistPropertyBag>(host::kIidPersistPropertyBag);
    ASSERT_EQ(otherPersist->Load(parsed), host::kOk);
    EXPECT_EQ(other.get("DataPath").value, T("/data/名前 \"x\""));
    EXPECT_EQ(other.get("SortType").value, S(4));
    EXPECT_EQ(other.get("BackColor").value, L(0x00112233));
    EXPECT_EQ(otherPersist->IsDirty(), host::kFalse);

    // Stored values are taken as they are; missing ones take their defaults.
    host::PropertyBag odd;
    odd.write("CaptionType", S(9));
    ASSERT_EQ(otherPersist->Load(odd), host::kOk);
    EXPECT_EQ(other.get("CaptionType").value, S(9));
    EXPECT_EQ(other.get("DataPath").value, T(""));

    host::PropertyBag broken;
    EXPECT_FALSE(broken.fromText("CaptionType = short twelve\n"));
}

struct Recorder : host::PropertyNotifySink {
    std::vector<int32_t> ids;
    void OnChanged(int32_t id) override { ids.push_back(id); }
};

TEST_F(ControlTest, ChangeNotificationOnlyForRealChanges)
{
    auto cp = c.query<host::ConnectionPoints>(host::kIidConnectionPoints);
    Recorder rec;
    uint32_t cookie = 0;
    ASSERT_EQ(cp->AdvisePropertyNotify(&rec, &cookie), host::kOk);
    c.put("CaptionType", S(3));
    c.put("CaptionType", S(3));  // same value
    c.put("CaptionType", S(8));  // refused
    c.put("DataPath", T(""));    // same text
    c.put("Pattern", T("*.tif;*.bmp"));
    c.put("AutoUpdate", B(false));
    EXPECT_EQ(rec.ids, (std::vector<int32_t>{1, 5, 13}));
    ASSERT_EQ(cp->UnadvisePropertyNotify(cookie), host::kOk);
    c.put("CaptionType", S(4));
    EXPECT_EQ(rec.ids.size(), 3u);
    EXPECT_EQ(cp->UnadvisePropertyNotify(cookie), host::kInvalidArg);
}

using EventLog = host::EventRecorder;

TEST_F(ControlTest, MouseEventsReachEverySinkAndSinksMayDisconnectInside)
{
    QWidget container;
    container.resize(300, 200);
    auto ctl = c.query<host::OleControl>(host::kIidOleControl);
    QWidget* window = ctl->CreateControlWindow(&container);
    ASSERT_NE(window, nullptr);
    window->setGeometry(0, 0, 300, 200);
    container.show();

    auto cp = c.query<host::ConnectionPoints>(host::kIidConnectionPoints);
    EventLog first, second;
    uint32_t a = 0, b = 0;
    ASSERT_EQ(cp->Advise(&first, &a), host::kOk);
    ASSERT_EQ(cp->Advise(&second, &b), host::kOk);
    QTest::mousePress(window, Qt::LeftButton, Qt::ShiftModifier, QPoint(40, 30));
    ASSERT_EQ(first.events.size(), 1u);
    EXPECT_EQ(first.events[0].id, host::kDispIdMouseDown);
    EXPECT_EQ(first.events[0].args, (std::vector<Variant>{S(1), S(1), L(40), L(30)}));
    EXPECT_EQ(second.events, first.events);

    // The first sink drops the second (and calls back into the control) while the event runs.
    first.onEvent = [&](int32_t, std::vector<Variant>&) {
        cp->Unadvise(b);
        c.get("CaptionType");
    };
    QTest::mouseRelease(window, Qt::LeftButton, Qt::NoModifier, QPoint(41, 31));
    EXPECT_EQ(first.events.size(), 2u);
    EXPECT_EQ(first.events[1].id, host::kDispIdMouseUp);
    EXPECT_EQ(second.events.size(), 1u);
    cp->Unadvise(a);
    ctl->CloseControlWindow();
    EXPECT_EQ(ctl->ControlWindow(), nullptr);
}

TEST(ControlEvents, ASinkMayReleaseTheLastReferenceInsideAnEvent)
{
    ScratchRegistry reg;
    Control c;
    QWidget container;
    auto ctl = c.query<host::OleControl>(host::kIidOleControl);
    QPointer<QWidget> window = ctl->CreateControlWindow(&container);
    window->resize(100, 100);
    container.show();
    auto cp = c.query<host::ConnectionPoints>(host::kIidConnectionPoints);
    EventLog sink;
    uint32_t cookie = 0;
    cp->Advise(&sink, &cookie);
    sink.onEvent = [&](int32_t, std::vector<Variant>&) {
        if (!c.object) return;
        cp->Unadvise(cookie);
        ctl->CloseControlWindow();
        cp.reset();
        ctl.reset();
        c.object.reset();
    };
    QTest::mouseClick(window, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
    EXPECT_FALSE(c.object);
    ASSERT_FALSE(window.isNull());  // still there while the click runs ...
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(window.isNull());  // ... and gone after it
}

TEST_F(ControlTest, ObjectSafetyPagesAndStatus)
{
    auto safety = c.query<host::ObjectSafety>(host::kIidObjectSafety);
    ASSERT_TRUE(safety);
    struct Row {
        const char* iid;
        uint32_t mask, options;
        host::Status expected;
    };
    const std::vector<Row> rows = {
        {host::kIidDispatch, 3, 3, host::kOk},        {host::kIidDispatch, 1, 1, host::kOk},
        {host::kIidDispatch, 3, 1, host::kFail},      {host::kIidDispatch, 4, 4, host::kFail},
        {host::kIidPersistPropertyBag, 2, 3, host::kOk}, {"IFrobnicate", 3, 3, host::kNoInterface},
    };
    for (const Row& r : rows)
        EXPECT_EQ(safety->SetInterfaceSafetyOptions(r.iid, r.mask, r.options), r.expected) << r.iid << r.mask << r.options;
    uint32_t supported = 0, enabled = 0;
    EXPECT_EQ(safety->GetInterfaceSafetyOptions(host::kIidDispatch, &supported, &enabled), host::kOk);
    EXPECT_EQ(supported, 3u);
    EXPECT_EQ(enabled, 3u);
    supported = enabled = 0;
    EXPECT_EQ(safety->GetInterfaceSafetyOptions("IFrobnicate", &supported, &enabled), host::kNoInterface);
    EXPECT_EQ(supported, 3u);

    auto ctl = c.query<host::OleControl>(host::kIidOleControl);
    EXPECT_EQ(ctl->MiscStatus(), 0x20191u);
    auto pages = c.query<host::SpecifyPropertyPages>(host::kIidSpecifyPropertyPages);
    std::vector<std::string> ids;
    ASSERT_EQ(pages->GetPages(&ids), host::kOk);
    ASSERT_EQ(ids.size(), 3u);
    EXPECT_EQ(ids[0], thumbctl::kPropPageClassId);
}

} // namespace
