#include "dialogs/quick_start_dlg.h"

#include "i18n/string_table.h"
#include "settings/preferences.h"
#include "support/scripted_prompts.h"
#include "support/test_sandbox.h"

#include <QCheckBox>
#include <QLabel>
#include <QTest>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

QString QuickStartValue(const QString &folder)
{
    const kw::PreferenceTexts found =
        kw::ReadPreferenceTexts(folder, {kw::PreferenceElement::OpenQuickStartDlg}).valueOr({});
    return found.text(kw::PreferenceElement::OpenQuickStartDlg).value_or(u"missing"_s);
}

struct Fixture
{
    kw::test::TestSandbox sandbox;
    kw::ScriptedPrompts prompts;
    Fixture()
    {
        EXPECT_TRUE(kw::CreateDefaultPreferences(sandbox.path(), [] { return u"/out"_s; }));
    }
};

TEST(QuickStartDialog, EachClickOnTheBoxIsWritten)
{
    Fixture f;
    CQuickStartDlg dialog(f.sandbox.path(), f.prompts);
    EXPECT_EQ(dialog.findChild<QLabel *>(u"templatesStepText"_s)->text(),
              kw::ResourceString(kw::kStrQuickStartTemplates));

    QCheckBox *box = dialog.findChild<QCheckBox *>(u"dontShowCheck"_s);
    ASSERT_TRUE(box);
    EXPECT_FALSE(box->isChecked());
    QTest::mouseClick(box, Qt::LeftButton);
    EXPECT_EQ(QuickStartValue(f.sandbox.path()), u"1"_s);
    QTest::mouseClick(box, Qt::LeftButton);
    EXPECT_EQ(QuickStartValue(f.sandbox.path()), u"0"_s);

    dialog.show();
    QTest::mouseClick(dialog.findChild<QWidget *>(u"thanksButton"_s), Qt::LeftButton);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_TRUE(f.prompts.messages.isEmpty());
}

} // namespace
