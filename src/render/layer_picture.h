#pragma once

#include "platform/result.h"

#include <QByteArray>
#include <QImage>
#include <QSize>

#include <cstdint>
#include <memory>

// A layer's picture (the logo), ready to be drawn at any size: a raster
// picture decoded once, or an SVG drawing kept as its source and rendered at
// the size it is drawn, so that it stays sharp at any size.
//
// Threading: a LayerPicture never changes after it is made; copies share
// their data read-only, and any number of threads may call imageAt on one at
// the same time. SVG drawings are rendered by one renderer per thread (Qt's
// SVG renderer is not shared between threads), made on the thread's first
// use of the drawing and kept for the next photos.
namespace kw {

// SVG documents larger than this (64 MiB) are refused before they are parsed.
inline constexpr qint64 kMaxSvgFileBytes = qint64(64) << 20;

class LayerPicture
{
public:
    LayerPicture() = default;
    // A raster picture drawn as given (upright, any format).
    LayerPicture(QImage raster); // implicit: every QImage is a picture

    bool isNull() const { return m_raster.isNull() && !m_svg; }
    bool isVector() const { return m_svg != nullptr; }
    // The natural size: the raster's pixels, or the SVG's width and height
    // (its view box when it gives none), in pixels.
    QSize size() const { return m_size; }
    int width() const { return m_size.width(); }
    int height() const { return m_size.height(); }

    // The picture at `drawn` pixels, Format_ARGB32_Premultiplied: a raster
    // picture as it is at its natural size, else resampled with the photo
    // filter (which also filters what a smaller picture cannot hold); an SVG
    // rendered at that size with anti-aliasing, stretched to it as a raster
    // picture would be. Null for an empty size, a null picture, or when
    // memory runs out.
    QImage imageAt(QSize drawn) const;

    // Decodes the SVG document `bytes` and checks that it can be drawn.
    // Fails with the cause: XML that is not well-formed (with its line), a
    // root element other than <svg>, a document Qt's SVG renderer refuses,
    // no size, or a size of more than kMaxPhotoPixels.
    static Result<LayerPicture> FromSvg(const QByteArray &bytes);

private:
    struct SvgDrawing;
    QImage m_raster;
    std::shared_ptr<const SvgDrawing> m_svg;
    QSize m_size;
};

// Whether a file that starts with `head` is an XML (SVG) document rather
// than a raster picture: its first character after a UTF-8 byte-order mark
// and white space is '<', which no raster format starts with.
bool LooksLikeSvg(const QByteArray &head);

} // namespace kw
