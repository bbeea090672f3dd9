#include "controls/edit_with_button.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>

using kw::CEditWithButton;

namespace {

QImage Picture(QSize size, QColor color)
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(color);
    return image;
}

class EditWithButton : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_box.SetBitmaps(Picture({140, 23}, Qt::white), Picture({150, 25}, Qt::yellow));
        m_box.SetFormatRect(3, 2, 116, 23);
        m_box.SetButtonRect(117, 5, 136, 23);
        m_box.show();
    }

    void releaseAt(QPoint position) { QTest::mouseClick(&m_box, Qt::LeftButton, {}, position); }

    CEditWithButton m_box;
};

TEST_F(EditWithButton, PictureAndSizeFollowTheContent)
{
    EXPECT_EQ(m_box.size(), QSize(140, 23));
    QTest::keyClicks(&m_box, QStringLiteral("a"));
    EXPECT_EQ(m_box.size(), QSize(150, 25));
    EXPECT_EQ(m_box.currentPicture().pixelColor(0, 0), QColor(Qt::yellow));
    QTest::keyClick(&m_box, Qt::Key_Backspace);
    EXPECT_EQ(m_box.size(), QSize(140, 23));
    EXPECT_EQ(m_box.currentPicture().pixelColor(0, 0), QColor(Qt::white));
}

TEST_F(EditWithButton, ButtonNotifiesOnlyInsideItsRectangleAndWhileThereIsText)
{
    QSignalSpy clicks(&m_box, &CEditWithButton::buttonClicked);
    const QPoint onButton(125, 12);
    releaseAt(onButton);
    EXPECT_EQ(clicks.count(), 0) << "empty box";

    m_box.SetNotifyWhenEmpty(true);
    releaseAt(onButton);
    EXPECT_EQ(clicks.count(), 1) << "empty box that notifies anyway";

    m_box.SetNotifyWhenEmpty(false);
    m_box.setText(QStringLiteral("/photos/logo.png"));
    releaseAt(QPoint(50, 12));
    EXPECT_EQ(clicks.count(), 1) << "click on the text";
    releaseAt(onButton);
    EXPECT_EQ(clicks.count(), 2);
    QTest::mouseClick(&m_box, Qt::RightButton, {}, onButton);
    EXPECT_EQ(clicks.count(), 2) << "right button";
}

TEST_F(EditWithButton, TextCursorOnlyOverTheTextArea)
{
    QTest::mouseMove(&m_box, QPoint(50, 12));
    EXPECT_EQ(m_box.cursor().shape(), Qt::IBeamCursor);
    QTest::mouseMove(&m_box, QPoint(125, 12));
    EXPECT_EQ(m_box.cursor().shape(), Qt::ArrowCursor);
}

} // namespace
