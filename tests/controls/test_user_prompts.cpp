#include "controls/user_prompts.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

// Asks through the Qt message box and answers with Enter, as a user in a
// hurry would; `defaultText` is the default button's text.
kw::MessageAnswer AnswerWithEnter(kw::MessageButtons buttons, QString *defaultText)
{
    kw::QtUserPrompts prompts;
    QTimer::singleShot(0, [defaultText] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        if (QPushButton *button = box->defaultButton())
            *defaultText = button->text().remove(u'&');
        QTest::keyClick(box, Qt::Key_Return);
    });
    return prompts.message(nullptr, u"Do you want to remove it?"_s, kw::MessageIcon::Question,
                           buttons);
}

TEST(QtUserPrompts, EnterAnswersNoToADestructiveQuestion)
{
    QString defaultText;
    EXPECT_EQ(AnswerWithEnter(kw::MessageButtons::YesNoDefaultNo, &defaultText),
              kw::MessageAnswer::No);
    EXPECT_EQ(defaultText, u"No"_s);

    // A question that destroys nothing keeps Yes as its default.
    EXPECT_EQ(AnswerWithEnter(kw::MessageButtons::YesNo, &defaultText), kw::MessageAnswer::Yes);
    EXPECT_EQ(defaultText, u"Yes"_s);
}

} // namespace
