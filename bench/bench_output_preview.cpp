// Frame time of the output preview on a 24-megapixel photo: panning at
// several zooms and zoom steps, each frame painted at once (repaint).
//   QT_QPA_PLATFORM=offscreen build/bench/bench_output_preview
#include "controls/user_prompts.h"
#include "dialogs/output_preview_dlg.h"
#include "render/font_mapping.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <cstdlib>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

class OnePhoto final : public kw::SourceFileStepper
{
public:
    explicit OnePhoto(QString path) : m_path(std::move(path)) {}
    QString GetCurrentSourceFile() override { return m_path; }
    QString SelectNextSourceFile() override { return {}; }
    QString SelectPreviousSourceFile() override { return {}; }

private:
    QString m_path;
};

// A 6000 x 4000 photo-like JPEG and the preview open on it at 1600 x 1000.
class OpenPreview
{
public:
    OpenPreview()
    {
        QImage photo(6000, 4000, QImage::Format_RGB32);
        for (int y = 0; y < photo.height(); ++y) {
            auto *line = reinterpret_cast<QRgb *>(photo.scanLine(y));
            for (int x = 0; x < photo.width(); ++x)
                line[x] = qRgb((x / 7 + y / 11) & 255, (x * y / 997) & 255, (x ^ y) & 255);
        }
        m_path = m_dir.filePath(u"photo.jpg"_s);
        if (!photo.save(m_path, "JPEG", 90)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(m_path));
            std::exit(1);
        }
        m_stepper = std::make_unique<OnePhoto>(m_path);
        m_dialog = std::make_unique<kw::COutputPreviewDlg>(
            kw::OutputPreviewInputs{m_dir.path(), m_dir.filePath(u"templates"_s), QString(), false},
            *m_stepper, m_prompts);
        m_dialog->setWindowState(Qt::WindowNoState);
        m_dialog->resize(1600, 1000);
        m_dialog->show();
        if (!QTest::qWaitFor([&] { return !m_dialog->isRendering(); }, 120000) ||
            m_dialog->picture().isNull()) {
            std::fprintf(stderr, "the photo did not render\n");
            std::exit(1);
        }
        m_view = m_dialog->findChild<QWidget *>(u"previewView"_s);
        std::fprintf(stderr, "view %d x %d\n", m_view->width(), m_view->height());
        m_h = m_dialog->findChild<QScrollBar *>(u"horizontalScrollBar"_s);
        m_v = m_dialog->findChild<QScrollBar *>(u"verticalScrollBar"_s);
    }

    kw::COutputPreviewDlg &dialog() { return *m_dialog; }
    QPoint centre() const { return {m_view->width() / 2, m_view->height() / 2}; }

    // One panning frame: 37 pixels across and 23 down, back to the start at the edges.
    void panFrame()
    {
        m_h->setValue(m_h->value() + 37 > m_h->maximum() ? 0 : m_h->value() + 37);
        m_v->setValue(m_v->value() + 23 > m_v->maximum() ? 0 : m_v->value() + 23);
        m_view->repaint();
    }
    void paintFrame() { m_view->repaint(); }

private:
    QTemporaryDir m_dir;
    QString m_path;
    kw::QtUserPrompts m_prompts;
    std::unique_ptr<OnePhoto> m_stepper;
    std::unique_ptr<kw::COutputPreviewDlg> m_dialog;
    QWidget *m_view = nullptr;
    QScrollBar *m_h = nullptr;
    QScrollBar *m_v = nullptr;
};

OpenPreview &Preview()
{
    static OpenPreview preview;
    return preview;
}

// Panning at zoom state.range(0) / 6 (2 = 1:3, 6 = 1:1, 12 = 2:1).
void BM_PanFrame(benchmark::State &state)
{
    OpenPreview &preview = Preview();
    preview.dialog().setZoom(double(state.range(0)) / 6, preview.centre());
    preview.paintFrame(); // makes the halvings this zoom draws from
    for (auto _ : state)
        preview.panFrame();
}
BENCHMARK(BM_PanFrame)->Arg(2)->Arg(3)->Arg(6)->Arg(12)->Unit(benchmark::kMillisecond);

// A zoom step about the centre and its frame, through the steps from 1:8 to 8:1.
void BM_ZoomFrame(benchmark::State &state)
{
    OpenPreview &preview = Preview();
    const auto &steps = kw::COutputPreviewDlg::kZoomSteps;
    for (double zoom : steps) { // every halving made once, as a first zoom-out makes it
        preview.dialog().setZoom(zoom, preview.centre());
        preview.paintFrame();
    }
    size_t i = 1;
    for (auto _ : state) {
        preview.dialog().setZoom(steps[i], preview.centre());
        preview.paintFrame();
        i = i + 1 < steps.size() ? i + 1 : 1;
    }
}
BENCHMARK(BM_ZoomFrame)->Unit(benchmark::kMillisecond);

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
