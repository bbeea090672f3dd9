#include "render/jpeg_rgb_input.h"

#include "photo_test_files.h"

#include <QBuffer>
#include <QColorSpace>
#include <QImageReader>

#include <csetjmp>
#include <cstdio>
#include <jpeglib.h>

#include <gtest/gtest.h>

#include <vector>

using namespace Qt::StringLiterals;

namespace kw {
namespace {

using detail::DecodeRgbJpeg;

struct EncodeOptions
{
    int hSampling = 2; // of the luma component; chroma is always 1 x 1
    int vSampling = 2;
    bool progressive = false;
    int restartRows = 0; // a restart marker every this many MCU rows
    J_COLOR_SPACE stored = JCS_YCbCr;
    QByteArray icc;
};

EncodeOptions Stream(int hSampling, int vSampling, bool progressive = false, int restartRows = 0,
                     J_COLOR_SPACE stored = JCS_YCbCr)
{
    EncodeOptions options;
    options.hSampling = hSampling;
    options.vSampling = vSampling;
    options.progressive = progressive;
    options.restartRows = restartRows;
    options.stored = stored;
    return options;
}

// A JPEG of `image` made with libjpeg itself, so that every variant of the
// stream can be asked for.
QByteArray EncodeWith(const QImage &image, const EncodeOptions &options)
{
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    jpeg_compress_struct cinfo = {};
    jpeg_error_mgr errors = {};
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_compress(&cinfo);
    unsigned char *buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = JDIMENSION(rgb.width());
    cinfo.image_height = JDIMENSION(rgb.height());
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_colorspace(&cinfo, options.stored);
    jpeg_set_quality(&cinfo, 90, TRUE);
    cinfo.comp_info[0].h_samp_factor = options.stored == JCS_YCbCr ? options.hSampling : 1;
    cinfo.comp_info[0].v_samp_factor = options.stored == JCS_YCbCr ? options.vSampling : 1;
    cinfo.restart_in_rows = options.restartRows;
    if (options.progressive)
        jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    if (!options.icc.isEmpty())
        jpeg_write_icc_profile(&cinfo, reinterpret_cast<const JOCTET *>(options.icc.constData()),
                               unsigned(options.icc.size()));
    while (cinfo.next_scanline < cinfo.image_height) {
        auto *row = const_cast<JSAMPROW>(rgb.constScanLine(int(cinfo.next_scanline)));
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    QByteArray bytes(reinterpret_cast<const char *>(buffer), qsizetype(size));
    std::free(buffer);
    return bytes;
}

QImage QtDecode(const QByteArray &jpeg, QSize scaledSize = {})
{
    QByteArray copy = jpeg;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "jpeg");
    if (scaledSize.isValid())
        reader.setScaledSize(scaledSize);
    return reader.read().convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

// The same pixels, to the bit, as Qt's reader gives: the pipeline's output
// must not change with the decoder that read the photo.
TEST(RgbJpegInput, DecodesEveryStreamVariantAsQtsReaderDoes)
{
    struct Case
    {
        const char *name;
        QSize size;
        EncodeOptions options;
    };
    const Case cases[] = {
        {"4:2:0", {160, 120}, Stream(2, 2)},
        {"4:2:0 odd size", {157, 99}, Stream(2, 2)},
        {"4:2:2", {101, 64}, Stream(2, 1)},
        {"4:4:4", {97, 73}, Stream(1, 1)},
        {"4:4:0", {64, 81}, Stream(1, 2)},
        {"progressive 4:2:0", {133, 87}, Stream(2, 2, true)},
        {"progressive 4:4:4", {90, 91}, Stream(1, 1, true)},
        {"restart markers", {203, 151}, Stream(2, 2, false, 1)},
        {"progressive with restart markers", {77, 140}, Stream(1, 1, true, 2)},
        {"stored as RGB", {65, 47}, Stream(1, 1, false, 0, JCS_RGB)},
        {"one pixel", {1, 1}, Stream(2, 2)},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const QByteArray jpeg =
            EncodeWith(test::PhotoLikeImage(c.size.width(), c.size.height()), c.options);
        const Result<QImage> ours = DecodeRgbJpeg(jpeg, 1);
        ASSERT_TRUE(ours) << ours.error().toStdString();
        const QImage theirs = QtDecode(jpeg);
        ASSERT_EQ(ours->format(), QImage::Format_ARGB32_Premultiplied);
        ASSERT_EQ(ours->size(), c.size);
        ASSERT_EQ(theirs.size(), c.size);
        for (int y = 0; y < c.size.height(); ++y)
            ASSERT_EQ(std::memcmp(ours->constScanLine(y), theirs.constScanLine(y),
                                  size_t(c.size.width()) * 4),
                      0)
                << "row " << y;
    }
}

TEST(RgbJpegInput, ShrinksInTheDctDomainAndKeepsTheProfile)
{
    const QByteArray profile = QColorSpace(QColorSpace::DisplayP3).iccProfile();
    ASSERT_FALSE(profile.isEmpty());
    EncodeOptions options;
    options.icc = profile;
    const QByteArray jpeg = EncodeWith(test::PhotoLikeImage(640, 480), options);
    for (const int scale : {2, 4, 8}) {
        SCOPED_TRACE(scale);
        const Result<QImage> ours = DecodeRgbJpeg(jpeg, scale);
        ASSERT_TRUE(ours) << ours.error().toStdString();
        // Qt's reader shrinks the same way when asked for this size.
        EXPECT_EQ(*ours, QtDecode(jpeg, QSize(640 / scale, 480 / scale)));
        EXPECT_EQ(ours->colorSpace(), QColorSpace(QColorSpace::DisplayP3));
    }
    // A size that does not divide: libjpeg rounds up.
    const Result<QImage> odd = DecodeRgbJpeg(EncodeWith(test::PhotoLikeImage(157, 99), {}), 4);
    ASSERT_TRUE(odd);
    EXPECT_EQ(odd->size(), QSize(40, 25));
}

// Files this decoder does not take, or whose data libjpeg must pad or skip,
// fail here, so that Qt's reader handles them with its messages as before.
TEST(RgbJpegInput, LeavesOtherAndDamagedFilesToQtsReader)
{
    const QImage picture = test::PhotoLikeImage(64, 48);
    const QByteArray good = EncodeWith(picture, {});
    EXPECT_TRUE(DecodeRgbJpeg(good, 1));

    const QByteArray grey =
        test::Encode(picture.convertToFormat(QImage::Format_Grayscale8), "jpeg");
    EXPECT_FALSE(DecodeRgbJpeg(grey, 1));

    const Result<QImage> cut = DecodeRgbJpeg(good.left(good.size() / 2), 1);
    ASSERT_FALSE(cut);
    EXPECT_TRUE(cut.error().contains(u"Premature end of JPEG file"_s)) << cut.error().toStdString();

    // Garbage in the middle of the entropy-coded data: libjpeg warns and
    // goes on, which counts as a failure here.
    QByteArray corrupt = good;
    const qsizetype scan = corrupt.indexOf("\xff\xda");
    ASSERT_GT(scan, 0);
    for (qsizetype i = scan + 40; i < scan + 60; ++i)
        corrupt[i] = char(0xff);
    EXPECT_FALSE(DecodeRgbJpeg(corrupt, 1));

    EXPECT_FALSE(DecodeRgbJpeg(QByteArray("not a jpeg"), 1));
    EXPECT_FALSE(DecodeRgbJpeg(QByteArray(), 1));
}

} // namespace
} // namespace kw
