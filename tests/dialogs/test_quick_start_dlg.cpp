#include "dialogs/quick_start_dlg.h"

#include "controls/user_prompts.h"
#include "i18n/string_table.h"
#include "settings/preferences.h"
#include "support/test_sandbox.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

QString QuickStartValue(const QString &folder)
{
    kw::PreferenceTexts found;
    kw::ReadPreferenceTexts(folder, {kw::PreferenceElement::OpenQuickStartDlg}, found);
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

TEST(QuickStartDialog, OpensASecondAfterTheWindowWhenAsked)
{
    Fixture f;
    QWidget window;
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(kw::ScheduleQuickStart(&window, f.sandbox.path(), f.prompts));
    // The dialog runs its own event loop: answer it from a timer inside that loop.
    qint64 openedAfter = -1;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto *shown = qobject_cast<CQuickStartDlg *>(QApplication::activeModalWidget());
        if (!shown)
            return;
        openedAfter = clock.elapsed();
        shown->findChild<QCheckBox *>(u"dontShowCheck"_s)->click();
        shown->accept();
    });
    poll.start(20);
    ASSERT_TRUE(QTest::qWaitFor([&] { return openedAfter >= 0; }, 5000));
    poll.stop();
    EXPECT_GE(openedAfter, 900);

    EXPECT_FALSE(kw::ScheduleQuickStart(&window, f.sandbox.path(), f.prompts));
}

} // namespace
