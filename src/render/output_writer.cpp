#include "render/output_writer.h"

#include "platform/app_folders.h"

#include <QColorSpace>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageWriter>
#include <QSaveFile>

#include <exiv2/exiv2.hpp>

#include <algorithm>
#include <array>
#include <csetjmp>
#include <cstdio> // before jpeglib.h, which uses FILE
#include <new>
#include <tuple>
#include <vector>

#include <jerror.h>
#include <jpeglib.h>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

using namespace Qt::StringLiterals;

namespace kw {

namespace {

constexpr std::array<OutputFormatInfo, 4> kOutputFormats = {{
    {0, u"image/jpeg", u"jpg"},
    {1, u"image/png", u"png"},
    {2, u"image/bmp", u"bmp"},
    {3, u"image/tiff", u"tiff"},
}};

// The largest payload of one JPEG marker segment (its length field counts
// itself).
constexpr qsizetype kMaxSegmentPayload = 0xFFFF - 2;

// One marker segment of a JPEG header: APP1 (0xE1) for EXIF and XMP, APP2
// for the colour profile, APP13 for IPTC.
struct JpegSegment
{
    int marker;
    QByteArray payload;
};
using JpegSegments = QList<JpegSegment>;

// The colour profile as ICC_PROFILE chunks, numbered from 1, each with the
// chunk count.
bool AppendIccSegments(JpegSegments &out, const QByteArray &profile)
{
    constexpr qsizetype kChunk = kMaxSegmentPayload - 14;
    const qsizetype count = (profile.size() + kChunk - 1) / kChunk;
    if (count > 255)
        return false;
    for (qsizetype i = 0; i < count; ++i) {
        QByteArray payload("ICC_PROFILE\0", 12);
        payload.append(char(i + 1)).append(char(count));
        payload.append(profile.mid(i * kChunk, kChunk));
        out.append({JPEG_APP0 + 2, payload});
    }
    return true;
}

// The EXIF block for the output: the source's tags without the embedded
// thumbnail (it would show the photo without its watermark), the
// pixel-dimension tags set to the written size. When the source's block
// cannot be re-encoded, a block with only the Orientation tag keeps the output
// showing upright.
QByteArray OutputExif(const QByteArray &source, QSize written, int orientation, QString &warning)
{
    auto setSize = [&](Exiv2::ExifData &exif) {
        exif["Exif.Photo.PixelXDimension"] = uint32_t(written.width());
        exif["Exif.Photo.PixelYDimension"] = uint32_t(written.height());
        // Only where the source has them: a JPEG's own size is in its frame header.
        const auto width = exif.findKey(Exiv2::ExifKey("Exif.Image.ImageWidth"));
        if (width != exif.end())
            *width = uint32_t(written.width());
        const auto length = exif.findKey(Exiv2::ExifKey("Exif.Image.ImageLength"));
        if (length != exif.end())
            *length = uint32_t(written.height());
    };
    try {
        Exiv2::ExifData exif;
        const Exiv2::ByteOrder order = Exiv2::ExifParser::decode(
            exif, reinterpret_cast<const Exiv2::byte *>(source.constData()),
            uint32_t(source.size()));
        Exiv2::ExifThumb(exif).erase();
        setSize(exif);
        Exiv2::Blob blob;
        Exiv2::ExifParser::encode(
            blob, order == Exiv2::invalidByteOrder ? Exiv2::littleEndian : order, exif);
        // The encoder drops tags, silently, when the block would not fit in
        // one segment.
        Exiv2::ExifData check;
        if (!blob.empty())
            Exiv2::ExifParser::decode(check, blob.data(), uint32_t(blob.size()));
        if (check.count() < exif.count())
            warning = u"%1 EXIF tags left out to fit the JPEG segment limit"_s.arg(exif.count() -
                                                                                   check.count());
        if (!blob.empty() && qsizetype(blob.size()) + 6 <= kMaxSegmentPayload)
            return QByteArray(reinterpret_cast<const char *>(blob.data()), qsizetype(blob.size()));
        warning = u"EXIF left out: larger than a JPEG segment"_s;
    } catch (const std::exception &e) {
        warning = u"EXIF left out: "_s + QString::fromLocal8Bit(e.what());
    }
    try {
        Exiv2::ExifData minimal;
        if (orientation != 0)
            minimal["Exif.Image.Orientation"] = uint16_t(orientation);
        setSize(minimal);
        Exiv2::Blob blob;
        Exiv2::ExifParser::encode(blob, Exiv2::littleEndian, minimal);
        return QByteArray(reinterpret_cast<const char *>(blob.data()), qsizetype(blob.size()));
    } catch (const std::exception &) {
        return {};
    }
}

// The APPn segments that carry the source's metadata, in the order readers
// expect them: EXIF, XMP, the colour profile, IPTC.
JpegSegments MetadataSegments(const PhotoMetadata &metadata, QSize written, int orientation,
                              QStringList &warnings)
{
    InitPhotoMetadataLibrary();
    JpegSegments out;
    if (!metadata.exif.isEmpty() || orientation != 0) {
        QString warning;
        const QByteArray exif = OutputExif(metadata.exif, written, orientation, warning);
        if (!warning.isEmpty())
            warnings << warning;
        if (!exif.isEmpty())
            out.append({JPEG_APP0 + 1, QByteArray("Exif\0\0", 6) + exif});
    }
    if (!metadata.xmp.isEmpty()) {
        const QByteArray header("http://ns.adobe.com/xap/1.0/\0", 29);
        if (header.size() + metadata.xmp.size() <= kMaxSegmentPayload)
            out.append({JPEG_APP0 + 1, header + metadata.xmp});
        else
            warnings << u"XMP left out: larger than a JPEG segment"_s;
    }
    if (!metadata.iccProfile.isEmpty() && !AppendIccSegments(out, metadata.iccProfile))
        warnings << u"colour profile left out: larger than 255 JPEG segments"_s;
    if (!metadata.iptc.isEmpty()) {
        // One Photoshop image resource 0x0404 (IPTC) with an empty name.
        QByteArray payload("Photoshop 3.0\0"
                           "8BIM\x04\x04\0\0",
                           22);
        const quint32 size = quint32(metadata.iptc.size());
        for (int shift = 24; shift >= 0; shift -= 8)
            payload.append(char((size >> shift) & 0xFF));
        payload.append(metadata.iptc);
        if (size % 2)
            payload.append('\0');
        if (payload.size() <= kMaxSegmentPayload)
            out.append({JPEG_APP0 + 13, payload});
        else
            warnings << u"IPTC left out: larger than a JPEG segment"_s;
    }
    return out;
}

// libjpeg reports errors through a callback that must not return: it jumps
// back to EncodeJpeg, which owns every object that needs destroying.
struct JpegError
{
    jpeg_error_mgr manager; // first, so the library's pointer converts back
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

extern "C" void JpegErrorExit(j_common_ptr cinfo)
{
    auto *error = reinterpret_cast<JpegError *>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, error->message);
    std::longjmp(error->jump, 1);
}

extern "C" void JpegIgnoreMessage(j_common_ptr) {}

// Streams the encoder's output to a device in large blocks.
struct JpegDestination
{
    jpeg_destination_mgr manager; // first, as above
    QIODevice *device;
    JOCTET *buffer;
    size_t size;
};

extern "C" void JpegInitDestination(j_compress_ptr cinfo)
{
    auto *dest = reinterpret_cast<JpegDestination *>(cinfo->dest);
    dest->manager.next_output_byte = dest->buffer;
    dest->manager.free_in_buffer = dest->size;
}

extern "C" boolean JpegEmptyBuffer(j_compress_ptr cinfo)
{
    auto *dest = reinterpret_cast<JpegDestination *>(cinfo->dest);
    if (dest->device->write(reinterpret_cast<const char *>(dest->buffer), qint64(dest->size)) !=
        qint64(dest->size))
        ERREXIT(cinfo, JERR_FILE_WRITE);
    JpegInitDestination(cinfo);
    return TRUE;
}

extern "C" void JpegTermDestination(j_compress_ptr cinfo)
{
    auto *dest = reinterpret_cast<JpegDestination *>(cinfo->dest);
    const auto used = qint64(dest->size - dest->manager.free_in_buffer);
    if (dest->device->write(reinterpret_cast<const char *>(dest->buffer), used) != used)
        ERREXIT(cinfo, JERR_FILE_WRITE);
}

// Rows handed to the encoder at a time. For quarter turns each strip reads a
// run of this many pixels from every upright row, so longer runs cost fewer
// cache and page misses.
constexpr int kStripRows = 64;

// Stored rows [first, first + count) of the layout a source with EXIF
// `orientation` (2 to 8) stores, taken from the upright picture, into `strip`
// (rows of `storedWidth` pixels). Quarter turns read a few neighbouring
// pixels of each upright row per stored row, so memory is read in order.
void FillStrip(const QImage &upright, int orientation, int first, int count, int storedWidth,
               QRgb *strip)
{
    const int uw = upright.width(), uh = upright.height();
    if (orientation <= 4) {
        for (int i = 0; i < count; ++i) {
            const int sy = first + i;
            const int uy = orientation == 2 ? sy : uh - 1 - sy;
            const auto *line = reinterpret_cast<const QRgb *>(upright.constScanLine(uy));
            QRgb *row = strip + qsizetype(i) * storedWidth;
            if (orientation == 4)
                std::copy(line, line + uw, row);
            else
                std::reverse_copy(line, line + uw, row);
        }
        return;
    }
    // Stored row sy is upright column x(sy), read down (5, 6) or up (7, 8).
    // Each upright row gives `count` neighbouring pixels, one to each stored row.
    const bool columnFromLeft = orientation == 5 || orientation == 8;
    const bool downwards = orientation == 5 || orientation == 6;
    const int step = columnFromLeft ? 1 : -1;
    const int firstColumn = columnFromLeft ? first : uw - 1 - first;
    // In tiles of kTile upright rows, so that reads and writes both stay
    // within a few pages.
    constexpr int kTile = 16;
    const QRgb *rowsOf[kTile];
    for (int sx0 = 0; sx0 < storedWidth; sx0 += kTile) {
        const int tile = std::min(kTile, storedWidth - sx0);
        for (int t = 0; t < tile; ++t) {
            const int sx = sx0 + t;
            rowsOf[t] = reinterpret_cast<const QRgb *>(
                            upright.constScanLine(downwards ? sx : uh - 1 - sx)) +
                        firstColumn;
        }
        for (int i = 0; i < count; ++i) {
            QRgb *to = strip + qsizetype(i) * storedWidth + sx0;
            const int offset = i * step;
            for (int t = 0; t < tile; ++t)
                to[t] = rowsOf[t][offset];
        }
    }
}

// Encodes `upright` (32 bits a pixel) as a baseline JPEG at quality 98 with
// 4:2:0 chroma and the standard Huffman tables, stored in the layout of EXIF
// `orientation` (turned back strip by strip, never as a whole copy), with
// `segments` in its header. Returns why it failed, or an empty string.
QString EncodeJpeg(const QImage &upright, int orientation, const JpegSegments &segments,
                   QIODevice *device)
{
    static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN || Q_BYTE_ORDER == Q_BIG_ENDIAN);
    const bool turned = orientation >= 2 && orientation <= 8;
    const bool transposed = orientation >= 5 && orientation <= 8;
    const int storedWidth = transposed ? upright.height() : upright.width();
    const int storedHeight = transposed ? upright.width() : upright.height();
    // Everything that must be destroyed exists before the jump target.
    std::vector<JOCTET> output(size_t(1) << 18);
    std::vector<QRgb> strip(turned ? size_t(storedWidth) * kStripRows : 0);
    std::array<JSAMPROW, kStripRows> rows = {};
    jpeg_compress_struct cinfo = {};
    JpegError error = {};
    JpegDestination destination = {{}, device, output.data(), output.size()};

    cinfo.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = JpegErrorExit;
    error.manager.output_message = JpegIgnoreMessage;
    if (setjmp(error.jump)) {
        jpeg_destroy_compress(&cinfo);
        return QString::fromLatin1(error.message);
    }
    jpeg_create_compress(&cinfo);
    destination.manager.init_destination = JpegInitDestination;
    destination.manager.empty_output_buffer = JpegEmptyBuffer;
    destination.manager.term_destination = JpegTermDestination;
    cinfo.dest = &destination.manager;
    cinfo.image_width = JDIMENSION(storedWidth);
    cinfo.image_height = JDIMENSION(storedHeight);
    cinfo.input_components = 4;
    // QRgb in memory: blue, green, red, alpha on little-endian machines.
    cinfo.in_color_space = Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? JCS_EXT_BGRX : JCS_EXT_XRGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, kOutputJpegQuality, TRUE);
    cinfo.optimize_coding = FALSE;
    cinfo.dct_method = JDCT_ISLOW;
    cinfo.comp_info[0].h_samp_factor = cinfo.comp_info[0].v_samp_factor = 2;
    for (int c = 1; c < 3; ++c)
        cinfo.comp_info[c].h_samp_factor = cinfo.comp_info[c].v_samp_factor = 1;
    // An Exif file starts with its EXIF segment; the JFIF header only comes
    // when there is none, carrying the resolution.
    const bool exif = !segments.isEmpty() && segments.first().payload.startsWith("Exif");
    cinfo.write_JFIF_header = exif ? FALSE : TRUE;
    const int dpiX = qRound(upright.dotsPerMeterX() * 0.0254);
    const int dpiY = qRound(upright.dotsPerMeterY() * 0.0254);
    if (dpiX > 0 && dpiY > 0 && dpiX <= 0xFFFF && dpiY <= 0xFFFF) {
        cinfo.density_unit = 1;
        cinfo.X_density = UINT16(transposed ? dpiY : dpiX);
        cinfo.Y_density = UINT16(transposed ? dpiX : dpiY);
    }
    jpeg_start_compress(&cinfo, TRUE);
    for (const JpegSegment &segment : segments)
        jpeg_write_marker(&cinfo, segment.marker,
                          reinterpret_cast<const JOCTET *>(segment.payload.constData()),
                          unsigned(segment.payload.size()));
    while (cinfo.next_scanline < cinfo.image_height) {
        const int first = int(cinfo.next_scanline);
        const int count = std::min(kStripRows, storedHeight - first);
        if (!turned || orientation == 4) {
            for (int i = 0; i < count; ++i) {
                const int y = turned ? storedHeight - 1 - (first + i) : first + i;
                rows[size_t(i)] = const_cast<JSAMPROW>(upright.constScanLine(y));
            }
        } else {
            FillStrip(upright, orientation, first, count, storedWidth, strip.data());
            for (int i = 0; i < count; ++i)
                rows[size_t(i)] =
                    reinterpret_cast<JSAMPROW>(strip.data() + qsizetype(i) * storedWidth);
        }
        jpeg_write_scanlines(&cinfo, rows.data(), JDIMENSION(count));
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return {};
}

bool IsOpaque(const QImage &image)
{
    if (!image.hasAlphaChannel())
        return true;
    for (int y = 0; y < image.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(line[x]) != 255)
                return false;
        }
    }
    return true;
}

QString Lowered(QString text)
{
    if (text.size() > 1 && text.at(0).isUpper() && text.at(1).isLower())
        text[0] = text.at(0).toLower();
    return text;
}

} // namespace

const OutputFormatInfo *FindOutputFormat(int32_t outputFormat)
{
    if (outputFormat < 0 || outputFormat >= int32_t(kOutputFormats.size()))
        return nullptr;
    return &kOutputFormats[size_t(outputFormat)];
}

int GetEncoderClsid(QStringView mimeType, QByteArray *encoder)
{
    const QList<QByteArray> writers = QImageWriter::supportedMimeTypes();
    for (qsizetype i = 0; i < writers.size(); ++i) {
        if (QString::fromLatin1(writers.at(i)) != mimeType)
            continue;
        const QList<QByteArray> formats = QImageWriter::imageFormatsForMimeType(writers.at(i));
        if (formats.isEmpty())
            return -1;
        if (encoder)
            *encoder = formats.first();
        return int(i);
    }
    return -1;
}

QString OutputBaseName(QStringView sourcePath)
{
    const qsizetype slash = sourcePath.lastIndexOf(kPathSeparator);
    const qsizetype dot = sourcePath.lastIndexOf(u'.');
    const qsizetype count = dot - slash - 1;
    return count > 0 ? sourcePath.mid(slash + 1, count).toString() : QString();
}

OutputTarget ResolveOutputTarget(const QString &sourcePath, const CPreferences &prefs)
{
    OutputTarget target;
    const OutputFormatInfo *format = FindOutputFormat(prefs.outputFormat);
    if (!format) {
        target.error =
            u"output format %1 is not one of 0 (JPG) to 3 (TIFF)"_s.arg(prefs.outputFormat);
        return target;
    }
    QString folder;
    switch (prefs.outputFolderOpts) {
    case 0:
        folder = sourcePath.left(std::max<qsizetype>(sourcePath.lastIndexOf(kPathSeparator), 0));
        if (folder.isEmpty() && sourcePath.startsWith(kPathSeparator))
            folder = QString(kPathSeparator);
        break;
    case 1:
        if (prefs.outputFolderPath.isEmpty()) {
            target.error = u"no output folder is set"_s;
            return target;
        }
        folder = prefs.outputFolderPath;
        break;
    default:
        target.error = u"output folder option %1 is not 0 or 1"_s.arg(prefs.outputFolderOpts);
        return target;
    }
    QString name = OutputBaseName(sourcePath);
    switch (prefs.outputFileNameOpts) {
    case 0:
        break;
    case 1:
        name += prefs.outputFileNameSuffix;
        break;
    default:
        target.error = u"output file name option %1 is not 0 or 1"_s.arg(prefs.outputFileNameOpts);
        return target;
    }
    target.folder = folder;
    target.path = JoinPath(folder, name + u'.' + format->extension.toString());
    target.format = format;
    return target;
}

FileIdentity IdentifyFile(const QString &path)
{
    FileIdentity id;
    if (path.isEmpty())
        return id;
#ifdef Q_OS_UNIX
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return id;
    id.device = quint64(st.st_dev);
    id.inode = quint64(st.st_ino);
#else
    id.canonicalPath = QFileInfo(path).canonicalFilePath();
    if (id.canonicalPath.isEmpty())
        return id;
#endif
    id.valid = true;
    return id;
}

void ProtectedFiles::add(const QString &path)
{
    FileIdentity id = IdentifyFile(path);
    if (!id.valid)
        return;
    const auto key = [](const FileIdentity &f) {
        return std::tie(f.device, f.inode, f.canonicalPath);
    };
    const auto at = std::lower_bound(
        m_files.begin(), m_files.end(), id,
        [&](const FileIdentity &a, const FileIdentity &b) { return key(a) < key(b); });
    if (at == m_files.end() || !(*at == id))
        m_files.insert(at, std::move(id));
}

bool ProtectedFiles::contains(const FileIdentity &file) const
{
    if (!file.valid)
        return false;
    const auto key = [](const FileIdentity &f) {
        return std::tie(f.device, f.inode, f.canonicalPath);
    };
    return std::binary_search(
        m_files.begin(), m_files.end(), file,
        [&](const FileIdentity &a, const FileIdentity &b) { return key(a) < key(b); });
}

QString RefuseOutputPath(const QString &outputPath, const QString &sourcePath,
                         const ProtectedFiles *protectedFiles)
{
    // A source photo is never replaced, whichever path names it.
    const FileIdentity existing = IdentifyFile(outputPath);
    if (QDir::cleanPath(QFileInfo(outputPath).absoluteFilePath()) ==
            QDir::cleanPath(QFileInfo(sourcePath).absoluteFilePath()) ||
        (existing.valid && existing == IdentifyFile(sourcePath)))
        return u"the output would replace the source photo"_s;
    if (protectedFiles && protectedFiles->contains(existing))
        return u"the output would replace another source photo of this batch"_s;
    return {};
}

OutputResult WriteOutput(QImage picture, const DecodedPhoto &photo, const CPreferences &prefs,
                         const ProtectedFiles *protectedFiles)
{
    OutputResult result;
    try {
        const OutputTarget target = ResolveOutputTarget(photo.sourcePath, prefs);
        if (!target) {
            result.error = target.error;
            return result;
        }
        result.outputPath = target.path;
        if (picture.isNull() || picture.width() <= 0 || picture.height() <= 0) {
            result.error = u"nothing to write: the picture is empty"_s;
            return result;
        }

        result.error = RefuseOutputPath(target.path, photo.sourcePath, protectedFiles);
        if (!result.error.isEmpty())
            return result;

        // JPEG has an encoder of its own here (it streams, turns strip by
        // strip and takes the pixels as they are); the rest go through Qt's.
        const bool jpeg = target.format->index == 0;
        QByteArray encoder;
        if (!jpeg && GetEncoderClsid(target.format->mimeType, &encoder) < 0) {
            result.error = u"no encoder for %1"_s.arg(target.format->mimeType);
            return result;
        }
        if (prefs.outputFolderOpts == 1 && !QFileInfo::exists(target.folder) &&
            !CreateFolderPath(target.folder)) {
            result.error = u"cannot create the output folder %1"_s.arg(target.folder);
            return result;
        }

        QStringList warnings;
        JpegSegments segments;
        if (jpeg) {
            if (picture.depth() != 32 || picture.format() == QImage::Format_RGBA8888 ||
                picture.format() == QImage::Format_RGBA8888_Premultiplied ||
                picture.format() == QImage::Format_RGBX8888)
                picture = std::move(picture).convertToFormat(QImage::Format_RGB32);
            const int orientation = photo.sourceOrientation;
            const bool transposed = orientation >= 5 && orientation <= 8;
            const QSize stored = transposed ? picture.size().transposed() : picture.size();
            if (!photo.metadata.isEmpty())
                segments = MetadataSegments(photo.metadata, stored, orientation, warnings);
            else if (picture.colorSpace().isValid())
                AppendIccSegments(segments, picture.colorSpace().iccProfile());
        } else if (IsOpaque(picture) && picture.format() == QImage::Format_ARGB32_Premultiplied) {
            // Opaque premultiplied pixels are plain RGB: no alpha channel is written.
            picture.reinterpretAsFormat(QImage::Format_RGB32);
        }

        QSaveFile file(target.path);
        if (!file.open(QIODevice::WriteOnly)) {
            result.error = u"cannot write %1: %2"_s.arg(target.path, Lowered(file.errorString()));
            return result;
        }
        if (jpeg) {
            // Pixels are stored turned back only when the tag that turns
            // them upright again is written with them.
            const bool tagged = !segments.isEmpty() && segments.first().payload.startsWith("Exif");
            const QString failed =
                EncodeJpeg(picture, tagged ? photo.sourceOrientation : 0, segments, &file);
            if (!failed.isEmpty()) {
                result.error = u"cannot encode %1: %2"_s.arg(target.path, Lowered(failed));
                if (file.error() != QFileDevice::NoError)
                    result.error =
                        u"cannot write %1: %2"_s.arg(target.path, Lowered(file.errorString()));
                file.cancelWriting();
                return result;
            }
        } else {
            QImageWriter writer(&file, encoder);
            if (target.format->index == 3)
                writer.setCompression(1); // LZW, as other TIFF writers do by default
            if (!writer.write(picture)) {
                result.error =
                    u"cannot encode %1: %2"_s.arg(target.path, Lowered(writer.errorString()));
                file.cancelWriting();
                return result;
            }
        }
        if (!file.commit()) {
            result.error = u"cannot write %1: %2"_s.arg(target.path, Lowered(file.errorString()));
            return result;
        }
        result.warning = warnings.join(u"; "_s);
    } catch (const std::bad_alloc &) {
        result.error = u"not enough memory to write the output"_s;
    } catch (const std::exception &e) {
        result.error = u"cannot write output: "_s + QString::fromLocal8Bit(e.what());
    }
    return result;
}

} // namespace kw
