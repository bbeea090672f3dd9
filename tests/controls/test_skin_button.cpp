#include "controls/skin_button.h"

#include "support/image_measure.h"

#include <QApplication>
#include <QEnterEvent>
#include <QTest>

#include <gtest/gtest.h>

using kw::CSkinButton;

using namespace Qt::StringLiterals;

namespace {

QImage Solid(QSize size, QRgb colour)
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(colour);
    return image;
}

constexpr QRgb kNormal = qRgb(10, 20, 200);
constexpr QRgb kHot = qRgb(10, 200, 20);
constexpr QRgb kPressed = qRgb(200, 20, 10);
constexpr QRgb kDisabled = qRgb(90, 90, 90);

// A button with four solid 75 x 23 pictures, sized 80 x 24.
struct Fixture
{
    CSkinButton button{u"Go"_s};
    Fixture()
    {
        const QSize size(75, 23);
        button.SetBitmaps(Solid(size, kNormal), Solid(size, kHot), Solid(size, kPressed),
                          Solid(size, kDisabled));
        button.resize(80, 24);
    }
    QRgb cornerColour() { return button.grab().toImage().pixel(1, 1) & 0xffffff; }
    void enter()
    {
        QEnterEvent event(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
        QApplication::sendEvent(&button, &event);
    }
    void leave()
    {
        QEvent event(QEvent::Leave);
        QApplication::sendEvent(&button, &event);
    }
};

TEST(SkinButton, PicturesFollowThePointerAndTheEnabledState)
{
    Fixture f;
    EXPECT_EQ(f.cornerColour(), kNormal & 0xffffff);
    f.enter();
    EXPECT_EQ(f.button.mouseState(), CSkinButton::Hot);
    EXPECT_EQ(f.cornerColour(), kHot & 0xffffff);
    QTest::mousePress(&f.button, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(f.button.mouseState(), CSkinButton::Pressed);
    EXPECT_EQ(f.cornerColour(), kPressed & 0xffffff);
    QTest::mouseRelease(&f.button, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(f.button.mouseState(), CSkinButton::Hot);
    f.leave();
    EXPECT_EQ(f.button.mouseState(), CSkinButton::Normal);

    // Disabled: the disabled picture whatever the pointer does.
    f.button.setEnabled(false);
    EXPECT_EQ(f.cornerColour(), kDisabled & 0xffffff);
    f.enter();
    EXPECT_EQ(f.cornerColour(), kDisabled & 0xffffff);
    QTest::mousePress(&f.button, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(f.cornerColour(), kDisabled & 0xffffff);

    // A checked toggle shows the pressed picture.
    Fixture toggle;
    toggle.button.setCheckable(true);
    toggle.button.setChecked(true);
    EXPECT_EQ(toggle.cornerColour(), kPressed & 0xffffff);
}

TEST(SkinButton, StretchesThePictureAndCentresAWhiteCaption)
{
    Fixture f;
    const QImage face = f.button.grab().toImage();
    ASSERT_EQ(face.size(), QSize(80, 24));
    for (const QPoint corner : {QPoint(0, 0), QPoint(79, 0), QPoint(0, 23), QPoint(79, 23)})
        EXPECT_EQ(face.pixel(corner) & 0xffffff, kNormal & 0xffffff) << corner.x() << corner.y();

    const QRect caption =
        kw::test::InkBounds(face, [](QRgb p) { return qRed(p) > 200 && qGreen(p) > 200; });
    ASSERT_FALSE(caption.isNull());
    EXPECT_NEAR(caption.center().x(), 40, 2);
    EXPECT_NEAR(caption.center().y(), 12, 2);
}

} // namespace
