#include "controls/name_dialog.h"
#include "support/scripted_prompts.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

TEST(NameDialog, ARefusedNameKeepsTheDialogOpen)
{
    kw::ScriptedPrompts prompts;
    kw::NameRequest request;
    request.caption = u"Add New Template"_s;
    request.label = u"Input Template Name:"_s;
    request.check = [](const QString &name) {
        return name.isEmpty() ? u"Please input a valid template name."_s : QString();
    };
    kw::CNameDialog dialog(request, prompts);
    dialog.show();
    EXPECT_EQ(dialog.windowTitle(), u"Add New Template"_s);
    auto *edit = dialog.findChild<QLineEdit *>(u"nameEdit"_s);
    auto *ok = dialog.findChild<QPushButton *>(u"okButton"_s);
    ASSERT_TRUE(edit && ok);

    QTest::mouseClick(ok, Qt::LeftButton);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), 0);
    ASSERT_EQ(prompts.messages.size(), 1);
    EXPECT_EQ(prompts.messages[0].text, u"Please input a valid template name."_s);
    EXPECT_EQ(prompts.messages[0].icon, kw::MessageIcon::Warning);

    QTest::keyClicks(edit, u"Logo"_s);
    QTest::mouseClick(ok, Qt::LeftButton);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.name(), u"Logo"_s);
    EXPECT_EQ(prompts.messages.size(), 1);
}

} // namespace
