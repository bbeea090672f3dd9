// Runs the collection removal attack (removal_attack.h) on K photos marked
// with one template, consistently and with the removal resistance at several
// displacements, and prints a table. Not part of the product or of CTest.
//
//   attack_removal [--count 50] [--size 1500x1000] PHOTO_DIR [EXTRA_PHOTO...]
//
// The first `count` photos are crops of `size` from the JPEG photos of
// PHOTO_DIR (taken in turn, from cells of a grid over each photo); every
// extra photo is scaled and cropped to fill `size`. Each crop is marked with
// the same layer: outlined white text at half opacity, turned by 15 degrees,
// centred.

#include "model/template_file.h"
#include "model/watermark_conf.h"
#include "removal_attack.h"
#include "render/font_mapping.h"
#include "render/mark_warp.h"
#include "render/text_effect_renderer.h"

#include <QCryptographicHash>
#include <QDir>
#include <QGuiApplication>
#include <QImageReader>
#include <QPainter>

#include <cstdio>

using kw::CTextEffectRenderer;
using kw::CWatermarkConf;

using namespace Qt::StringLiterals;

namespace {

CWatermarkConf attackLayer()
{
    CWatermarkConf layer;
    kw::ApplyNewLayerDefaults(layer, u"Kelvane Watermark"_s);
    layer.Font.setHeight(-96);
    layer.Font.setWeight(700);
    layer.Rotation = 15;
    layer.Transparency = 128;
    layer.TextColor = kw::RgbColor(255, 255, 255);
    layer.BDrawEdge = 1;
    layer.EdgeColor = kw::RgbColor(40, 40, 40);
    layer.EdgeAlpha = 128;
    layer.EdgeLineThickness = 2;
    return layer;
}

QImage mark(const QImage &photo, const CWatermarkConf &layer, const kw::MarkWarpSetting &setting,
            int index)
{
    QImage canvas = photo.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const auto draw = [&](QPainter &painter) {
        CTextEffectRenderer::DrawTextLayer(painter, canvas.width(), canvas.height(), layer);
    };
    if (!setting.enabled) {
        QPainter painter(&canvas);
        draw(painter);
        return canvas;
    }
    // Each crop stands for one photo file: its own digest.
    const QByteArray digest =
        QCryptographicHash::hash(QByteArray::number(index) + "crop", QCryptographicHash::Sha256);
    const CWatermarkConf layers[] = {layer};
    kw::DrawWarpedMark(canvas, setting, kw::MarkWarpSeedFor(digest, layers), draw);
    return canvas;
}

std::vector<QImage> loadCrops(const QString &folder, int count, QSize size,
                              const QStringList &extras)
{
    std::vector<QImage> crops;
    const QStringList names = QDir(folder).entryList({u"*.jpg"_s}, QDir::Files, QDir::Name);
    std::vector<QImage> photos;
    for (const QString &name : names)
        photos.push_back(QImage(QDir(folder).filePath(name)).convertToFormat(QImage::Format_RGB32));
    for (int i = 0; i < count && !photos.empty(); ++i) {
        const QImage &photo = photos[size_t(i) % photos.size()];
        const int columns = std::max(1, photo.width() / size.width());
        const int rows = std::max(1, photo.height() / size.height());
        // Cells 0, 5, 10, 15, 4, ... of the grid: a different part each turn.
        const int cell = (i / int(photos.size()) * 5) % (columns * rows);
        crops.push_back(photo.copy((cell % columns) * size.width(),
                                   (cell / columns) * size.height(), size.width(), size.height()));
    }
    for (const QString &extra : extras) {
        const QImage scaled =
            QImage(extra).scaled(size, Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation);
        crops.push_back(scaled
                            .copy((scaled.width() - size.width()) / 2,
                                  (scaled.height() - size.height()) / 2, size.width(),
                                  size.height())
                            .convertToFormat(QImage::Format_RGB32));
    }
    return crops;
}

} // namespace

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    int count = 50;
    QSize size(1500, 1000);
    while (!args.isEmpty() && args.first().startsWith(u"--"_s)) {
        const QString option = args.takeFirst();
        const QString value = args.isEmpty() ? QString() : args.takeFirst();
        if (option == u"--count")
            count = value.toInt();
        else if (option == u"--size")
            size = QSize(value.section(u'x', 0, 0).toInt(), value.section(u'x', 1, 1).toInt());
    }
    if (args.isEmpty() || size.isEmpty()) {
        std::fprintf(stderr,
                     "usage: attack_removal [--count N] [--size WxH] PHOTO_DIR [EXTRA...]\n");
        return 2;
    }
    kw::RegisterWatermarkFonts();
    const std::vector<QImage> originals = loadCrops(args.first(), count, size, args.mid(1));
    if (originals.size() < 3) {
        std::fprintf(stderr, "too few photos\n");
        return 1;
    }
    const CWatermarkConf layer = attackLayer();

    std::vector<QImage> consistent;
    for (size_t i = 0; i < originals.size(); ++i)
        consistent.push_back(mark(originals[i], layer, kw::MarkWarpSetting{}, int(i)));
    // The mark's box: wherever any consistent mark changed a pixel.
    QRect box;
    for (size_t i = 0; i < originals.size(); ++i) {
        for (int y = 0; y < size.height(); ++y) {
            for (int x = 0; x < size.width(); ++x)
                if (consistent[i].pixel(x, y) != originals[i].pixel(x, y))
                    box |= QRect(x, y, 1, 1);
        }
    }
    box.adjust(-3, -3, 3, 3);
    const QRect region = kw::attack::SolvableRegionAround(box.adjusted(-8, -8, 8, 8));
    if (!QRect(QPoint(), size).contains(region)) {
        std::fprintf(stderr, "the solve region (%dx%d around a mark of %dx%d) does not fit\n",
                     region.width(), region.height(), box.width(), box.height());
        return 1;
    }
    const kw::attack::GradientField truth =
        kw::attack::MeanDifferenceGradients(consistent, originals, region);

    std::printf("%zu photos of %dx%d, mark box %dx%d\n\n", originals.size(), size.width(),
                size.height(), box.width(), box.height());
    std::printf("| marks | NCC of estimate | PSNR marked | PSNR after removal | PSNR vs consistent "
                "mark |\n");
    std::printf("|---|---|---|---|---|\n");
    struct Config
    {
        const char *name;
        kw::MarkWarpSetting setting;
    };
    std::vector<Config> configs{{"consistent", {}}};
    for (double d : {0.5, 1.0, 2.0}) {
        kw::MarkWarpSetting s;
        s.enabled = true;
        s.maxDisplacement = d;
        configs.push_back({d == 0.5 ? "warp 0.5 px" : d == 1.0 ? "warp 1 px" : "warp 2 px", s});
    }
    kw::MarkWarpSetting shiftOnly;
    shiftOnly.enabled = true;
    shiftOnly.maxDisplacement = 0;
    shiftOnly.maxOffset = 3;
    configs.push_back({"shift only, 3 px", shiftOnly});
    kw::MarkWarpSetting both;
    both.enabled = true;
    both.maxOffset = 2;
    configs.push_back({"warp 1 px + shift 2 px", both});

    for (const Config &config : configs) {
        std::vector<QImage> marked;
        for (size_t i = 0; i < originals.size(); ++i)
            marked.push_back(config.setting.enabled
                                 ? mark(originals[i], layer, config.setting, int(i))
                                 : consistent[i]);
        const kw::attack::GradientField estimate = kw::attack::MedianGradients(marked, region);
        const double ncc = kw::attack::GradientNcc(estimate, truth, box);
        std::vector<float> integrated[3];
        for (int c = 0; c < 3; ++c)
            integrated[c] = kw::attack::IntegrateGradients(estimate, c);
        double psnrMarked = 0, psnrRemoved = 0, psnrVisual = 0;
        for (size_t i = 0; i < originals.size(); ++i) {
            psnrMarked += kw::attack::Psnr(marked[i], originals[i], box);
            psnrRemoved += kw::attack::Psnr(
                kw::attack::RemoveEstimate(marked[i], estimate, integrated), originals[i], box);
            psnrVisual += kw::attack::Psnr(marked[i], consistent[i], box);
        }
        const double n = double(originals.size());
        std::printf("| %s | %.3f | %.2f dB | %.2f dB | %s |\n", config.name, ncc, psnrMarked / n,
                    psnrRemoved / n,
                    config.setting.enabled
                        ? QByteArray::number(psnrVisual / n, 'f', 2).append(" dB").constData()
                        : "-");
        std::fflush(stdout);
    }
    return 0;
}
