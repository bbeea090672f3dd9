#include "controls/artwork.h"
#include "controls/button_bar.h"
#include "i18n/language_file.h"

#include "support/test_sandbox.h"

#include <QApplication>
#include <QDir>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QToolTip>

#include <memory>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

using kw::CButtonBar;

QImage Solid(QColor color)
{
    QImage image(100, 20, QImage::Format_ARGB32_Premultiplied);
    image.fill(color);
    return image;
}

const QColor kNormal(200, 0, 0);
const QColor kHot(0, 200, 0);
const QColor kPressed(0, 0, 200);
const QColor kDisabled(90, 90, 90);

// A bar of three 30 x 20 buttons (commands 1, 2, 3) drawn from four
// one-colour pictures.
class ButtonBarTest : public ::testing::Test
{
protected:
    ButtonBarTest()
    {
        bar.resize(100, 20);
        bar.setBitmapImages(Solid(kNormal), Solid(kHot), Solid(kPressed), Solid(kDisabled));
        for (int i = 0; i < 3; ++i)
            bar.addButton({i + 1, QRect(i * 30, 0, 30, 20), 0, true});
        bar.show();
    }

    // The colour the bar shows at the centre of a button, and of the strip
    // past the buttons.
    QColor colorOf(int command)
    {
        const QImage image = bar.grab().toImage();
        const QPoint at = command > 0 ? bar.buttonRect(command).center() : QPoint(95, 10);
        return image.pixelColor(at * image.devicePixelRatio());
    }

    void mouse(QEvent::Type type, QPoint pos, Qt::MouseButton button = Qt::NoButton)
    {
        const Qt::MouseButtons held =
            type == QEvent::MouseButtonPress ? Qt::MouseButtons(button) : Qt::NoButton;
        QMouseEvent event(type, QPointF(pos), bar.mapToGlobal(QPointF(pos)), button,
                          type == QEvent::MouseMove ? m_held : held, Qt::NoModifier);
        if (type == QEvent::MouseButtonPress)
            m_held = button;
        if (type == QEvent::MouseButtonRelease)
            m_held = Qt::NoButton;
        QApplication::sendEvent(&bar, &event);
    }
    void press(int command)
    {
        mouse(QEvent::MouseButtonPress, bar.buttonRect(command).center(), Qt::LeftButton);
    }
    void releaseOver(int command)
    {
        mouse(QEvent::MouseButtonRelease, bar.buttonRect(command).center(), Qt::LeftButton);
    }
    void moveOver(int command) { mouse(QEvent::MouseMove, bar.buttonRect(command).center()); }

    CButtonBar bar;
    Qt::MouseButtons m_held = Qt::NoButton;
};

TEST_F(ButtonBarTest, PaintsFromTheMajorityPictureThenTheOthers)
{
    // All enabled: everything from the normal picture.
    EXPECT_EQ(colorOf(1), kNormal);
    EXPECT_EQ(colorOf(0), kNormal);

    // Two of three enabled: the bar from the normal picture, button 2 from
    // the disabled one.
    bar.enableButton(2, false);
    EXPECT_EQ(colorOf(0), kNormal);
    EXPECT_EQ(colorOf(1), kNormal);
    EXPECT_EQ(colorOf(2), kDisabled);

    // One of three: the bar from the disabled picture, button 3 from the
    // normal one.
    bar.enableButton(1, false);
    EXPECT_EQ(colorOf(0), kDisabled);
    EXPECT_EQ(colorOf(1), kDisabled);
    EXPECT_EQ(colorOf(3), kNormal);
}

TEST_F(ButtonBarTest, HotPressedAndClick)
{
    QSignalSpy clicks(&bar, &CButtonBar::commandClicked);
    moveOver(2);
    EXPECT_EQ(bar.hotCommand(), 2);
    EXPECT_EQ(colorOf(2), kHot);
    EXPECT_EQ(colorOf(1), kNormal);

    press(2);
    EXPECT_EQ(bar.pressedCommand(), 2);
    EXPECT_EQ(colorOf(2), kPressed);
    // Moving while pressed does not make another button hot.
    moveOver(3);
    EXPECT_EQ(bar.pressedCommand(), 2);
    EXPECT_EQ(colorOf(3), kNormal);
    moveOver(2);

    releaseOver(2);
    EXPECT_EQ(bar.pressedCommand(), -1);
    EXPECT_EQ(bar.hotCommand(), -1);
    // The click comes after the event, like a posted message.
    EXPECT_EQ(clicks.count(), 0);
    QCoreApplication::processEvents();
    ASSERT_EQ(clicks.count(), 1);
    EXPECT_EQ(clicks.at(0).at(0).toInt(), 2);

    // Leaving the bar clears the hot button.
    moveOver(1);
    EXPECT_EQ(bar.hotCommand(), 1);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&bar, &leave);
    EXPECT_EQ(bar.hotCommand(), -1);
}

TEST_F(ButtonBarTest, ReleaseElsewhereOrOnADisabledButtonDoesNothing)
{
    QSignalSpy clicks(&bar, &CButtonBar::commandClicked);
    press(1);
    releaseOver(3);                                                  // slid off the pressed button
    mouse(QEvent::MouseButtonPress, QPoint(95, 10), Qt::LeftButton); // past the buttons
    EXPECT_EQ(bar.pressedCommand(), -1);
    mouse(QEvent::MouseButtonRelease, QPoint(95, 10), Qt::LeftButton);

    bar.enableButton(2, false);
    moveOver(2);
    EXPECT_EQ(bar.hotCommand(), -1);
    press(2);
    EXPECT_EQ(bar.pressedCommand(), -1);
    releaseOver(2);
    EXPECT_FALSE(bar.trigger(2));
    EXPECT_FALSE(bar.trigger(42));
    QCoreApplication::processEvents();
    EXPECT_EQ(clicks.count(), 0);

    // Disabling the hot button clears it.
    moveOver(3);
    EXPECT_EQ(bar.hotCommand(), 3);
    bar.enableButton(3, false);
    EXPECT_EQ(bar.hotCommand(), -1);
    EXPECT_EQ(colorOf(3), kDisabled);

    EXPECT_TRUE(bar.trigger(1));
    QCoreApplication::processEvents();
    EXPECT_EQ(clicks.count(), 1);
}

// The language file's texts and pictures, from a data folder of the sandbox.
class LanguageBarTest : public ::testing::Test
{
protected:
    LanguageBarTest()
    {
        m_lang = m_sandbox.filePath(u"home/.local/share/kelvane-watermark/Lang"_s);
        QDir().mkpath(m_lang);
    }

    void writeLanguageFile(const QByteArray &text)
    {
        ASSERT_TRUE(kw::test::WriteFileBytes(m_lang + u"/lang_en.ini"_s, text));
    }

    kw::test::TestSandbox m_sandbox;
    QString m_lang;
};

TEST_F(LanguageBarTest, TooltipsFromTheLanguageFileOrBuiltIn)
{
    writeLanguageFile("[STRING]\r\n103=Add\\nphotos\r\n");
    const kw::LanguageFile language = kw::LanguageFile::open(kw::GetLanguageFile());
    CButtonBar bar;
    bar.resize(120, 50);
    bar.addButton({10, QRect(0, 0, 52, 50), 103, true});
    bar.addButton({11, QRect(53, 0, 60, 50), 104, false});
    bar.addButton({21, QRect(113, 0, 7, 50), 0, true});
    bar.setupTooltips(language);
    EXPECT_EQ(bar.tooltipText(10), u"Add\nphotos"_s);
    EXPECT_EQ(bar.tooltipText(11), u"Remove selected item from list"_s);
    EXPECT_EQ(bar.tooltipText(21), QString());

    // The tooltip shows over its button, also a disabled one.
    bar.show();
    QHelpEvent help(QEvent::ToolTip, QPoint(60, 10), bar.mapToGlobal(QPoint(60, 10)));
    QApplication::sendEvent(&bar, &help);
    EXPECT_EQ(QToolTip::text(), u"Remove selected item from list"_s);
    QToolTip::hideText();
}

TEST_F(LanguageBarTest, PicturesFromTheLanguageFileOrBuiltIn)
{
    QImage replacement(360, 51, QImage::Format_RGB32);
    replacement.fill(QColor(10, 20, 30));
    ASSERT_TRUE(replacement.save(m_lang + u"/../bar.png"_s));
    writeLanguageFile("[BITMAP]\r\n132=bar.png\r\n130=missing.png\r\n");
    const kw::LanguageFile language = kw::LanguageFile::open(kw::GetLanguageFile());

    const auto makeBar = [](const kw::LanguageFile *file) {
        auto bar = std::make_unique<CButtonBar>();
        bar->resize(360, 51);
        bar->addButton({10, QRect(0, 0, 52, 50), 0, true});
        bar->addButton({11, QRect(53, 0, 85, 50), 0, false});
        bar->setBitmaps(kw::kBmpToolbarNormal, kw::kBmpToolbarHot, kw::kBmpToolbarPressed,
                        kw::kBmpToolbarDisabled, file);
        bar->show();
        return bar;
    };
    const QImage shown = makeBar(&language)->grab().toImage();
    const QImage plain = makeBar(nullptr)->grab().toImage();
    const qreal ratio = shown.devicePixelRatio();
    // The normal picture is the replacement; the disabled one, whose file is
    // missing, is the built-in picture.
    EXPECT_EQ(shown.pixelColor(QPoint(5, 5) * ratio), QColor(10, 20, 30));
    const QRect disabled(QRect(53, 0, 85, 50).topLeft() * ratio, QSize(85, 50) * ratio);
    EXPECT_EQ(shown.copy(disabled), plain.copy(disabled));
    EXPECT_NE(shown.copy(QRect(0, 0, 52, 50)), plain.copy(QRect(0, 0, 52, 50)));
}

} // namespace
