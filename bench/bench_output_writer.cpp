// Writing a finished 12-megapixel picture (4000 x 3000, grainy like a
// photograph) as each output format, onto the temporary folder's disk, and
// preparing the metadata of a camera JPEG (EXIF with a maker note, XMP).
//   build/bench/bench_output_writer --benchmark_repetitions=5
//   --benchmark_report_aggregates_only=true
#include "render/output_metadata.h"
#include "render/output_writer.h"

#include <benchmark/benchmark.h>

#include <QBuffer>
#include <QImage>
#include <QImageWriter>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <exiv2/exiv2.hpp>

using namespace Qt::StringLiterals;

namespace {

QImage GrainyPicture(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    QRandomGenerator rng(5);
    for (int y = 0; y < height; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const int n = int(rng.generate() % 17) - 8;
            line[x] = qRgb(qBound(0, 60 + 150 * x / width + n, 255),
                           qBound(0, 90 + 100 * y / height + n, 255), qBound(0, 128 + n, 255));
        }
    }
    return image;
}

void BM_WriteOutput(benchmark::State &state)
{
    const QImage picture = GrainyPicture(4000, 3000);
    QTemporaryDir dir;
    kw::DecodedPhoto photo;
    photo.sourcePath = dir.filePath(u"photo.jpg"_s);
    kw::CPreferences prefs;
    prefs.outputFolderOpts = 1;
    prefs.outputFolderPath = dir.filePath(u"out"_s);
    prefs.outputFileNameOpts = 0;
    prefs.outputFormat = int(state.range(0));
    for (auto _ : state) {
        const kw::Result<kw::WrittenOutput> r = kw::WriteOutput(picture, photo, prefs);
        if (!r)
            state.SkipWithError(r.error().toUtf8().constData());
    }
}
BENCHMARK(BM_WriteOutput)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

void BM_PrepareMetadata(benchmark::State &state)
{
    // EXIF of a camera JPEG, with a maker note of parsed tags, and an XMP
    // packet with and without a thumbnail.
    Exiv2::ExifData exif;
    exif["Exif.Image.Make"] = std::string("OLYMPUS");
    exif["Exif.Image.Model"] = std::string("E-M1");
    exif["Exif.Photo.DateTimeOriginal"] = std::string("2024:05:01 10:20:30");
    for (int i = 0; i < 40; ++i)
        exif["Exif.Photo.UserComment"] = std::string(200, 'x');
    Exiv2::Blob blob;
    Exiv2::ExifParser::encode(blob, Exiv2::littleEndian, exif);
    kw::PhotoMetadata source;
    source.exif = QByteArray(reinterpret_cast<const char *>(blob.data()), qsizetype(blob.size()));
    Exiv2::XmpData xmp;
    xmp["Xmp.dc.subject"] = std::string("boats");
    if (state.range(0))
        xmp["Xmp.xmp.Thumbnails[1]/xmpGImg:image"] = std::string(4000, 'A');
    std::string packet;
    Exiv2::XmpParser::encode(packet, xmp);
    source.xmp = QByteArray(packet.data(), qsizetype(packet.size()));
    for (auto _ : state) {
        const kw::OutputMetadata out = kw::PrepareOutputMetadata(source, {4000, 3000}, 1);
        benchmark::DoNotOptimize(out.exif.size());
    }
}
BENCHMARK(BM_PrepareMetadata)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
