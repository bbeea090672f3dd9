#include "editor/text_variables_help.h"

#include <QAction>
#include <QLineEdit>
#include <QMenu>

#include <gtest/gtest.h>

using kw::AttachTextVariableHelp;

using namespace Qt::StringLiterals;

namespace {

TEST(TextVariablesHelp, WarnsOfUnknownNamesAndInsertsVariables)
{
    QLineEdit box;
    AttachTextVariableHelp(&box);
    auto *warning = box.findChild<QAction *>(u"unknownVariablesAction"_s);
    auto *menu = box.findChild<QMenu *>(u"textVariablesMenu"_s);
    ASSERT_TRUE(warning);
    ASSERT_TRUE(menu);
    EXPECT_TRUE(box.toolTip().contains(u"{counter:3}"_s));

    box.setText(u"(c) {year} {camra} {{x}} {artst|me}"_s);
    EXPECT_TRUE(warning->isVisible());
    EXPECT_TRUE(warning->toolTip().contains(u"{camra}, {artst|me}"_s))
        << warning->toolTip().toStdString();
    EXPECT_FALSE(warning->toolTip().contains(u"year"_s));

    box.setText(u"(c) "_s);
    EXPECT_FALSE(warning->isVisible());
    box.setCursorPosition(4);
    QAction *counter = nullptr;
    for (QAction *item : menu->actions()) {
        if (item->text().startsWith(u"{counter:3}"_s))
            counter = item;
    }
    ASSERT_TRUE(counter);
    counter->trigger();
    EXPECT_EQ(box.text(), u"(c) {counter:3}"_s);
    EXPECT_FALSE(warning->isVisible());
}

} // namespace
