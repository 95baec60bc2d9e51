// The main and units windows through assistive technology and the keyboard:
// window roles, figures read with their captions, no code names, and a
// mnemonic of its own for every button, worked by a real Alt key press.
#include "gui_fixture.h"

#include "platform/accessibility.h"
#include "testsupport/accessible_names.h"

#include <QAccessible>
#include <QTest>

using namespace guitest;

namespace {

// The main window active, as it is under a window manager, so that its
// mnemonics answer.
void Activate(QWidget& window)
{
    window.show();
    window.activateWindow();
    QApplication::setActiveWindow(&window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window, testsupport::kHangMs));
}

} // namespace

TEST_F(GuiTest, ReaderHearsWindowsAndFiguresWithTheirCaptions)
{
    platform::InstallAccessibility();
    const std::string img = dir.file("Part1_ph.tif");
    WritePhaseTiff(img, 80, 60, 0.5);
    ASSERT_EQ(gui::StartupResult::Running, gui::RunStartup(img, hooks));
    EXPECT_EQ(QAccessible::Dialog, testsupport::AccessibleRole(&gui::frmUnits()));
    EXPECT_EQ("Sorvanta Setup", testsupport::AccessibleName(&gui::frmUnits()));
    EXPECT_EQ("", testsupport::UnreadableControls(&gui::frmUnits()));
    EXPECT_EQ("", testsupport::MnemonicFaults(&gui::frmUnits()));
    gui::frmUnits().cmdOK->click();

    auto& main = gui::frmAnalysis();
    EXPECT_EQ(QAccessible::Window, testsupport::AccessibleRole(&main));
    QTest::mouseClick(main.cmdUnwrap, Qt::LeftButton);
    ASSERT_FALSE(main.lblMaxZValue->text().isEmpty()) << Messages();

    const std::string units = " " + model::files.ZUnits;
    EXPECT_EQ("Max Z " + main.lblMaxZValue->text().toStdString() + units,
              testsupport::ReadWithCaption(main.lblMaxZValue));
    EXPECT_EQ("Min Z " + main.lblMinZValue->text().toStdString() + units,
              testsupport::ReadWithCaption(main.lblMinZValue));
    EXPECT_EQ(main.lblCoplanarity->text().toStdString() + " " + main.lblCoplanarityData->text().toStdString() + units,
              testsupport::ReadWithCaption(main.lblCoplanarityData));
    EXPECT_EQ("Width (X)", testsupport::LabelledBy(main.txtSampleWidth));
    EXPECT_EQ("Grating (lpi)", testsupport::LabelledBy(main.cmbGrating));

    // Names are the captions as shown, trimmed; hidden helpers carry none.
    EXPECT_EQ("Displacement Calculated", testsupport::AccessibleName(main.cmdUnwrap));
    EXPECT_EQ("Calculate Parameters", testsupport::AccessibleName(main.cmdParameters));
    EXPECT_EQ("", testsupport::UnreadableControls(&main));
    EXPECT_EQ("", testsupport::CodeNamedElements(&main));
}

TEST_F(GuiTest, EveryCommandHasItsOwnMnemonicAndAltWorksIt)
{
    const std::string img = dir.file("Part1_ph.tif");
    WritePhaseTiff(img, 80, 60, 0.5);
    StartAndConfirm(img);
    auto& main = gui::frmAnalysis();
    EXPECT_EQ("", testsupport::MnemonicFaults(&main, true));   // BMP and partition controls too
    gui::FrmDisplayConflict conflict;
    EXPECT_EQ("", testsupport::MnemonicFaults(&conflict));

    Activate(main);
    QTest::keyClick(&main, Qt::Key_C, Qt::AltModifier);   // the button shows itself pressed, then clicks
    testsupport::WaitUntil([&] { return !main.lblMaxZValue->text().isEmpty(); });
    EXPECT_EQ("Displacement Calculated", testsupport::Caption(main.cmdUnwrap)) << Messages();
    EXPECT_FALSE(main.lblMaxZValue->text().isEmpty());
    EXPECT_EQ("", testsupport::MnemonicFaults(&main));   // the new caption keeps its key

    // A caption's mnemonic takes the focus to its box.
    QTest::keyClick(&main, Qt::Key_W, Qt::AltModifier);
    EXPECT_EQ(main.txtSampleWidth, QApplication::focusWidget());
}
