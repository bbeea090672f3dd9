#pragma once

#include "model/template_file.h"
#include "model/watermark_conf.h"
#include "platform/result.h"

#include <QByteArray>
#include <QImage>
#include <QPointF>
#include <QRect>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

class QPainter;

// The per-photo perturbation of the mark that makes marks of one collection
// differ: a smooth random displacement field (random noise smoothed by a
// Gaussian, scaled so that no point moves further than the largest
// displacement), optionally a small shift of the whole mark and a small fade.
// A mark that is the same in every photo can be estimated from the collection
// (the median of the photos' gradients keeps the mark's edges) and removed;
// one that moves by a pixel differently in every photo cannot.
//
// The field is seeded from the photo's file bytes and the layer records, so a
// re-run gives byte-identical output while two photos never share a field.
// Everything here is pure and may run on any thread at the same time.
namespace kw {

using MarkWarpSeed = std::array<uint8_t, 32>;

// SHA-256 of the file's bytes; fails when the file cannot be read.
Result<QByteArray> FileDigest(const QString &path);

// The seed of one photo's field: SHA-256 of the photo's digest and every
// field of every layer record, first to last.
MarkWarpSeed MarkWarpSeedFor(const QByteArray &photoDigest, std::span<const CWatermarkConf> layers);

// The seed the editor's preview shows its example warp with.
MarkWarpSeed ExampleMarkWarpSeed(std::span<const CWatermarkConf> layers);

// The seed of a render: of the photo at `sourcePath`, or the example seed when
// the path is empty (the editor's sample photo). A photo that cannot be read
// again (it was decoded a moment before) is seeded from its path instead, so
// it is still perturbed, only not reproducibly from its bytes.
MarkWarpSeed MarkWarpSeedForRender(const QString &sourcePath,
                                   std::span<const CWatermarkConf> layers);

// One photo's perturbation over a rectangle of the canvas: the displacement
// at every pixel (where the mark is sampled from, relative to the pixel),
// bilinear between nodes of a grid of `step` pixels.
class MarkWarpField
{
public:
    MarkWarpField() = default;
    MarkWarpField(const MarkWarpSetting &setting, const MarkWarpSeed &seed, QRect area);

    QRect area() const { return m_area; }
    // The displacement at a pixel of the area (shift included).
    QPointF displacementAt(int x, int y) const;
    // The whole mark's shift, already part of displacementAt.
    QPointF shift() const { return m_shift; }
    // The factor the mark's opacity is multiplied by, in (0, 1].
    double opacity() const { return m_opacity; }
    // No point of the area is displaced further than this.
    double reach() const { return m_reach; }

    // The grid: nodes `step` pixels apart from the area's top-left corner,
    // `columns` a row, each holding its displacement (shift included).
    int step() const { return m_step; }
    int columns() const { return m_columns; }
    const std::vector<float> &nodesX() const { return m_dx; }
    const std::vector<float> &nodesY() const { return m_dy; }

private:
    QRect m_area;
    int m_step = 1;
    int m_columns = 0;
    std::vector<float> m_dx, m_dy; // grid nodes, row by row
    QPointF m_shift;
    double m_opacity = 1.0;
    double m_reach = 0.0;
};

// The smallest rectangle of non-transparent pixels; null when there is none.
QRect OpaqueBounds(const QImage &overlay);

// The picture a premultiplied overlay becomes under the field, over the
// field's area (its pixels outside the overlay count as transparent):
// each pixel is the overlay sampled bilinearly at the pixel plus its
// displacement, times the field's opacity. Premultiplied ARGB.
QImage WarpOverlay(const QImage &overlay, const MarkWarpField &field);

// Draws a mark through the perturbation: `drawMark` paints every layer of the
// mark into one transparent overlay of the canvas size; the part that holds
// ink, grown by the largest movement, is warped and composited over
// `canvas` (Format_ARGB32_Premultiplied). The overlay is kept per thread
// and size, cleared after use, so a batch does not allocate and clear
// a canvas-sized picture for every photo. When there is no memory for the
// overlay, the mark is drawn unwarped.
void DrawWarpedMark(QImage &canvas, const MarkWarpSetting &setting, const MarkWarpSeed &seed,
                    const std::function<void(QPainter &)> &drawMark);

} // namespace kw
