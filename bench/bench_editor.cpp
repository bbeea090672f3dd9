// The template editor from keystroke to finished preview, every text effect
// on, on the 677 x 625 sample photo and on a 24-megapixel photo of the user's.
//   QT_QPA_PLATFORM=offscreen build/bench/bench_editor
#include "controls/user_prompts.h"
#include "editor/live_preview.h"
#include "editor/preview_photo.h"
#include "editor/template_edit_dlg.h"
#include "model/layer_file.h"
#include "model/template_file.h"
#include "render/font_mapping.h"
#include "render/watermark_renderer.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QEventLoop>
#include <QFileInfo>
#include <QLineEdit>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <cstdlib>

using kw::CTemplateEditDlg;
using kw::CWatermarkConf;

using namespace Qt::StringLiterals;

namespace {

const QString kTemplate = u"Bench"_s;
const QString kLayer = u"Bench_Layer 1"_s;

CWatermarkConf EveryEffect()
{
    CWatermarkConf layer;
    kw::ApplyNewLayerDefaults(layer, u"Kelvane Watermark"_s);
    layer.BAddShadow = 1;
    layer.ShadowBR = 10;
    layer.ShadowAlpha = 30;
    layer.BDrawEdge = 1;
    layer.EdgeLineThickness = 4;
    layer.B3DText = 1;
    layer.TDTextOffset = 10;
    layer.BGradientText = 1;
    layer.BCoverImage = 1;
    return layer;
}

// A templates folder holding one template of one layer with every effect.
class BenchTemplate
{
public:
    BenchTemplate()
    {
        if (!m_dir.isValid() || !kw::CreateLayerFile(m_dir.path(), kLayer, EveryEffect()) ||
            !kw::CreateTemplateFile(m_dir.path(), kTemplate, kLayer)) {
            std::fprintf(stderr, "cannot write the template in %s\n", qPrintable(m_dir.path()));
            std::exit(1);
        }
    }
    QString folder() const { return m_dir.path(); }

    // A 6000 x 4000 JPEG beside the template, written on first use.
    QString userPhoto()
    {
        const QString path = m_dir.filePath(u"user-photo.jpg"_s);
        if (QFileInfo::exists(path))
            return path;
        QImage photo(6000, 4000, QImage::Format_RGB32);
        QPainter painter(&photo);
        QLinearGradient sky(0, 0, 6000, 4000);
        sky.setColorAt(0, QColor(30, 60, 140));
        sky.setColorAt(1, QColor(230, 160, 60));
        painter.fillRect(photo.rect(), sky);
        for (int i = 0; i < 400; ++i) {
            painter.setBrush(QColor::fromHsv(i * 37 % 360, 160, 200));
            painter.drawEllipse(QPoint(i * 7919 % 6000, i * 104729 % 4000), 60 + i % 90,
                                60 + i % 70);
        }
        painter.end();
        if (!photo.save(path, "JPEG", 90)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            std::exit(1);
        }
        return path;
    }

private:
    QTemporaryDir m_dir;
};

// The editor open on the template, its text box ready for typing.
class OpenEditor
{
public:
    explicit OpenEditor(const QString &folder, const QString &photo = {})
        : m_editor(folder, kTemplate, m_prompts)
    {
        m_editor.show();
        if (!photo.isEmpty())
            m_editor.setPreviewPhotos({photo}, 0);
        waitUntilIdle();
        m_text = m_editor.findChild<QLineEdit *>(u"textBox"_s);
        m_text->end(false);
    }

    // Types one key: "A" and Backspace by turns, so the text stays short.
    void typeKey() { QTest::keyClick(m_text, m_typed++ % 2 ? Qt::Key_Backspace : Qt::Key_A); }
    void waitUntilIdle()
    {
        kw::LivePreview &preview = m_editor.livePreview();
        if (!preview.isBusy())
            return;
        QEventLoop untilIdle;
        QObject::connect(&preview, &kw::LivePreview::idle, &untilIdle, &QEventLoop::quit);
        untilIdle.exec();
    }

private:
    kw::QtUserPrompts m_prompts; // never asked: typing asks nothing
    CTemplateEditDlg m_editor;
    QLineEdit *m_text = nullptr;
    int m_typed = 0;
};

// The keystroke alone: the record saved and a render asked for.
void BM_KeystrokeHandled(benchmark::State &state)
{
    const BenchTemplate files;
    OpenEditor editor(files.folder());
    for (auto _ : state) {
        editor.typeKey();
        state.PauseTiming();
        editor.waitUntilIdle();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_KeystrokeHandled)->Unit(benchmark::kMillisecond)->Iterations(60);

// From the keystroke until its preview is shown.
void BM_KeystrokeToPreview(benchmark::State &state)
{
    const BenchTemplate files;
    OpenEditor editor(files.folder());
    for (auto _ : state) {
        editor.typeKey();
        editor.waitUntilIdle();
    }
}
BENCHMARK(BM_KeystrokeToPreview)->Unit(benchmark::kMillisecond)->Iterations(60);

// From the keystroke until its preview is shown, on a 24-megapixel photo
// (prepared once when the editor opens, not timed).
void BM_KeystrokeToPreviewOnUserPhoto(benchmark::State &state)
{
    BenchTemplate files;
    OpenEditor editor(files.folder(), files.userPhoto());
    for (auto _ : state) {
        editor.typeKey();
        editor.waitUntilIdle();
    }
}
BENCHMARK(BM_KeystrokeToPreviewOnUserPhoto)->Unit(benchmark::kMillisecond)->Iterations(60);

// Choosing the 24-megapixel photo: decoded, resized and shrunk once.
void BM_UserPhotoPrepared(benchmark::State &state)
{
    BenchTemplate files;
    const QString photo = files.userPhoto();
    for (auto _ : state) {
        const kw::Result<kw::PreviewPhoto> prepared =
            kw::MakePreviewPhoto(photo, {}, kw::PreviewFrame::kSize);
        benchmark::DoNotOptimize(prepared.ok());
    }
}
BENCHMARK(BM_UserPhotoPrepared)->Unit(benchmark::kMillisecond)->Iterations(5);

// The render alone on the prepared 24-megapixel photo, as the preview's
// worker runs it for each keystroke (template read, mark drawn on the copy).
void BM_UserPhotoRender(benchmark::State &state)
{
    BenchTemplate files;
    const kw::Result<kw::PreviewPhoto> prepared =
        kw::MakePreviewPhoto(files.userPhoto(), {}, kw::PreviewFrame::kSize);
    if (!prepared) {
        state.SkipWithError("the photo cannot be prepared");
        return;
    }
    for (auto _ : state) {
        const auto loaded = kw::LoadTemplateForRender(files.folder(), kTemplate);
        const QImage picture = kw::DrawOnPreviewPhoto(*prepared, **loaded);
        benchmark::DoNotOptimize(picture.constBits());
    }
}
BENCHMARK(BM_UserPhotoRender)->Unit(benchmark::kMillisecond)->Iterations(60);

class PictureSink : public kw::PreviewTarget
{
public:
    QSize viewSize() const override { return kw::PreviewFrame::kSize; }
    void showPreview(const QImage &picture, const kw::ViewPlacement &) override
    {
        benchmark::DoNotOptimize(picture.constBits());
    }
};

// The render alone, as the preview runs it on its worker thread.
void BM_PreviewRender(benchmark::State &state)
{
    const BenchTemplate files;
    PictureSink sink;
    for (auto _ : state) {
        kw::CWatermarkRenderer::RenderWatermark(
            kw::RenderMode::EditorPreview, {}, 0, 0, true,
            kw::RenderInputs{files.folder(), kTemplate, {}, &sink, {}});
    }
}
BENCHMARK(BM_PreviewRender)->Unit(benchmark::kMillisecond)->Iterations(60);

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    kw::RegisterWatermarkFonts();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
