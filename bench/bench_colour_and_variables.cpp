// What colour management and text variables cost per photo.
// - A 24-megapixel CMYK JPEG (6000 x 4000, Adobe's inverted CMYK, with a
//   CMYK profile made here with lcms2): decoded through its profile to sRGB,
//   against the same file without its profile, which Qt's decoder turns to
//   RGB by a formula.
// - A JPEG with camera EXIF: loaded with and without the text variables'
//   values collected, and the expansion of a text that uses six variables.
//   build/bench/bench_colour_and_variables --benchmark_repetitions=5
//   --benchmark_report_aggregates_only=true
#include "render/photo_input.h"
#include "render/text_variables.h"
#include "support/colour_profiles.h"

#include <benchmark/benchmark.h>

#include <QBuffer>
#include <QFile>
#include <QImageWriter>
#include <QTemporaryDir>

#include <cstdio>
#include <exiv2/exiv2.hpp>
#include <jpeglib.h>
#include <lcms2.h>

#include <cmath>
#include <memory>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

// Smooth ink gradients with grain, quality 90, as Adobe writes CMYK.
QByteArray CmykJpeg(int width, int height, const QByteArray &profile)
{
    jpeg_compress_struct cinfo = {};
    jpeg_error_mgr error = {};
    cinfo.err = jpeg_std_error(&error);
    jpeg_create_compress(&cinfo);
    unsigned char *buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = JDIMENSION(width);
    cinfo.image_height = JDIMENSION(height);
    cinfo.input_components = 4;
    cinfo.in_color_space = JCS_CMYK;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 90, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    if (!profile.isEmpty())
        jpeg_write_icc_profile(&cinfo, reinterpret_cast<const JOCTET *>(profile.constData()),
                               unsigned(profile.size()));
    std::vector<JSAMPLE> row(size_t(width) * 4);
    quint32 seed = 7;
    while (cinfo.next_scanline < cinfo.image_height) {
        const double v = double(cinfo.next_scanline) / height;
        for (int x = 0; x < width; ++x) {
            const double u = double(x) / width;
            seed = seed * 1664525u + 1013904223u;
            const int n = int(seed >> 28) - 8;
            const double ink[4] = {u, 0.5 + 0.5 * std::sin(7 * v), 1 - u * v, 0.2 * v};
            for (int c = 0; c < 4; ++c)
                row[size_t(x) * 4 + size_t(c)] =
                    JSAMPLE(std::clamp(255 - int(ink[c] * 255) + n, 0, 255));
        }
        JSAMPROW line = row.data();
        jpeg_write_scanlines(&cinfo, &line, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    const QByteArray bytes(reinterpret_cast<const char *>(buffer), qsizetype(size));
    std::free(buffer);
    return bytes;
}

struct Files
{
    QTemporaryDir dir;
    QString cmyk, cmykWithoutProfile, camera;
};

QString Write(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(bytes);
    return path;
}

const Files &TheFiles()
{
    static Files *files = [] {
        auto *f = new Files;
        const QByteArray profile = kw::test::MakeCmykProfile(17);
        f->cmyk = Write(f->dir, u"cmyk.jpg"_s, CmykJpeg(6000, 4000, profile));
        f->cmykWithoutProfile = Write(f->dir, u"plain.jpg"_s, CmykJpeg(6000, 4000, {}));
        // A 1500 x 1000 camera JPEG with the EXIF the variables read.
        QImage image(1500, 1000, QImage::Format_RGB32);
        image.fill(qRgb(90, 120, 150));
        QByteArray jpeg;
        QBuffer buffer(&jpeg);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter(&buffer, "jpeg").write(image);
        kw::InitPhotoMetadataLibrary();
        std::unique_ptr<Exiv2::Image> exiv(
            Exiv2::ImageFactory::open(reinterpret_cast<const Exiv2::byte *>(jpeg.constData()),
                                      long(jpeg.size()))
                .release());
        exiv->readMetadata();
        Exiv2::ExifData &exif = exiv->exifData();
        exif["Exif.Image.Make"] = "NIKON CORPORATION";
        exif["Exif.Image.Model"] = "NIKON D850";
        exif["Exif.Image.Artist"] = "Jane Doe";
        exif["Exif.Photo.DateTimeOriginal"] = "2021:03:04 05:06:07";
        exif["Exif.Photo.LensModel"] = "24.0-70.0 mm f/2.8";
        exiv->writeMetadata();
        Exiv2::BasicIo &io = exiv->io();
        io.seek(0, Exiv2::BasicIo::beg);
        const Exiv2::DataBuf data = io.read(long(io.size()));
        f->camera = Write(f->dir, u"camera.jpg"_s,
                          QByteArray(reinterpret_cast<const char *>(data.pData_), data.size_));
        return f;
    }();
    return *files;
}

void Load(benchmark::State &state, const QString &path, bool textFacts)
{
    kw::PhotoLoadOptions options;
    options.keepMetadata = true;
    options.textFacts = textFacts;
    for (auto _ : state) {
        kw::Result<kw::DecodedPhoto> photo = kw::LoadPhoto(path, options);
        if (!photo)
            state.SkipWithError(photo.error().toUtf8().constData());
        benchmark::DoNotOptimize(photo);
    }
}

void BM_CmykJpeg24MpThroughItsProfile(benchmark::State &state)
{
    Load(state, TheFiles().cmyk, false);
}
BENCHMARK(BM_CmykJpeg24MpThroughItsProfile)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_CmykJpeg24MpByQtsFormula(benchmark::State &state)
{
    Load(state, TheFiles().cmykWithoutProfile, false);
}
BENCHMARK(BM_CmykJpeg24MpByQtsFormula)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_CameraJpegWithoutVariables(benchmark::State &state)
{
    Load(state, TheFiles().camera, false);
}
BENCHMARK(BM_CameraJpegWithoutVariables)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_CameraJpegWithVariables(benchmark::State &state)
{
    Load(state, TheFiles().camera, true);
}
BENCHMARK(BM_CameraJpegWithVariables)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ExpandSixVariables(benchmark::State &state)
{
    kw::PhotoFacts facts;
    facts.fileName = u"DSC_0042"_s;
    facts.taken = QDateTime(QDate(2021, 3, 4), QTime(5, 6, 7));
    facts.make = u"NIKON CORPORATION"_s;
    facts.model = u"NIKON D850"_s;
    facts.artist = u"Jane Doe"_s;
    facts.counter = 42;
    const QString text = u"(c) {year} {artist|me} - {camera} - {date:d MMM yyyy} #{counter:4} "
                         u"{filename}"_s;
    for (auto _ : state)
        benchmark::DoNotOptimize(kw::ExpandTextVariables(text, facts));
}
BENCHMARK(BM_ExpandSixVariables)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
