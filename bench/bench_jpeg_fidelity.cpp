// How close each JPEG output mode comes to the rendered, unencoded picture:
// the mean absolute error (grey levels, all channels) over the watermark's box
// and over the whole photo, for the quality-98 path and for the mode that keeps
// the original JPEG. Not timed; bench/bench_lossless.sh runs it.
//
//   bench_jpeg_fidelity PHOTO.jpg TEMPLATES_FOLDER TEMPLATE_NAME
#include "render/jpeg_keep_original.h"
#include "render/mark_overlay.h"
#include "render/output_writer.h"
#include "render/photo_input.h"
#include "render/watermark_renderer.h"

#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

double MeanAbsError(const QImage &a, const QImage &b, const QRect &box)
{
    double sum = 0;
    for (int y = box.top(); y <= box.bottom(); ++y) {
        const auto *p = reinterpret_cast<const QRgb *>(a.constScanLine(y));
        const auto *q = reinterpret_cast<const QRgb *>(b.constScanLine(y));
        for (int x = box.left(); x <= box.right(); ++x)
            sum += std::abs(qRed(p[x]) - qRed(q[x])) + std::abs(qGreen(p[x]) - qGreen(q[x])) +
                   std::abs(qBlue(p[x]) - qBlue(q[x]));
    }
    return sum / (3.0 * double(box.width()) * double(box.height()));
}

QImage Upright(const QString &path)
{
    kw::Result<kw::DecodedPhoto> photo = kw::LoadPhoto(path);
    if (!photo) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(path), qPrintable(photo.error()));
        return {};
    }
    return photo->image.convertToFormat(QImage::Format_RGB32);
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s PHOTO TEMPLATES_FOLDER TEMPLATE_NAME\n", argv[0]);
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QString source = QString::fromLocal8Bit(argv[1]);
    const QString templates = QString::fromLocal8Bit(argv[2]);
    const QString name = QString::fromLocal8Bit(argv[3]);
    QTemporaryDir dir;

    kw::Result<kw::DecodedPhoto> photo = kw::LoadPhoto(source);
    if (!photo) {
        std::fprintf(stderr, "%s\n", qPrintable(photo.error()));
        return 1;
    }
    const kw::Result<kw::SharedTemplate> loaded = kw::LoadTemplateForRender(templates, name);
    if (!loaded) {
        std::fprintf(stderr, "%s\n", qPrintable(loaded.error()));
        return 1;
    }
    QImage reference = photo->image;
    kw::CWatermarkRenderer::DrawTemplate(reference, reference.width(), reference.height(),
                                         **loaded);
    const kw::MarkOverlay mark =
        kw::RenderMarkOverlay(reference.size(), **loaded).valueOr(kw::MarkOverlay{});
    const QRect box =
        mark.image.isNull() ? reference.rect() : QRect(mark.origin, mark.image.size());

    kw::CPreferences prefs;
    prefs.outputFolderOpts = 1;
    prefs.outputFolderPath = dir.path();
    prefs.outputFileNameOpts = 1;
    prefs.outputFileNameSuffix = u"_q98"_s;
    const kw::Result<kw::WrittenOutput> q98 = kw::WriteOutput(reference, *photo, prefs);
    if (!q98) {
        std::fprintf(stderr, "%s\n", qPrintable(q98.error()));
        return 1;
    }
    const QString keptPath = dir.filePath(u"kept.jpg"_s);
    QFile kept(keptPath);
    if (!kept.open(QIODevice::WriteOnly))
        return 1;
    const kw::Result<kw::KeptJpeg> encoded =
        kw::EncodeKeepingOriginalJpeg(source, **loaded, false, &kept);
    if (!encoded) {
        std::fprintf(stderr, "the original JPEG could not be kept: %s\n",
                     qPrintable(encoded.error()));
        return 1;
    }
    kept.close();

    reference = reference.convertToFormat(QImage::Format_RGB32);
    const QImage original = Upright(source);
    const QImage a = Upright(q98->path), b = Upright(keptPath);
    if (a.isNull() || b.isNull())
        return 1;
    std::printf("mark box %dx%d at %d,%d of %dx%d\n", box.width(), box.height(), box.x(), box.y(),
                reference.width(), reference.height());
    std::printf("blocks re-encoded: %lld of %lld (%.1f %%)\n",
                static_cast<long long>(encoded->stats.reencoded),
                static_cast<long long>(encoded->stats.blocks),
                100.0 * double(encoded->stats.reencoded) / double(encoded->stats.blocks));
    std::printf("%-34s %10s %12s %14s\n", "mean absolute error", "mark box", "whole photo",
                "outside vs src");
    // Outside the mark the kept file is the source's own pixels (bar the
    // blocks under the mark); the quality-98 path re-encodes every one.
    const auto outside = [&](const QImage &image) {
        if (box == image.rect())
            return 0.0; // nothing outside the mark
        return (MeanAbsError(image, original, image.rect()) * double(image.width()) *
                    double(image.height()) -
                MeanAbsError(image, original, box) * double(box.width()) * double(box.height())) /
               (double(image.width()) * double(image.height()) -
                double(box.width()) * double(box.height()));
    };
    std::printf("%-34s %10.3f %12.3f %14.3f\n", "quality 98", MeanAbsError(a, reference, box),
                MeanAbsError(a, reference, a.rect()), outside(a));
    std::printf("%-34s %10.3f %12.3f %14.3f\n", "keep the original",
                MeanAbsError(b, reference, box), MeanAbsError(b, reference, b.rect()), outside(b));
    return 0;
}
