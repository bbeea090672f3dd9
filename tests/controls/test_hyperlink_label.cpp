#include "controls/hyperlink_label.h"

#include "support/scripted_prompts.h"

#include <QApplication>
#include <QEnterEvent>
#include <QTest>

#include <gtest/gtest.h>

using kw::CHyperLinkLabel;

using namespace Qt::StringLiterals;

namespace {

void Enter(QWidget *widget)
{
    QEnterEvent event(QPointF(2, 2), QPointF(2, 2), QPointF(2, 2));
    QApplication::sendEvent(widget, &event);
}

void Leave(QWidget *widget)
{
    QEvent event(QEvent::Leave);
    QApplication::sendEvent(widget, &event);
}

TEST(HyperLinkLabel, ColoursAndUnderlineFollowThePointer)
{
    kw::ScriptedPrompts prompts;
    CHyperLinkLabel link(u"Home page"_s, prompts);
    link.SetAddress(u"https://example.com/"_s);
    EXPECT_EQ(link.toolTip(), u"https://example.com/"_s);
    EXPECT_EQ(link.textColour(), QColor(0, 0, 238));
    EXPECT_FALSE(link.isUnderlined());

    Enter(&link);
    EXPECT_EQ(link.textColour(), QColor(255, 0, 0));
    EXPECT_TRUE(link.isUnderlined());
    Leave(&link);
    EXPECT_FALSE(link.isUnderlined());

    link.SetUnderlineMode(1);
    Enter(&link);
    Leave(&link);
    EXPECT_TRUE(link.isUnderlined());
    link.SetUnderlineMode(0);
    Enter(&link);
    EXPECT_FALSE(link.isUnderlined());
    Leave(&link);

    link.SetVisited(true);
    EXPECT_EQ(link.textColour(), QColor(85, 26, 139));
}

TEST(HyperLinkLabel, ClickOpensTheAddressOrSaysWhyNot)
{
    kw::ScriptedPrompts prompts;
    CHyperLinkLabel link(u"Write to us"_s, prompts);
    link.SetAddress(u"mailto:support@example.com"_s);
    link.resize(link.sizeHint());
    QTest::mouseClick(&link, Qt::LeftButton, {}, QPoint(3, 3));
    ASSERT_EQ(prompts.openedAddresses.size(), 1);
    EXPECT_EQ(prompts.openedAddresses[0], QUrl(u"mailto:support@example.com"_s));
    EXPECT_TRUE(link.isVisited());
    EXPECT_TRUE(prompts.messages.isEmpty());

    CHyperLinkLabel broken(u"Broken"_s, prompts);
    broken.SetAddress(u"https://example.com/x"_s);
    broken.resize(broken.sizeHint());
    prompts.openAddressResult = kw::Failure{u"A sharing violation occurred. "_s};
    QTest::keyClick(&broken, Qt::Key_Return);
    ASSERT_EQ(prompts.messages.size(), 1);
    EXPECT_EQ(prompts.messages[0].text,
              u"Unable to open hyperlink:\n\nA sharing violation occurred. "_s);
    EXPECT_EQ(prompts.messages[0].icon, kw::MessageIcon::Warning);
    EXPECT_FALSE(broken.isVisited());
}

} // namespace
