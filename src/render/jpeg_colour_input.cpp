#include "render/jpeg_colour_input.h"

#include "render/colour_management.h"

#include <QColorSpace>

#include <cstdio>
#include <jpeglib.h>

#include <csetjmp>
#include <vector>

using namespace Qt::StringLiterals;

namespace kw::detail {

namespace {

// libjpeg reports errors through a callback that must not return: it jumps
// back to the function that owns the libjpeg objects.
struct JpegError
{
    jpeg_error_mgr manager; // first, so the library's pointer converts back
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

extern "C" void ColourInputErrorExit(j_common_ptr cinfo)
{
    auto *error = reinterpret_cast<JpegError *>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, error->message);
    std::longjmp(error->jump, 1);
}

extern "C" void ColourInputIgnoreMessage(j_common_ptr) {}

void SetUpErrors(jpeg_error_mgr *manager)
{
    jpeg_std_error(manager);
    manager->error_exit = ColourInputErrorExit;
    manager->output_message = ColourInputIgnoreMessage;
}

void Source(jpeg_decompress_struct &cinfo, const QByteArray &bytes)
{
    jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char *>(bytes.constData()),
                 static_cast<unsigned long>(bytes.size()));
}

ColourModel ModelOfJpeg(const jpeg_decompress_struct &cinfo)
{
    switch (cinfo.jpeg_color_space) {
    case JCS_CMYK:
    case JCS_YCCK:
        return ColourModel::Cmyk;
    case JCS_GRAYSCALE:
        return ColourModel::Grey;
    default:
        return ColourModel::Rgb;
    }
}

} // namespace

QByteArray NonRgbJpegProfile(const QByteArray &bytes)
{
    jpeg_decompress_struct cinfo = {};
    JpegError error = {};
    cinfo.err = &error.manager;
    SetUpErrors(&error.manager);
    JOCTET *icc = nullptr;
    unsigned int iccSize = 0;
    if (setjmp(error.jump)) {
        jpeg_destroy_decompress(&cinfo);
        std::free(icc);
        return {};
    }
    jpeg_create_decompress(&cinfo);
    Source(cinfo, bytes);
    jpeg_save_markers(&cinfo, JPEG_APP0 + 2, 0xFFFF);
    jpeg_read_header(&cinfo, TRUE);
    const ColourModel model = ModelOfJpeg(cinfo);
    if (model != ColourModel::Rgb)
        jpeg_read_icc_profile(&cinfo, &icc, &iccSize);
    jpeg_destroy_decompress(&cinfo);
    QByteArray profile;
    if (icc) {
        profile = QByteArray(reinterpret_cast<const char *>(icc), qsizetype(iccSize));
        std::free(icc);
    }
    if (profile.isEmpty() || ProfileColourModel(profile) != model)
        return {};
    return profile;
}

Result<QImage> DecodeJpegThroughProfile(const QByteArray &bytes, const QByteArray &profile,
                                        int scaleDenominator)
{
    // Everything that must be destroyed exists before the jump target.
    jpeg_decompress_struct cinfo = {};
    JpegError error = {};
    QImage out;
    std::vector<JSAMPLE> band;
    std::vector<JSAMPROW> rows;
    Result<SrgbConverter> converter = Failure{QString()};
    cinfo.err = &error.manager;
    SetUpErrors(&error.manager);
    if (setjmp(error.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return Failure{u"cannot decode photo: "_s + QString::fromLatin1(error.message)};
    }
    jpeg_create_decompress(&cinfo);
    Source(cinfo, bytes);
    jpeg_read_header(&cinfo, TRUE);
    const bool grey = cinfo.jpeg_color_space == JCS_GRAYSCALE;
    // libjpeg turns YCCK into CMYK; Adobe's files (with their APP14 marker)
    // store CMYK inverted.
    cinfo.out_color_space = grey ? JCS_GRAYSCALE : JCS_CMYK;
    const SourcePixels pixels = grey                     ? SourcePixels::Grey8
                                : cinfo.saw_Adobe_marker ? SourcePixels::InvertedCmyk8
                                                         : SourcePixels::Cmyk8;
    cinfo.scale_num = 1;
    cinfo.scale_denom = unsigned(
        scaleDenominator == 2 || scaleDenominator == 4 || scaleDenominator == 8 ? scaleDenominator
                                                                                : 1);
    converter = SrgbConverter::Make(profile, pixels);
    if (!converter) {
        jpeg_destroy_decompress(&cinfo);
        return Failure{u"cannot convert the photo's colours: "_s + converter.error()};
    }
    jpeg_start_decompress(&cinfo);
    const int width = int(cinfo.output_width);
    const int height = int(cinfo.output_height);
    const int components = cinfo.output_components;
    out = QImage(width, height, QImage::Format_RGB32);
    if (out.isNull()) {
        jpeg_destroy_decompress(&cinfo);
        return Failure{
            u"cannot decode photo: not enough memory for %1 x %2 pixels"_s.arg(width).arg(height)};
    }
    // A band of rows at a time: the samples never exist whole.
    const int bandRows = std::max(1, int(cinfo.rec_outbuf_height)) * 8;
    const qsizetype stride = qsizetype(width) * components;
    band.resize(size_t(stride) * size_t(bandRows));
    rows.resize(size_t(bandRows));
    for (int i = 0; i < bandRows; ++i)
        rows[size_t(i)] = band.data() + i * stride;
    while (cinfo.output_scanline < cinfo.output_height) {
        const int first = int(cinfo.output_scanline);
        int got = 0;
        while (got < bandRows && cinfo.output_scanline < cinfo.output_height)
            got += int(jpeg_read_scanlines(&cinfo, rows.data() + got, JDIMENSION(bandRows - got)));
        converter->convert(band.data(), stride, width, got, out, first);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    out.setColorSpace(QColorSpace::SRgb);
    return out;
}

} // namespace kw::detail
