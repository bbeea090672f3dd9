#pragma once

// Photos made by the tests: marked corners, photo-like content, files in the
// five input formats, and an EXIF Orientation tag set with Exiv2.
#include "render/photo_input.h"

#include <QBuffer>
#include <QColor>
#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <QRandomGenerator>

#include <exiv2/exiv2.hpp>

#include <memory>

#include <array>
#include <cmath>
#include <cstdlib>
#include <string>

namespace kw::test {

// The four corner colours of a marked picture: top left, top right, bottom
// left, bottom right. Far apart, so JPEG compression cannot confuse them.
inline const QRgb kCornerColours[4] = {qRgb(220, 30, 30), qRgb(30, 200, 40), qRgb(40, 60, 220),
                                       qRgb(235, 225, 40)};

// A picture split into four quadrants of the corner colours.
inline QImage QuadrantImage(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, kCornerColours[(y >= height / 2) * 2 + (x >= width / 2)]);
    }
    return image;
}

// The colour a pixel near a corner shows, as an index into kCornerColours,
// or -1 when it is none of them (within a JPEG's tolerance).
inline int CornerColourAt(const QImage &image, int x, int y)
{
    const QColor c = image.pixelColor(x, y);
    for (int i = 0; i < 4; ++i) {
        const QColor want(kCornerColours[i]);
        if (std::abs(c.red() - want.red()) + std::abs(c.green() - want.green()) +
                std::abs(c.blue() - want.blue()) <
            40)
            return i;
    }
    return -1;
}

// Corner indices of a picture, read a few pixels inside each corner.
inline std::array<int, 4> Corners(const QImage &image)
{
    const int r = image.width() - 3;
    const int b = image.height() - 3;
    return {CornerColourAt(image, 2, 2), CornerColourAt(image, r, 2), CornerColourAt(image, 2, b),
            CornerColourAt(image, r, b)};
}

// Smooth gradients, shapes with edges and some grain, so that a photo filter
// and a JPEG encoder meet what they meet in a photograph.
inline QImage PhotoLikeImage(int width, int height, quint32 seed = 7)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const double u = double(x) / width, v = double(y) / height;
            line[x] =
                qRgb(int(40 + 180 * u), int(60 + 120 * v), int(128 + 90 * std::sin(7 * u + 5 * v)));
        }
    }
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QRandomGenerator rng(seed);
    for (int i = 0; i < 40; ++i) {
        painter.setBrush(QColor::fromRgb(rng.generate() | 0xff000000));
        painter.setPen(Qt::NoPen);
        const int s = int(rng.bounded(width / 6 + 1)) + 4;
        painter.drawEllipse(int(rng.bounded(width)), int(rng.bounded(height)), s, s);
    }
    painter.end();
    for (int y = 0; y < height; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const int n = int(rng.bounded(13)) - 6;
            line[x] = qRgb(qBound(0, qRed(line[x]) + n, 255), qBound(0, qGreen(line[x]) + n, 255),
                           qBound(0, qBlue(line[x]) + n, 255));
        }
    }
    return image;
}

inline QByteArray Encode(const QImage &image, const char *format, int quality = 92,
                         bool progressive = false)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setQuality(quality);
    writer.setProgressiveScanWrite(progressive);
    return writer.write(image) ? bytes : QByteArray();
}

// A GIF of up to 256 colours (Qt reads GIF but does not write it). The LZW
// stream sends every pixel as a literal code and resets the table before it
// would grow past 9-bit codes.
inline QByteArray EncodeGif(const QImage &source)
{
    const QImage image = source.convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither);
    QByteArray b("GIF89a");
    auto u16 = [&](int v) {
        b.append(char(v & 0xff));
        b.append(char(v >> 8));
    };
    u16(image.width());
    u16(image.height());
    b.append(char(0xF7)).append('\0').append('\0'); // 256-entry global table
    const QList<QRgb> table = image.colorTable();
    for (int i = 0; i < 256; ++i) {
        const QRgb c = i < table.size() ? table[i] : 0;
        b.append(char(qRed(c))).append(char(qGreen(c))).append(char(qBlue(c)));
    }
    b.append(char(0x2C));
    u16(0);
    u16(0);
    u16(image.width());
    u16(image.height());
    b.append('\0').append(char(8));
    QByteArray data;
    quint32 bits = 0;
    int held = 0;
    auto put = [&](int code) {
        bits |= quint32(code) << held;
        for (held += 9; held >= 8; held -= 8, bits >>= 8)
            data.append(char(bits & 0xff));
    };
    int sinceClear = 0;
    put(256);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            put(image.constScanLine(y)[x]);
            if (++sinceClear == 254) {
                put(256);
                sinceClear = 0;
            }
        }
    }
    put(257);
    if (held > 0)
        data.append(char(bits & 0xff));
    for (qsizetype i = 0; i < data.size(); i += 255) {
        const qsizetype n = std::min<qsizetype>(255, data.size() - i);
        b.append(char(n)).append(data.mid(i, n));
    }
    b.append('\0').append(char(0x3B));
    return b;
}

// Rewrites the metadata of an image file in memory with Exiv2.
template <typename Edit>
QByteArray WithMetadata(const QByteArray &file, Edit edit)
{
    kw::InitPhotoMetadataLibrary();
    // Owned at once by a unique_ptr: Exiv2 0.27 returns a std::auto_ptr.
    std::unique_ptr<Exiv2::Image> image(
        Exiv2::ImageFactory::open(reinterpret_cast<const Exiv2::byte *>(file.constData()),
                                  long(file.size()))
            .release());
    image->readMetadata();
    edit(*image);
    image->writeMetadata();
    Exiv2::BasicIo &io = image->io();
    io.seek(0, Exiv2::BasicIo::beg);
    const Exiv2::DataBuf data = io.read(long(io.size()));
    return QByteArray(reinterpret_cast<const char *>(data.pData_), data.size_);
}

inline QByteArray WithOrientation(const QByteArray &jpeg, int orientation)
{
    return WithMetadata(jpeg, [&](Exiv2::Image &image) {
        image.exifData()["Exif.Image.Orientation"] = uint16_t(orientation);
    });
}

// Mean absolute difference over all channels of two pictures of one size.
inline double MeanAbsDiff(const QImage &a, const QImage &b)
{
    const QImage x = a.convertToFormat(QImage::Format_RGB32);
    const QImage y = b.convertToFormat(QImage::Format_RGB32);
    double sum = 0;
    for (int row = 0; row < x.height(); ++row) {
        const auto *p = reinterpret_cast<const QRgb *>(x.constScanLine(row));
        const auto *q = reinterpret_cast<const QRgb *>(y.constScanLine(row));
        for (int col = 0; col < x.width(); ++col) {
            sum += std::abs(qRed(p[col]) - qRed(q[col])) +
                   std::abs(qGreen(p[col]) - qGreen(q[col])) +
                   std::abs(qBlue(p[col]) - qBlue(q[col]));
        }
    }
    return sum / (3.0 * x.width() * x.height());
}

} // namespace kw::test
