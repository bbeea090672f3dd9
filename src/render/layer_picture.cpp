#include "render/layer_picture.h"

#include "render/photo_resize.h"

#include <QPainter>
#include <QSvgRenderer>
#include <QXmlStreamReader>

#include <algorithm>
#include <atomic>
#include <utility>
#include <vector>

using namespace Qt::StringLiterals;

namespace kw {

struct LayerPicture::SvgDrawing
{
    QByteArray source;
    // Names the drawing in each thread's renderer cache; never reused, unlike
    // an address.
    quint64 serial = 0;
};

namespace {

std::atomic<quint64> g_nextSvgSerial{1};

// The renderers this thread made, the most recently used last. A few are
// kept: a run draws the same logos on every photo, and the editor's preview
// reads the template again at every edit, which makes new drawings.
constexpr size_t kRenderersPerThread = 4;

// A renderer that starts no timer for an animated drawing (worker threads
// have no event loop to run one).
std::unique_ptr<QSvgRenderer> MakeRenderer(const QByteArray &source)
{
    auto renderer = std::make_unique<QSvgRenderer>();
    renderer->setFramesPerSecond(0);
    renderer->load(source);
    return renderer;
}

QSvgRenderer *ThreadRenderer(quint64 serial, const QByteArray &source)
{
    thread_local std::vector<std::pair<quint64, std::unique_ptr<QSvgRenderer>>> renderers;
    const auto found = std::find_if(renderers.begin(), renderers.end(),
                                    [serial](const auto &entry) { return entry.first == serial; });
    if (found != renderers.end()) {
        std::rotate(found, found + 1, renderers.end());
        return renderers.back().second.get();
    }
    if (renderers.size() >= kRenderersPerThread)
        renderers.erase(renderers.begin());
    renderers.emplace_back(serial, MakeRenderer(source));
    return renderers.back().second.get();
}

// Why `bytes` is not a well-formed XML document whose root is <svg>; empty
// when it is one.
QString XmlProblem(const QByteArray &bytes)
{
    QXmlStreamReader reader(bytes);
    bool rootSeen = false;
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement() && !rootSeen) {
            rootSeen = true;
            if (reader.name() != u"svg")
                return u"not an SVG drawing (its first element is <%1>)"_s.arg(
                    reader.name().toString());
        }
    }
    if (reader.hasError())
        return u"damaged SVG: line %1: %2"_s.arg(reader.lineNumber()).arg(reader.errorString());
    if (!rootSeen)
        return u"not an SVG drawing (no element)"_s;
    return {};
}

} // namespace

LayerPicture::LayerPicture(QImage raster) : m_raster(std::move(raster)), m_size(m_raster.size()) {}

Result<LayerPicture> LayerPicture::FromSvg(const QByteArray &bytes)
{
    if (const QString problem = XmlProblem(bytes); !problem.isEmpty())
        return Failure{problem};
    const std::unique_ptr<QSvgRenderer> renderer = MakeRenderer(bytes);
    if (!renderer->isValid())
        return Failure{u"damaged SVG: the SVG renderer cannot draw it"_s};
    const QSize size = renderer->defaultSize();
    if (size.width() <= 0 || size.height() <= 0)
        return Failure{u"the SVG drawing has no size (neither width and height nor a view box)"_s};
    if (int64_t(size.width()) * size.height() > kMaxPhotoPixels)
        return Failure{
            u"the SVG drawing's size of %1 x %2 is more than %3 megapixels"_s.arg(size.width())
                .arg(size.height())
                .arg(kMaxPhotoPixels / 1'000'000)};
    LayerPicture picture;
    auto drawing = std::make_shared<SvgDrawing>();
    drawing->source = bytes;
    drawing->serial = g_nextSvgSerial.fetch_add(1, std::memory_order_relaxed);
    picture.m_svg = std::move(drawing);
    picture.m_size = size;
    return picture;
}

QImage LayerPicture::imageAt(QSize drawn) const
{
    if (isNull() || drawn.width() <= 0 || drawn.height() <= 0 ||
        int64_t(drawn.width()) * drawn.height() > kMaxPhotoPixels)
        return {};
    if (!m_svg) {
        if (drawn == m_raster.size())
            return m_raster.format() == QImage::Format_ARGB32_Premultiplied
                       ? m_raster
                       : m_raster.convertToFormat(QImage::Format_ARGB32_Premultiplied);
        return ResamplePhoto(m_raster, drawn);
    }
    QSvgRenderer *renderer = ThreadRenderer(m_svg->serial, m_svg->source);
    // An animated drawing's clock starts at its first draw: a fresh renderer
    // shows its first frame, the same on every photo.
    std::unique_ptr<QSvgRenderer> fresh;
    if (renderer->animated()) {
        fresh = MakeRenderer(m_svg->source);
        renderer = fresh.get();
    }
    QImage image(drawn, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull() || !renderer->isValid())
        return {};
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
    renderer->render(&painter, QRectF(QPointF(0, 0), QSizeF(drawn)));
    return image;
}

bool LooksLikeSvg(const QByteArray &head)
{
    qsizetype i = head.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    while (i < head.size() &&
           (head[i] == ' ' || head[i] == '\t' || head[i] == '\r' || head[i] == '\n'))
        ++i;
    return i < head.size() && head[i] == '<';
}

} // namespace kw
