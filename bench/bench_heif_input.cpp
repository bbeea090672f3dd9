// Decoding a 12-megapixel HEIC photo (4032 x 3024, a phone's size, x265 at
// quality 80, grainy like a photograph) into a working bitmap at full size,
// against libheif's own tool on the same file in the same run:
// `heif-convert photo.heic out.jpg` decodes and writes a JPEG at quality 90,
// so it is compared both with our decode alone and with our decode plus a
// JPEG encode at that quality. The tool's time includes its process start.
//   build/bench/bench_heif_input
#include "render/photo_input.h"

#include <benchmark/benchmark.h>

#include <QBuffer>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <libheif/heif.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>

using namespace Qt::StringLiterals;

namespace {

QImage GrainyPhoto(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    QRandomGenerator rng(11);
    for (int y = 0; y < height; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const double u = double(x) / width, v = double(y) / height;
            const int n = int(rng.generate() % 17) - 8;
            line[x] = qRgb(qBound(0, int(60 + 150 * u) + n, 255),
                           qBound(0, int(90 + 100 * std::sin(9 * v + 3 * u)) + n, 255),
                           qBound(0, int(120 + 80 * std::cos(6 * u * v)) + n, 255));
        }
    }
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    for (int i = 0; i < 300; ++i) {
        painter.setPen(QPen(QColor::fromRgb(rng.generate()), 1 + rng.bounded(6)));
        painter.setBrush(QColor::fromRgba(rng.generate() & 0x80ffffff));
        painter.drawEllipse(rng.bounded(width), rng.bounded(height), 20 + rng.bounded(600),
                            20 + rng.bounded(400));
    }
    return image;
}

bool WriteHeic(const QImage &picture, const QString &path)
{
    heif_context *ctx = heif_context_alloc();
    heif_image *image = nullptr;
    heif_image_create(picture.width(), picture.height(), heif_colorspace_RGB,
                      heif_chroma_interleaved_RGB, &image);
    heif_image_add_plane(image, heif_channel_interleaved, picture.width(), picture.height(), 8);
    int stride = 0;
    uint8_t *plane = heif_image_get_plane(image, heif_channel_interleaved, &stride);
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB888);
    for (int y = 0; y < rgb.height(); ++y)
        memcpy(plane + y * stride, rgb.constScanLine(y), size_t(rgb.width()) * 3);
    heif_encoder *encoder = nullptr;
    heif_context_get_encoder_for_format(ctx, heif_compression_HEVC, &encoder);
    heif_encoder_set_lossy_quality(encoder, 80);
    const heif_error e = heif_context_encode_image(ctx, image, encoder, nullptr, nullptr);
    const bool ok =
        e.code == heif_error_Ok &&
        heif_context_write_to_file(ctx, QFile::encodeName(path).constData()).code == heif_error_Ok;
    heif_encoder_release(encoder);
    heif_image_release(image);
    heif_context_free(ctx);
    return ok;
}

void BM_HeicDecodeAgainstHeifConvert(benchmark::State &state)
{
    static QTemporaryDir dir;
    static const QString path = dir.filePath(u"photo.heic"_s);
    static const bool made = WriteHeic(GrainyPhoto(4032, 3024), path);
    if (!made) {
        state.SkipWithError("cannot make the HEIC photo");
        return;
    }
    double oursMs = 0, withJpegMs = 0, toolMs = 0;
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        QProcess tool;
        tool.start(u"heif-convert"_s, {path, dir.filePath(u"out.jpg"_s)});
        if (!tool.waitForFinished(120000) || tool.exitCode() != 0) {
            state.SkipWithError("heif-convert failed");
            return;
        }
        toolMs += timer.nsecsElapsed() / 1e6;

        timer.restart();
        const kw::Result<kw::DecodedPhoto> photo = kw::LoadPhoto(path);
        const double decodeMs = timer.nsecsElapsed() / 1e6;
        if (!photo) {
            state.SkipWithError(photo.error().toStdString().c_str());
            return;
        }
        QByteArray jpeg;
        QBuffer buffer(&jpeg);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter writer(&buffer, "jpeg");
        writer.setQuality(90);
        writer.write(photo->image);
        oursMs += decodeMs;
        withJpegMs += timer.nsecsElapsed() / 1e6;
        state.SetIterationTime(decodeMs / 1000.0);
    }
    const double n = double(state.iterations());
    state.counters["ours ms"] = oursMs / n;
    state.counters["ours+jpeg ms"] = withJpegMs / n;
    state.counters["heif-convert ms"] = toolMs / n;
    state.counters["ratio"] = oursMs / toolMs;
    state.counters["ratio+jpeg"] = withJpegMs / toolMs;
}
BENCHMARK(BM_HeicDecodeAgainstHeifConvert)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(5);

} // namespace

BENCHMARK_MAIN();
