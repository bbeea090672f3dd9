#include "dialogs/output_preview_dlg.h"

#include "model/layer_file.h"
#include "model/template_library.h"
#include "render/jpeg_keep_original.h"
#include "render/loaded_template.h"
#include "render/photo_test_files.h"
#include "support/scripted_prompts.h"
#include "support/test_sandbox.h"

#include <QDir>
#include <QLabel>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QWheelEvent>

#include <gtest/gtest.h>

using kw::COutputPreviewDlg;

using namespace Qt::StringLiterals;

namespace {

// The source list as the preview sees it: rows and a selection.
class FakeSourceList : public kw::SourceFileStepper
{
public:
    QStringList rows;
    int selected = -1;

    QString GetCurrentSourceFile() override
    {
        if (rows.isEmpty())
            return {};
        if (selected < 0)
            selected = 0;
        return rows[selected];
    }
    QString SelectNextSourceFile() override { return step(+1); }
    QString SelectPreviousSourceFile() override { return step(-1); }
    int CurrentSourcePosition() override { return selected; }

private:
    QString step(int direction)
    {
        GetCurrentSourceFile();
        const int next = selected + direction;
        if (next < 0 || next >= rows.size())
            return {};
        selected = next;
        return rows[selected];
    }
};

// Every pixel tells where it is, so a painted view shows which part it holds.
QImage PositionImage(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgb(x & 255, y & 255, ((x >> 8) << 4) | (y >> 8)));
    return image;
}

struct Fixture
{
    kw::test::TestSandbox sandbox;
    FakeSourceList sources;
    kw::ScriptedPrompts prompts;
    bool resizeJustThisTime = false;

    QString addPng(const QString &name, QSize size)
    {
        const QString path = sandbox.filePath(name);
        EXPECT_TRUE(PositionImage(size.width(), size.height()).save(path, "PNG"));
        sources.rows << path;
        return path;
    }

    std::unique_ptr<COutputPreviewDlg> open()
    {
        auto dialog = std::make_unique<COutputPreviewDlg>(
            kw::OutputPreviewInputs{sandbox.path(), sandbox.filePath(u"templates"_s), QString(),
                                    resizeJustThisTime},
            sources, prompts);
        dialog->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
        waitForPicture(*dialog);
        return dialog;
    }

    static void waitForPicture(COutputPreviewDlg &dialog)
    {
        EXPECT_TRUE(QTest::qWaitFor([&] { return !dialog.isRendering(); }, 20000));
    }
};

QScrollBar *Bar(COutputPreviewDlg &dialog, const char *name)
{
    return dialog.findChild<QScrollBar *>(QString::fromLatin1(name));
}

QSize ViewSize(COutputPreviewDlg &dialog)
{
    return dialog.findChild<QWidget *>(u"previewView"_s)->contentsRect().size();
}

// The picture pixel shown at the view's top-left corner.
QRgb ShownAtOrigin(COutputPreviewDlg &dialog)
{
    QWidget *view = dialog.findChild<QWidget *>(u"previewView"_s);
    return view->grab().toImage().pixel(view->contentsRect().topLeft()) & 0xffffff;
}

TEST(OutputPreview, StepsThroughTheListAndSaysWhenItEnds)
{
    Fixture f;
    f.addPng(u"a.png"_s, {300, 200});
    f.addPng(u"b.png"_s, {310, 200});
    f.addPng(u"c.png"_s, {320, 200});
    auto dialog = f.open();
    EXPECT_EQ(f.sources.selected, 0);
    EXPECT_EQ(dialog->picture().width(), 300);
    EXPECT_EQ(dialog->findChild<QLabel *>(u"pathLabel"_s)->toolTip(), f.sources.rows[0]);
    // No template: the bare photo, and the dialog says so.
    EXPECT_TRUE(dialog->findChild<QLabel *>(u"noTemplateNote"_s)->isVisible());

    QTest::mouseClick(dialog->findChild<QWidget *>(u"previousButton"_s), Qt::LeftButton);
    ASSERT_EQ(f.prompts.messages.size(), 1);
    EXPECT_EQ(f.prompts.messages[0].text, u"This is the first one."_s);
    EXPECT_EQ(f.prompts.messages[0].icon, kw::MessageIcon::Information);
    EXPECT_EQ(f.sources.selected, 0);

    // Two quick steps: only the last photo ends up shown.
    QWidget *next = dialog->findChild<QWidget *>(u"nextButton"_s);
    QTest::mouseClick(next, Qt::LeftButton);
    QTest::mouseClick(next, Qt::LeftButton);
    Fixture::waitForPicture(*dialog);
    EXPECT_EQ(f.sources.selected, 2);
    EXPECT_EQ(dialog->currentPath(), f.sources.rows[2]);
    EXPECT_EQ(dialog->picture().width(), 320);
    QTest::qWait(50); // a stale render must not replace it
    EXPECT_EQ(dialog->picture().width(), 320);

    QTest::mouseClick(next, Qt::LeftButton);
    ASSERT_EQ(f.prompts.messages.size(), 2);
    EXPECT_EQ(f.prompts.messages[1].text, u"This is the last one."_s);
    EXPECT_EQ(f.sources.selected, 2);

    // Coming back to a photo already rendered shows it without rendering.
    dialog->OnPrevious();
    Fixture::waitForPicture(*dialog);
    EXPECT_EQ(dialog->picture().width(), 310);
    const int renders = dialog->renderCount();
    dialog->OnNext();
    EXPECT_FALSE(dialog->isRendering());
    EXPECT_EQ(dialog->picture().width(), 320);
    EXPECT_EQ(dialog->renderCount(), renders);
}

TEST(OutputPreview, ScrollRangesFollowTheShownPicture)
{
    Fixture f;
    // Stored 1600 x 1200 with orientation 6: shown upright as 1200 x 1600.
    const QString turned = f.sandbox.filePath(u"turned.jpg"_s);
    ASSERT_TRUE(kw::test::WriteFileBytes(
        turned, kw::test::WithOrientation(
                    kw::test::Encode(kw::test::QuadrantImage(1600, 1200), "jpeg"), 6)));
    f.sources.rows << turned;
    f.addPng(u"small.png"_s, {100, 80});
    f.addPng(u"wide.png"_s, {3000, 150});
    auto dialog = f.open();
    const QSize view = ViewSize(*dialog);
    ASSERT_LT(view.width(), 1200);
    ASSERT_LT(view.height(), 1200);

    QScrollBar *h = Bar(*dialog, "horizontalScrollBar");
    QScrollBar *v = Bar(*dialog, "verticalScrollBar");
    EXPECT_EQ(dialog->picture().size(), QSize(1200, 1600));
    EXPECT_EQ(h->maximum(), 1200 - view.width());
    EXPECT_EQ(v->maximum(), 1600 - view.height());
    EXPECT_TRUE(h->isEnabled() && v->isEnabled());
    EXPECT_EQ(h->pageStep(), 0);

    dialog->OnNext(); // smaller than the view: nothing to scroll
    Fixture::waitForPicture(*dialog);
    EXPECT_EQ(h->maximum(), 0);
    EXPECT_EQ(v->maximum(), 0);
    EXPECT_FALSE(h->isEnabled() || v->isEnabled());

    dialog->OnNext(); // wider only
    Fixture::waitForPicture(*dialog);
    EXPECT_EQ(h->maximum(), 3000 - view.width());
    EXPECT_FALSE(v->isEnabled());

    // The resizing setting applies: 3000 x 150 to 600 wide is 600 x 30.
    ASSERT_TRUE(kw::test::WriteFileBytes(f.sandbox.filePath(u"resizing_config.ini"_s),
                                         "[General]\r\nScaleType=1\r\nTargetWidth=600\r\n"
                                         "ResizeEveryTime=1\r\n"));
    dialog->OnPrevious();
    dialog->OnNext();
    Fixture::waitForPicture(*dialog);
    EXPECT_EQ(dialog->picture().size(), QSize(600, 30));
}

TEST(OutputPreview, PansByLineStepsAndByDragging)
{
    Fixture f;
    f.addPng(u"big.png"_s, {2400, 1800});
    auto dialog = f.open();
    QScrollBar *h = Bar(*dialog, "horizontalScrollBar");
    QScrollBar *v = Bar(*dialog, "verticalScrollBar");
    EXPECT_EQ(ShownAtOrigin(*dialog), PositionImage(1, 1).pixel(0, 0) & 0xffffff);

    h->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    v->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    v->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(dialog->scrollPosition(), QPoint(2, 4));
    h->triggerAction(QAbstractSlider::SliderPageStepAdd); // the shaft does nothing
    EXPECT_EQ(dialog->scrollPosition(), QPoint(2, 4));
    h->triggerAction(QAbstractSlider::SliderSingleStepSub);
    EXPECT_EQ(dialog->scrollPosition(), QPoint(0, 4));
    h->triggerAction(QAbstractSlider::SliderToMaximum);
    EXPECT_EQ(dialog->scrollPosition().x(), h->maximum());
    // The view shows the picture from the scroll position.
    const QPoint at = dialog->scrollPosition();
    EXPECT_EQ(ShownAtOrigin(*dialog), dialog->picture().pixel(at) & 0xffffff);

    // Dragging 30 pixels to the right moves the view 30 pixels left.
    h->setValue(100);
    v->setValue(50);
    QWidget *view = dialog->findChild<QWidget *>(u"previewView"_s);
    const QPoint start(200, 200);
    QTest::mousePress(view, Qt::LeftButton, {}, start);
    QTest::mouseMove(view, start + QPoint(10, 0));
    QTest::mouseMove(view, start + QPoint(30, 5));
    QTest::mouseRelease(view, Qt::LeftButton, {}, start + QPoint(30, 5));
    EXPECT_EQ(dialog->scrollPosition(), QPoint(70, 45));
    EXPECT_EQ(ShownAtOrigin(*dialog), dialog->picture().pixel(70, 45) & 0xffffff);

    // ... but not past the picture's edge.
    h->setValue(10);
    QTest::mousePress(view, Qt::LeftButton, {}, start);
    QTest::mouseMove(view, start + QPoint(30, 0));
    QTest::mouseRelease(view, Qt::LeftButton, {}, start + QPoint(30, 0));
    EXPECT_EQ(dialog->scrollPosition().x(), 0);
    QTest::mouseMove(view, start + QPoint(60, 0)); // released: no more panning
    EXPECT_EQ(dialog->scrollPosition().x(), 0);
    EXPECT_EQ(dialog->renderCount(), 1);
}

TEST(OutputPreview, FitShowsTheWholePictureWithoutRendering)
{
    Fixture f;
    const QString path = f.sandbox.filePath(u"quadrants.png"_s);
    ASSERT_TRUE(kw::test::QuadrantImage(4000, 3000).save(path, "PNG"));
    f.sources.rows << path;
    auto dialog = f.open();
    QScrollBar *h = Bar(*dialog, "horizontalScrollBar");
    h->setValue(40);
    EXPECT_FALSE(dialog->isFitToView());

    QTest::mouseClick(dialog->findChild<QWidget *>(u"fitButton"_s), Qt::LeftButton);
    EXPECT_TRUE(dialog->isFitToView());
    EXPECT_FALSE(h->isEnabled());
    EXPECT_EQ(dialog->scrollPosition(), QPoint(0, 0));
    QWidget *view = dialog->findChild<QWidget *>(u"previewView"_s);
    const QImage shown = view->grab().toImage();
    const QRect area = view->contentsRect();
    // All four quadrants are in view, each in its own corner of the view.
    const QSize fitted = QSize(4000, 3000).scaled(area.size(), Qt::KeepAspectRatio);
    const QPoint origin = area.topLeft() + QPoint((area.width() - fitted.width()) / 2,
                                                  (area.height() - fitted.height()) / 2);
    const QImage placed = shown.copy(QRect(origin, fitted));
    EXPECT_EQ(kw::test::Corners(placed), (std::array<int, 4>{0, 1, 2, 3}));

    QTest::mouseClick(dialog->findChild<QWidget *>(u"fitButton"_s), Qt::LeftButton);
    EXPECT_FALSE(dialog->isFitToView());
    EXPECT_EQ(h->maximum(), 4000 - area.width());
    EXPECT_EQ(dialog->renderCount(), 1);
}

TEST(OutputPreview, UnreadablePhotosAndAnEmptyList)
{
    Fixture f;
    const QString broken = f.sandbox.filePath(u"broken.jpg"_s);
    ASSERT_TRUE(kw::test::WriteFileBytes(broken, "\xFF\xD8\xFF\xE0 not really a JPEG"));
    f.sources.rows << broken;
    auto dialog = f.open();
    EXPECT_TRUE(dialog->picture().isNull());
    EXPECT_FALSE(dialog->renderError().isEmpty());
    EXPECT_FALSE(Bar(*dialog, "horizontalScrollBar")->isEnabled());
    EXPECT_FALSE(Bar(*dialog, "verticalScrollBar")->isEnabled());

    Fixture empty;
    auto nothing = empty.open();
    EXPECT_TRUE(nothing->currentPath().isEmpty());
    EXPECT_EQ(nothing->renderCount(), 0);
    nothing->OnNext();
    EXPECT_EQ(empty.prompts.messageTexts(), QStringList{u"This is the last one."_s});
}

} // namespace

namespace {

TEST(OutputPreview, ShowsTheKeptJpegInThatMode)
{
    Fixture f;
    const QString templates = f.sandbox.filePath(u"templates"_s);
    ASSERT_TRUE(kw::SeedFirstRun(templates).ok());
    ASSERT_TRUE(kw::CreateDefaultPreferences(f.sandbox.path(), [] { return u"/out"_s; }));
    const QString path = f.sandbox.filePath(u"turned.jpg"_s);
    ASSERT_TRUE(kw::test::WriteFileBytes(
        path, kw::test::WithOrientation(
                  kw::test::Encode(kw::test::PhotoLikeImage(240, 160), "jpeg", 80), 6)));
    f.sources.rows << path;
    const auto shown = [&] {
        COutputPreviewDlg dialog(kw::OutputPreviewInputs{f.sandbox.path(), templates,
                                                         kw::kFirstRunTemplateName.toString(),
                                                         false},
                                 f.sources, f.prompts);
        dialog.show();
        Fixture::waitForPicture(dialog);
        EXPECT_FALSE(dialog.findChild<QLabel *>(u"noTemplateNote"_s)->isVisible());
        return dialog.picture().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    };
    const QImage usual = shown();
    ASSERT_TRUE(
        kw::SaveJpegOutputSetting(f.sandbox.path(), {kw::JpegOutputMode::KeepOriginal, false}));
    const QImage kept = shown();
    const kw::Result<kw::SharedTemplate> mark =
        kw::LoadTemplateForRender(templates, kw::kFirstRunTemplateName.toString());
    ASSERT_TRUE(mark) << mark.error().toStdString();
    const kw::Result<QImage> expected = kw::RenderKeepingOriginalJpeg(path, **mark, false);
    ASSERT_TRUE(expected) << expected.error().toStdString();
    EXPECT_EQ(kept.size(), QSize(160, 240)); // upright
    EXPECT_EQ(kept, *expected);
    EXPECT_NE(kept, usual); // the quality-98 render is not what is shown
    EXPECT_LT(kw::test::MeanAbsDiff(kept, usual), 3.0);

    // A template that cannot be read shows no picture, never the photo
    // without its watermark.
    ASSERT_TRUE(QDir(templates).removeRecursively());
    EXPECT_TRUE(shown().isNull());
}

// The counter variable follows the row: one photo listed twice shows the
// number of each row, as the batch draws it.
TEST(OutputPreview, TheCounterIsTheRowsPosition)
{
    Fixture f;
    const QString templates = f.sandbox.filePath(u"templates"_s);
    ASSERT_TRUE(kw::SeedFirstRun(templates).ok());
    const QString layerName = u"Demo 1_Layer 1"_s;
    kw::CWatermarkConf layer;
    ASSERT_TRUE(kw::LoadLayerConf(templates, layerName, layer));
    layer.textContent = u"#{counter:2}"_s;
    ASSERT_TRUE(kw::SaveLayerConf(templates, layerName, layer));
    const QString path = f.addPng(u"a.png"_s, {300, 200});
    f.sources.rows << path;

    COutputPreviewDlg dialog(kw::OutputPreviewInputs{f.sandbox.path(), templates, u"Demo 1"_s},
                             f.sources, f.prompts);
    dialog.show();
    Fixture::waitForPicture(dialog);
    const QImage first = dialog.picture();
    dialog.OnNext();
    Fixture::waitForPicture(dialog);
    const QImage second = dialog.picture();
    ASSERT_FALSE(first.isNull());
    EXPECT_NE(first, second);

    // "#02" written out, drawn on the same photo.
    layer.textContent = u"#02"_s;
    ASSERT_TRUE(kw::SaveLayerConf(templates, layerName, layer));
    struct Capture : kw::PreviewTarget
    {
        QSize viewSize() const override { return {800, 600}; }
        void showPreview(const QImage &, const kw::ViewPlacement &) override {}
    } capture;
    const kw::RenderOutcome literal = kw::CWatermarkRenderer::RenderWatermark(
        kw::RenderMode::OutputPreview, path, 0, 0, true,
        kw::RenderInputs{templates, u"Demo 1"_s, {}, &capture, {}});
    EXPECT_EQ(second, literal.picture);
}

} // namespace

namespace {

// The picture point a pixel of PositionImage shows.
QPoint Decode(QRgb pixel)
{
    return {(qBlue(pixel) >> 4) * 256 + qRed(pixel), (qBlue(pixel) & 15) * 256 + qGreen(pixel)};
}

// What the painted view shows at `at` (content pixels), decoded.
QPoint ShownAt(COutputPreviewDlg &dialog, QPoint at)
{
    QWidget *view = dialog.findChild<QWidget *>(u"previewView"_s);
    return Decode(view->grab().toImage().pixel(view->contentsRect().topLeft() + at));
}

void CtrlWheel(COutputPreviewDlg &dialog, QPoint at, int notches)
{
    QWidget *view = dialog.findChild<QWidget *>(u"previewView"_s);
    const QPointF pos = view->contentsRect().topLeft() + at;
    QWheelEvent wheel(pos, view->mapToGlobal(pos), QPoint(), QPoint(0, 120 * notches), Qt::NoButton,
                      Qt::ControlModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(view, &wheel);
}

TEST(OutputPreview, ZoomKeepsThePointUnderThePointer)
{
    Fixture f;
    f.addPng(u"big.png"_s, {2400, 1800});
    auto dialog = f.open();
    Bar(*dialog, "horizontalScrollBar")->setValue(400);
    Bar(*dialog, "verticalScrollBar")->setValue(350);
    const QPoint pointer(200, 150);
    const QPoint point(600, 500);
    EXPECT_EQ(dialog->pictureAt(pointer), QPointF(point));

    // Each case: what the user does, the zoom it gives.
    const struct
    {
        int notches;
        double zoom;
        int tolerance; // picture pixels: blending below 1:1 moves the decoded point
    } steps[] = {{+1, 1.5, 1}, {+1, 2, 1}, {+2, 4, 1}, {-4, 1, 0}, {-1, 2.0 / 3, 2}, {-1, 0.5, 2}};
    for (const auto &step : steps) {
        CtrlWheel(*dialog, pointer, step.notches);
        EXPECT_DOUBLE_EQ(dialog->zoom(), step.zoom);
        const QPointF under = dialog->pictureAt(pointer);
        EXPECT_NEAR(under.x(), point.x(), 1) << step.zoom;
        EXPECT_NEAR(under.y(), point.y(), 1) << step.zoom;
        const QPoint shown = ShownAt(*dialog, pointer);
        EXPECT_NEAR(shown.x(), point.x(), step.tolerance) << step.zoom;
        EXPECT_NEAR(shown.y(), point.y(), step.tolerance) << step.zoom;
    }
    EXPECT_EQ(dialog->findChild<QLabel *>(u"zoomLabel"_s)->text(), u"50 %"_s);
    // Zooming never renders the photo again.
    EXPECT_EQ(dialog->renderCount(), 1);
}

TEST(OutputPreview, KeysZoomPanAndStep)
{
    Fixture f;
    f.addPng(u"a.png"_s, {2400, 1800});
    f.addPng(u"b.png"_s, {2000, 1500});
    f.addPng(u"c.png"_s, {1800, 1200});
    auto dialog = f.open();
    QTest::keyClick(dialog.get(), Qt::Key_Plus);
    EXPECT_DOUBLE_EQ(dialog->zoom(), 1.5);
    QTest::keyClick(dialog.get(), Qt::Key_Minus);
    QTest::keyClick(dialog.get(), Qt::Key_Minus);
    EXPECT_DOUBLE_EQ(dialog->zoom(), 2.0 / 3);
    QTest::keyClick(dialog.get(), Qt::Key_0);
    EXPECT_TRUE(dialog->isFitToView());
    QTest::keyClick(dialog.get(), Qt::Key_2);
    EXPECT_FALSE(dialog->isFitToView());
    EXPECT_DOUBLE_EQ(dialog->zoom(), 2);
    QTest::mouseClick(dialog->findChild<QWidget *>(u"actualSizeButton"_s), Qt::LeftButton);
    EXPECT_DOUBLE_EQ(dialog->zoom(), 1);

    // The arrows pan by a tenth of the view, within the picture.
    const QPoint before = dialog->scrollPosition();
    QTest::keyClick(dialog.get(), Qt::Key_Right);
    QTest::keyClick(dialog.get(), Qt::Key_Down);
    const QSize view = ViewSize(*dialog);
    EXPECT_EQ(dialog->scrollPosition(), before + QPoint(view.width() / 10, view.height() / 10));

    // Stepping through the photos keeps the zoom.
    QTest::keyClick(dialog.get(), Qt::Key_PageDown);
    Fixture::waitForPicture(*dialog);
    EXPECT_EQ(f.sources.selected, 1);
    QTest::keyClick(dialog.get(), Qt::Key_End);
    Fixture::waitForPicture(*dialog);
    EXPECT_EQ(f.sources.selected, 2);
    EXPECT_EQ(dialog->picture().width(), 1800);
    QTest::keyClick(dialog.get(), Qt::Key_Left, Qt::ControlModifier);
    Fixture::waitForPicture(*dialog);
    EXPECT_EQ(f.sources.selected, 1);
    QTest::keyClick(dialog.get(), Qt::Key_Home);
    Fixture::waitForPicture(*dialog);
    EXPECT_EQ(f.sources.selected, 0);
    QTest::keyClick(dialog.get(), Qt::Key_PageUp); // the first: says so
    EXPECT_EQ(f.prompts.messageTexts(), QStringList{u"This is the first one."_s});
    EXPECT_DOUBLE_EQ(dialog->zoom(), 1);
    EXPECT_EQ(dialog->renderCount(), 3);
}

} // namespace
