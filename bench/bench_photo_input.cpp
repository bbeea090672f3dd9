// Decoding a 24-megapixel JPEG (6000 x 4000, quality 90, grainy like a
// photograph) into a working bitmap: full size, and resized to 1500 x 1000
// and to 800 x 533 with and without the decoder's DCT scaling. The same
// picture as a PNG: the whole load, and the structure check that inflates its
// image data before libpng does.
//   build/bench/bench_photo_input --benchmark_repetitions=7 --benchmark_report_aggregates_only=true
#include "render/photo_input.h"
#include "render/photo_input_checks.h"

#include <benchmark/benchmark.h>

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <cmath>
#include <exiv2/exiv2.hpp>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

// Gradients, soft shapes and per-pixel grain: compresses to about 9 MB, the
// size a camera writes for 24 megapixels.
QByteArray GrainyJpeg(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    QRandomGenerator rng(11);
    for (int y = 0; y < height; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const double u = double(x) / width, v = double(y) / height;
            const quint32 r = rng.generate();
            const int n = int(r % 17) - 8;
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
    painter.end();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(90);
    writer.write(image);
    return bytes;
}

QByteArray WithOrientation(const QByteArray &jpeg, int orientation)
{
    kw::InitPhotoMetadataLibrary();
    // Owned at once by a unique_ptr: Exiv2 0.27 returns a std::auto_ptr.
    std::unique_ptr<Exiv2::Image> image(
        Exiv2::ImageFactory::open(reinterpret_cast<const Exiv2::byte *>(jpeg.constData()),
                                  long(jpeg.size()))
            .release());
    image->readMetadata();
    image->exifData()["Exif.Image.Orientation"] = uint16_t(orientation);
    image->writeMetadata();
    Exiv2::BasicIo &io = image->io();
    io.seek(0, Exiv2::BasicIo::beg);
    const Exiv2::DataBuf data = io.read(long(io.size()));
    return QByteArray(reinterpret_cast<const char *>(data.pData_), data.size_);
}

struct Photos
{
    QTemporaryDir dir;
    QString upright; // Orientation 1
    QString turned;  // Orientation 6: stored 6000 x 4000, shown 4000 x 6000

    Photos()
    {
        const QByteArray jpeg = GrainyJpeg(6000, 4000);
        upright = dir.filePath(u"upright.jpg"_s);
        turned = dir.filePath(u"turned.jpg"_s);
        for (const auto &[path, orientation] : {std::pair{upright, 1}, std::pair{turned, 6}}) {
            QFile file(path);
            if (!file.open(QIODevice::WriteOnly) ||
                file.write(WithOrientation(jpeg, orientation)) < 0)
                std::abort();
        }
    }
};

const Photos &TestPhotos()
{
    static const Photos photos;
    return photos;
}

void Load(benchmark::State &state, const QString &path, kw::ResizeRequest resize, bool dct)
{
    kw::PhotoLoadOptions options;
    options.resize = resize;
    options.dctScaling = dct;
    for (auto _ : state) {
        const kw::Result<kw::DecodedPhoto> result = kw::LoadPhoto(path, options);
        if (!result) {
            state.SkipWithError(result.error().toStdString().c_str());
            return;
        }
        benchmark::DoNotOptimize(result->image.constBits());
    }
}

void BM_FullSize(benchmark::State &state)
{
    Load(state, TestPhotos().upright, {}, true);
}
BENCHMARK(BM_FullSize)->Unit(benchmark::kMillisecond);

void BM_FullSizeTurned(benchmark::State &state)
{
    Load(state, TestPhotos().turned, {}, true);
}
BENCHMARK(BM_FullSizeTurned)->Unit(benchmark::kMillisecond);

// Arg 0: the decoder decodes every pixel; 1: it scales in the DCT domain.
void BM_To1500x1000(benchmark::State &state)
{
    Load(state, TestPhotos().upright, {true, 3, 1500, 1000}, state.range(0) != 0);
}
BENCHMARK(BM_To1500x1000)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_To800Wide(benchmark::State &state)
{
    Load(state, TestPhotos().upright, {true, 1, 800, 0}, state.range(0) != 0);
}
BENCHMARK(BM_To800Wide)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_TurnedTo800Wide(benchmark::State &state)
{
    Load(state, TestPhotos().turned, {true, 1, 800, 0}, state.range(0) != 0);
}
BENCHMARK(BM_TurnedTo800Wide)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

struct PngPhoto
{
    QTemporaryDir dir;
    QString path;
    QByteArray bytes;

    PngPhoto()
    {
        QImage image;
        if (!image.loadFromData(GrainyJpeg(6000, 4000), "jpeg"))
            std::abort();
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        if (!image.save(&buffer, "png"))
            std::abort();
        path = dir.filePath(u"photo.png"_s);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            std::abort();
    }
};

const PngPhoto &TestPng()
{
    static const PngPhoto png;
    return png;
}

void BM_PngFullSize(benchmark::State &state)
{
    Load(state, TestPng().path, {}, true);
}
BENCHMARK(BM_PngFullSize)->Unit(benchmark::kMillisecond);

void BM_PngStructureCheck(benchmark::State &state)
{
    for (auto _ : state) {
        const QString damage = kw::detail::CheckPngStructure(TestPng().bytes);
        if (!damage.isEmpty()) {
            state.SkipWithError(damage.toStdString().c_str());
            return;
        }
    }
}
BENCHMARK(BM_PngStructureCheck)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
