#include "dialogs/resize_setting_dlg.h"

#include "settings/resize_setting.h"
#include "support/scripted_prompts.h"
#include "support/test_sandbox.h"

#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>

#include <gtest/gtest.h>

using kw::CResizeSettingDlg;

using namespace Qt::StringLiterals;
using kw::test::ReadFileBytes;
using kw::test::WriteFileBytes;

namespace {

template <typename T>
T *Find(QWidget &parent, const QString &name)
{
    T *child = parent.findChild<T *>(name);
    EXPECT_TRUE(child) << name.toStdString();
    return child;
}

struct Fixture
{
    kw::test::TestSandbox sandbox;
    kw::ScriptedPrompts prompts;
    bool justThisTime = false;
    QString file() const { return sandbox.filePath(u"resizing_config.ini"_s); }
    std::unique_ptr<CResizeSettingDlg> open()
    {
        return std::make_unique<CResizeSettingDlg>(sandbox.path(), justThisTime, prompts);
    }
};

// The dialog in one line: the checked radio button, each field's text with
// "*" when it is enabled, and the two check boxes.
QString Describe(QWidget &dialog)
{
    QString checked = u"-"_s;
    for (const char *radio : {"scaleByWidthRadio", "scaleByHeightRadio", "scaleAbsoluteRadio"}) {
        if (Find<QRadioButton>(dialog, QString::fromLatin1(radio))->isChecked())
            checked = QString::fromLatin1(radio).remove(u"Radio"_s);
    }
    const auto field = [&](const QString &name) {
        QLineEdit *edit = Find<QLineEdit>(dialog, name);
        return edit->text() + (edit->isEnabled() ? u"*"_s : QString());
    };
    const auto box = [&](const QString &name) {
        return Find<QCheckBox>(dialog, name)->isChecked() ? u"x"_s : u"o"_s;
    };
    return u"%1 %2 %3 %4%5"_s.arg(checked, field(u"targetWidthEdit"_s),
                                  field(u"targetHeightEdit"_s), box(u"justThisTimeCheck"_s),
                                  box(u"everyTimeCheck"_s));
}

TEST(ResizeSettingDialog, OpensWithTheStoredSetting)
{
    Fixture f;
    EXPECT_EQ(Describe(*f.open()), u"scaleByWidth 800* 600 oo"_s); // no file: the defaults
    f.justThisTime = true;
    for (const auto &[scaleType, expected] :
         {std::pair{"2", u"scaleByHeight 1024 0* xx"_s}, {"9", u"- 1024* 0* xx"_s}}) {
        ASSERT_TRUE(WriteFileBytes(f.file(), QByteArray("[General]\r\nScaleType=") + scaleType +
                                                 "\r\nTargetWidth=1024\r\nTargetHeight=\r\n"
                                                 "ResizeEveryTime=1\r\n"));
        EXPECT_EQ(Describe(*f.open()), expected);
    }
}

TEST(ResizeSettingDialog, WritesOnCloseAndSetsTheRunFlag)
{
    Fixture f;
    auto dialog = f.open();
    QLineEdit *width = Find<QLineEdit>(*dialog, u"targetWidthEdit"_s);
    QLineEdit *height = Find<QLineEdit>(*dialog, u"targetHeightEdit"_s);

    QTest::mouseClick(Find<QRadioButton>(*dialog, u"scaleByHeightRadio"_s), Qt::LeftButton);
    EXPECT_EQ(Describe(*dialog), u"scaleByHeight 800 600* oo"_s);
    QTest::mouseClick(Find<QRadioButton>(*dialog, u"scaleByWidthRadio"_s), Qt::LeftButton);
    EXPECT_EQ(Describe(*dialog), u"scaleByWidth 800* 600 oo"_s);
    QTest::mouseClick(Find<QRadioButton>(*dialog, u"scaleAbsoluteRadio"_s), Qt::LeftButton);
    EXPECT_EQ(Describe(*dialog), u"scaleAbsolute 800* 600* oo"_s);

    width->clear();
    height->clear();
    QTest::keyClicks(height, u"12a-3 4"_s); // digits only
    EXPECT_EQ(height->text(), u"1234"_s);
    QTest::mouseClick(Find<QCheckBox>(*dialog, u"justThisTimeCheck"_s), Qt::LeftButton);
    QTest::keyClick(dialog.get(), Qt::Key_Escape);
    EXPECT_TRUE(f.justThisTime);
    EXPECT_EQ(ReadFileBytes(f.file()), "[General]\r\nScaleType=3\r\nTargetWidth=\r\n"
                                       "TargetHeight=1234\r\nResizeEveryTime=0\r\n");
    kw::CResizeSetting setting;
    ASSERT_TRUE(kw::LoadResizeSetting(f.sandbox.path(), setting));
    EXPECT_EQ(setting.targetWidth, 0);
    EXPECT_TRUE(f.prompts.messages.isEmpty());

    // Closing again after clearing the box turns the run flag off.
    auto again = f.open();
    EXPECT_TRUE(Find<QCheckBox>(*again, u"justThisTimeCheck"_s)->isChecked());
    QTest::mouseClick(Find<QCheckBox>(*again, u"justThisTimeCheck"_s), Qt::LeftButton);
    again.reset(); // destroyed without closing: still saved
    EXPECT_FALSE(f.justThisTime);
}

TEST(ResizeSettingDialog, LongEdgeAndNeverEnlarge)
{
    Fixture f;
    const QByteArray plain = "[General]\r\nScaleType=2\r\nTargetWidth=800\r\nTargetHeight=600\r\n"
                             "ResizeEveryTime=1\r\n";
    ASSERT_TRUE(WriteFileBytes(f.file(), plain));
    auto dialog = f.open();
    QLineEdit *longEdge = Find<QLineEdit>(*dialog, u"targetLongEdgeEdit"_s);
    QCheckBox *neverEnlarge = Find<QCheckBox>(*dialog, u"neverEnlargeCheck"_s);
    EXPECT_EQ(longEdge->text(), u"2048"_s);
    EXPECT_FALSE(longEdge->isEnabled());
    EXPECT_FALSE(neverEnlarge->isChecked());

    // The long edge takes the only enabled field; the stored scale type stays
    // for programs that do not know the long edge.
    QTest::mouseClick(Find<QRadioButton>(*dialog, u"scaleLongEdgeRadio"_s), Qt::LeftButton);
    EXPECT_EQ(Describe(*dialog), u"- 800 600 ox"_s);
    EXPECT_TRUE(longEdge->isEnabled());
    longEdge->clear();
    QTest::keyClicks(longEdge, u"1-6x00"_s);
    QTest::mouseClick(neverEnlarge, Qt::LeftButton);
    dialog->reject();
    const QByteArray withBoth = plain + "TargetLongEdge=1600\r\nNeverEnlarge=1\r\n";
    EXPECT_EQ(ReadFileBytes(f.file()), withBoth);

    // Opened again it shows them; closed unchanged it writes the same bytes.
    dialog = f.open();
    EXPECT_TRUE(Find<QRadioButton>(*dialog, u"scaleLongEdgeRadio"_s)->isChecked());
    EXPECT_EQ(Describe(*dialog), u"- 800 600 ox"_s);
    EXPECT_EQ(Find<QLineEdit>(*dialog, u"targetLongEdgeEdit"_s)->text(), u"1600"_s);
    EXPECT_TRUE(Find<QCheckBox>(*dialog, u"neverEnlargeCheck"_s)->isChecked());
    dialog->reject();
    EXPECT_EQ(ReadFileBytes(f.file()), withBoth);

    // Back to a scale type with enlarging: the file is as it was.
    dialog = f.open();
    QTest::mouseClick(Find<QRadioButton>(*dialog, u"scaleByHeightRadio"_s), Qt::LeftButton);
    EXPECT_FALSE(Find<QLineEdit>(*dialog, u"targetLongEdgeEdit"_s)->isEnabled());
    QTest::mouseClick(Find<QCheckBox>(*dialog, u"neverEnlargeCheck"_s), Qt::LeftButton);
    dialog->reject();
    EXPECT_EQ(ReadFileBytes(f.file()), plain);
    EXPECT_TRUE(f.prompts.messages.isEmpty());
}

TEST(ResizeSettingDialog, SaysWhenTheSettingCannotBeWritten)
{
    Fixture f;
    ASSERT_TRUE(QDir(f.sandbox.path()).mkdir(u"resizing_config.ini"_s));
    auto dialog = f.open();
    dialog->reject();
    ASSERT_EQ(f.prompts.messages.size(), 1);
    EXPECT_EQ(f.prompts.messages[0].icon, kw::MessageIcon::Warning);
}

} // namespace
