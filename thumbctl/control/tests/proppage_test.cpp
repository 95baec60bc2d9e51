// The property pages as a user works them: the frame made from the
// control's page list, the general page's captions and lists, a choice
// written back with OK, and a size the page refuses.
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>

#include "platform/messages.h"
#include "thumbctl/control/host/proppage.h"
#include "thumbctl/control/tests/control_host.h"

namespace {

using namespace ctltest;

class PropPageTest : public ::testing::Test {
protected:
    std::unique_ptr<host::PropertyPageFrame> openFrame()
    {
        auto pages = c.query<host::SpecifyPropertyPages>(host::kIidSpecifyPropertyPages);
        std::vector<std::string> ids;
        pages->GetPages(&ids);
        auto frame = std::make_unique<host::PropertyPageFrame>("Thumbnail", c.object.get(), ids);
        frame->show();
        return frame;
    }
    static QPushButton* button(QDialog* d, QDialogButtonBox::StandardButton which)
    {
        return d->findChild<QDialogButtonBox*>()->button(which);
    }

    ScratchRegistry reg;
    Control c;
};

TEST_F(PropPageTest, FramePagesAndCaptions)
{
    c.put("SortType", S(10));
    auto frame = openFrame();
    ASSERT_EQ(frame->pageCount(), 3);
    EXPECT_EQ(frame->tabs()->tabText(0), QString::fromUtf8("全般"));
    EXPECT_EQ(frame->tabs()->tabText(1), "Font");
    EXPECT_EQ(frame->tabs()->tabText(2), "Color");
    QWidget* page = frame->page(0);
    auto* sort = page->findChild<QComboBox*>("SortType");
    ASSERT_NE(sort, nullptr);
    EXPECT_EQ(sort->count(), 11);
    EXPECT_EQ(sort->currentText(), QString::fromUtf8("ﾗﾍﾞﾙ文字列(降順)"));
    auto* source = page->findChild<QComboBox*>("DataSource");
    EXPECT_EQ(source->currentText(), QString::fromUtf8("ﾌｫﾙﾀﾞ指定"));
    QStringList labels;
    for (QLabel* l : page->findChildren<QLabel*>()) labels << l->text();
    for (const char* want : {"ｷｬﾌﾟｼｮﾝ形式(&T):", "ｿｰﾄ形式(&S):", "ﾃﾞｰﾀ指定方法(&D):", "表示対象ﾊﾟｽ(&P):", "検索条件(&C):",
                             "ｽｸﾛｰﾙ方向(&R):", "選択上限数(&M):", "初期表示番号(&I):", "幅(&W):", "高さ(&H):"})
        EXPECT_TRUE(labels.contains(QString::fromUtf8(want))) << want;
    EXPECT_FALSE(button(frame.get(), QDialogButtonBox::Apply)->isEnabled());
}

TEST_F(PropPageTest, ChoosingTheThirdCaptionEntrySetsCaptionType3)
{
    auto frame = openFrame();
    auto* caption = frame->page(0)->findChild<QComboBox*>("CaptionType");
    ASSERT_EQ(caption->currentIndex(), 1);
    caption->setFocus();
    QTest::keyClick(caption, Qt::Key_Down);
    EXPECT_EQ(caption->currentText(), QString::fromUtf8("ﾌｧｲﾙ名"));
    EXPECT_TRUE(button(frame.get(), QDialogButtonBox::Apply)->isEnabled());
    QTest::mouseClick(button(frame.get(), QDialogButtonBox::Ok), Qt::LeftButton);
    EXPECT_EQ(frame->result(), QDialog::Accepted);
    EXPECT_EQ(c.get("CaptionType").value, S(3));
}

TEST_F(PropPageTest, AWidthOfZeroIsRefusedOnThePage)
{
    platform::ScriptedMessages messages;
    auto frame = openFrame();
    auto* width = frame->page(0)->findChild<QSpinBox*>();
    ASSERT_NE(width, nullptr);
    ASSERT_EQ(width->accessibleName(), QString::fromUtf8("幅"));
    width->setFocus();
    width->selectAll();
    QTest::keyClicks(width, "0");
    ASSERT_EQ(width->text(), "0");
    QTest::mouseClick(button(frame.get(), QDialogButtonBox::Apply), Qt::LeftButton);
    ASSERT_EQ(messages.records.size(), 1u);
    EXPECT_NE(messages.records[0].text.find("1 and 32767"), std::string::npos);
    EXPECT_EQ(c.get("ThumbnailWidth").value, S(80));
    EXPECT_TRUE(frame->isVisible());
    // The property itself takes 0.
    EXPECT_EQ(c.put("ThumbnailWidth", S(0)).status, host::kOk);
}

} // namespace
