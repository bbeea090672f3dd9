#include "controls/artwork.h"

#include <QFont>
#include <QGuiApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QSvgRenderer>

#include <algorithm>
#include <cmath>
#include <span>

namespace kw {

namespace {

// ---------------------------------------------------------------- palette

// One accent (teal) and one warm highlight carry the whole set; the dark bars
// sit on the slate banner, the light ones on the grey window or white pages.
constexpr QRgb kAccent = qRgb(0x34, 0xb3, 0xa0);
constexpr QRgb kAccentLight = qRgb(0x6a, 0xd8, 0xc6);
constexpr QRgb kAccentDark = qRgb(0x1f, 0x75, 0x68);
constexpr QRgb kStop = qRgb(0xff, 0x93, 0x85);
constexpr QRgb kInkOnDark = qRgb(0xe8, 0xed, 0xf2);
constexpr QRgb kLabelOnDark = qRgb(0xcf, 0xd6, 0xdd);
constexpr QRgb kInkOnLight = qRgb(0x36, 0x41, 0x4d);
constexpr QRgb kFrameLight = qRgb(0x8d, 0x96, 0xa0);

QColor Rgba(QRgb rgb, qreal alpha)
{
    QColor color = QColor::fromRgb(rgb);
    color.setAlphaF(float(alpha));
    return color;
}

QString ArtPath(QStringView name)
{
    QString path = QStringLiteral(":/kelvane/art/");
    path += name;
    path += QStringLiteral(".svg");
    return path;
}

QFont LabelFont()
{
    QFont font(QStringLiteral("Tahoma"));
    font.setPixelSize(11);
    font.setStyleStrategy(QFont::PreferAntialias);
    font.setHintingPreference(QFont::PreferNoHinting);
    return font;
}

// ---------------------------------------------------------------- drawing helpers

void DrawSvg(QPainter &painter, QStringView name, const QRectF &target)
{
    QSvgRenderer renderer(ArtPath(name));
    renderer.render(&painter, target);
}

// Draws a one-colour glyph (an SVG drawn in black) in `color`. The glyph is
// drawn at the painter's device resolution so it stays sharp when scaled.
void DrawGlyph(QPainter &painter, QStringView name, const QRectF &target, const QColor &color)
{
    const QTransform t = painter.deviceTransform();
    const qreal sx = std::hypot(t.m11(), t.m12());
    const qreal sy = std::hypot(t.m21(), t.m22());
    const QSize pixels(std::max(1, int(std::ceil(target.width() * sx))),
                       std::max(1, int(std::ceil(target.height() * sy))));
    QImage glyph(pixels, QImage::Format_ARGB32_Premultiplied);
    glyph.fill(Qt::transparent);
    {
        QPainter gp(&glyph);
        gp.setRenderHint(QPainter::Antialiasing);
        QSvgRenderer renderer(ArtPath(name));
        renderer.render(&gp, QRectF(QPointF(0, 0), QSizeF(pixels)));
        gp.setCompositionMode(QPainter::CompositionMode_SourceIn);
        gp.fillRect(glyph.rect(), color);
    }
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(target, glyph);
    painter.restore();
}

QRectF CenteredSquare(const QRectF &area, qreal side, qreal top = -1)
{
    const qreal x = area.left() + (area.width() - side) / 2;
    const qreal y = top >= 0 ? area.top() + top : area.top() + (area.height() - side) / 2;
    return {x, y, side, side};
}

// ---------------------------------------------------------------- button bars

enum class BarState { Normal, Hot, Pressed, Disabled };
enum class BarStyle { Dark, Light };

struct BarButtonArt
{
    QRect rect;
    QStringView glyph;
    QStringView label = {};  // under the glyph inside the button (dark bars)
    QRgb tint = 0;           // the glyph's colour when it is not the usual ink
    QStringView glyph2 = {}; // a small second glyph to the right (a drop-down chevron)
    bool labelBelow = false; // the label sits under the button, outside it
};

struct BarArt
{
    QSize size;
    BarStyle style;
    std::span<const BarButtonArt> buttons;
    std::span<const qreal> separators; // x of faint lines between buttons
};

constexpr BarButtonArt kToolbarButtons[] = {
    {.rect = QRect(0, 0, 52, 50), .glyph = u"glyph-add-photos", .label = u"Add"},
    {.rect = QRect(53, 0, 85, 50), .glyph = u"glyph-remove", .label = u"Remove"},
    {.rect = QRect(138, 0, 97, 50), .glyph = u"glyph-preview", .label = u"Preview"},
    {.rect = QRect(236, 0, 65, 50),
     .glyph = u"glyph-process",
     .label = u"Process",
     .tint = kAccentLight},
    {.rect = QRect(302, 0, 44, 50), .glyph = u"glyph-abort", .label = u"Abort", .tint = kStop},
};
constexpr qreal kToolbarSeparators[] = {52.5, 137.5, 235.5, 301.5};

constexpr BarButtonArt kSettingsButtons[] = {
    {.rect = QRect(22, 2, 35, 32),
     .glyph = u"glyph-resize",
     .label = u"Resize",
     .labelBelow = true},
    {.rect = QRect(112, 2, 35, 32),
     .glyph = u"glyph-settings",
     .label = u"Settings",
     .labelBelow = true},
};

constexpr BarButtonArt kTemplateButtons[] = {
    {.rect = QRect(0, 0, 36, 23), .glyph = u"glyph-plus", .tint = kAccentDark},
    {.rect = QRect(37, 0, 52, 23), .glyph = u"glyph-edit", .glyph2 = u"glyph-chevron-down"},
};

constexpr BarButtonArt kLayerButtons[] = {
    {.rect = QRect(0, 0, 32, 24), .glyph = u"glyph-layers", .glyph2 = u"glyph-chevron-down"},
};

const BarArt kToolbarArt{QSize(360, 51), BarStyle::Dark, kToolbarButtons, kToolbarSeparators};
const BarArt kSettingsArt{QSize(159, 51), BarStyle::Dark, kSettingsButtons, {}};
const BarArt kTemplateArt{QSize(187, 23), BarStyle::Light, kTemplateButtons, {}};
const BarArt kLayerArt{QSize(32, 24), BarStyle::Light, kLayerButtons, {}};

void DrawLightPlate(QPainter &p, const QRectF &rect, BarState state)
{
    const QRectF r = rect.adjusted(0.5, 0.5, -0.5, -0.5);
    QLinearGradient fill(r.topLeft(), r.bottomLeft());
    QColor border = QColor::fromRgb(kFrameLight);
    switch (state) {
    case BarState::Normal:
        fill.setColorAt(0, QColor(0xfb, 0xfb, 0xfc));
        fill.setColorAt(1, QColor(0xe6, 0xe9, 0xec));
        break;
    case BarState::Hot:
        fill.setColorAt(0, QColor(0xff, 0xff, 0xff));
        fill.setColorAt(1, QColor(0xe4, 0xf5, 0xf2));
        border = QColor::fromRgb(kAccent);
        break;
    case BarState::Pressed:
        fill.setColorAt(0, QColor(0xd3, 0xd9, 0xde));
        fill.setColorAt(1, QColor(0xe3, 0xe7, 0xea));
        border = QColor(0x6b, 0x75, 0x7f);
        break;
    case BarState::Disabled:
        fill.setColorAt(0, QColor(0xee, 0xef, 0xf1));
        fill.setColorAt(1, QColor(0xe6, 0xe8, 0xea));
        border = QColor(0xb3, 0xb9, 0xbf);
        break;
    }
    p.setPen(QPen(border, 1));
    p.setBrush(fill);
    p.drawRoundedRect(r, 3, 3);
    if (state == BarState::Normal || state == BarState::Hot) {
        p.setPen(QPen(Rgba(0xffffff, 0.9), 1));
        p.drawLine(QPointF(r.left() + 3, r.top() + 1), QPointF(r.right() - 3, r.top() + 1));
    }
}

void DrawDarkPlate(QPainter &p, const QRectF &rect, BarState state)
{
    const QRectF r = rect.adjusted(2, 2, -2, -2);
    p.setPen(Qt::NoPen);
    if (state == BarState::Hot) {
        p.setBrush(Rgba(0xffffff, 0.13));
        p.drawRoundedRect(r, 5, 5);
    } else if (state == BarState::Pressed) {
        p.setBrush(Rgba(0x000000, 0.32));
        p.drawRoundedRect(r, 5, 5);
        p.setBrush(QColor::fromRgb(kAccent));
        p.drawRoundedRect(QRectF(r.left() + 6, r.bottom() - 2, r.width() - 12, 2), 1, 1);
    }
}

QColor GlyphColor(const BarArt &bar, const BarButtonArt &button, BarState state)
{
    if (bar.style == BarStyle::Dark) {
        switch (state) {
        case BarState::Normal:
            return QColor::fromRgb(button.tint ? button.tint : kInkOnDark);
        case BarState::Hot:
            return button.tint ? QColor::fromRgb(button.tint).lighter(112) : QColor(Qt::white);
        case BarState::Pressed:
            return QColor::fromRgb(kAccentLight);
        case BarState::Disabled:
            return Rgba(kInkOnDark, 0.28);
        }
    }
    const QColor ink = QColor::fromRgb(button.tint ? button.tint : kInkOnLight);
    return state == BarState::Disabled ? Rgba(ink.rgb(), 0.35) : ink;
}

void DrawBarButton(QPainter &p, const BarArt &bar, const BarButtonArt &button, BarState state)
{
    const QRectF rect(button.rect);
    if (bar.style == BarStyle::Dark)
        DrawDarkPlate(p, rect, state);
    else
        DrawLightPlate(p, rect, state);

    // Pressed content sinks by one pixel.
    const QPointF sink = state == BarState::Pressed ? QPointF(0, 1) : QPointF(0, 0);
    const QColor ink = GlyphColor(bar, button, state);

    if (bar.style == BarStyle::Dark && !button.labelBelow) {
        // Glyph above a label.
        DrawGlyph(p, button.glyph, CenteredSquare(rect, 24, 5).translated(sink), ink);
        QColor text = state == BarState::Disabled ? Rgba(kLabelOnDark, 0.32)
                      : state == BarState::Normal ? QColor::fromRgb(kLabelOnDark)
                                                  : QColor(Qt::white);
        p.setFont(LabelFont());
        p.setPen(text);
        p.drawText(QRectF(rect.left(), 30, rect.width(), 14).translated(sink),
                   Qt::AlignHCenter | Qt::AlignVCenter, button.label.toString());
        return;
    }
    if (bar.style == BarStyle::Dark) {
        DrawGlyph(p, button.glyph, CenteredSquare(rect, 22).translated(sink), ink);
        return;
    }
    // Light bars: a glyph, with a chevron beside it when the button opens a menu.
    const qreal side = rect.height() <= 24 ? 15 : 18;
    if (button.glyph2.isEmpty()) {
        DrawGlyph(p, button.glyph, CenteredSquare(rect, side).translated(sink), ink);
        return;
    }
    const qreal chevron = 9;
    const qreal total = side + 1 + chevron;
    const qreal left = rect.left() + (rect.width() - total) / 2;
    const qreal top = rect.top() + (rect.height() - side) / 2;
    DrawGlyph(p, button.glyph, QRectF(left, top, side, side).translated(sink), ink);
    DrawGlyph(
        p, button.glyph2,
        QRectF(left + side + 1, rect.top() + (rect.height() - chevron) / 2 + 1, chevron, chevron)
            .translated(sink),
        ink);
}

// The whole bar in one state. Everything outside the buttons is the same in
// every state, so the bar's painting rule (which picture the bar starts from)
// never shows.
void DrawBar(QPainter &p, const BarArt &bar, BarState state)
{
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    for (qreal x : bar.separators) {
        QLinearGradient line(0, 8, 0, 42);
        line.setColorAt(0, Rgba(0xffffff, 0));
        line.setColorAt(0.5, Rgba(0xffffff, 0.16));
        line.setColorAt(1, Rgba(0xffffff, 0));
        p.fillRect(QRectF(x - 0.5, 8, 1, 34), line);
    }
    for (const BarButtonArt &button : bar.buttons) {
        DrawBarButton(p, bar, button, state);
        if (button.labelBelow) {
            p.setFont(LabelFont());
            p.setPen(QColor::fromRgb(kLabelOnDark));
            const QRectF under(button.rect.center().x() - 45, button.rect.bottom() + 2, 91, 14);
            p.drawText(under, Qt::AlignHCenter | Qt::AlignVCenter, button.label.toString());
        }
    }
}

// ---------------------------------------------------------------- other pictures

void DrawSkinButton(QPainter &p, QSizeF size, int id)
{
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r(0.5, 0.5, size.width() - 1, size.height() - 1);
    QLinearGradient fill(r.topLeft(), r.bottomLeft());
    QColor border;
    if (id == kBmpSkinHot) {
        fill.setColorAt(0, QColor(0x3f, 0xc2, 0xae));
        fill.setColorAt(1, QColor(0x28, 0x98, 0x86));
        border = QColor(0x1c, 0x6e, 0x62);
    } else if (id == kBmpSkinPressed) {
        fill.setColorAt(0, QColor(0x1f, 0x6f, 0x63));
        fill.setColorAt(1, QColor(0x27, 0x86, 0x77));
        border = QColor(0x16, 0x52, 0x49);
    } else {
        fill.setColorAt(0, QColor(0x62, 0x70, 0x7e));
        fill.setColorAt(1, QColor(0x48, 0x54, 0x61));
        border = QColor(0x2c, 0x34, 0x3d);
    }
    p.setPen(QPen(border, 1));
    p.setBrush(fill);
    p.drawRoundedRect(r, 4, 4);
    if (id != kBmpSkinPressed) {
        p.setPen(QPen(Rgba(0xffffff, 0.18), 1));
        p.drawLine(QPointF(r.left() + 4, r.top() + 1), QPointF(r.right() - 4, r.top() + 1));
    }
}

void DrawPathBox(QPainter &p, int id)
{
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF field(0.5, 0.5, 139, 22);
    p.setPen(QPen(QColor(0x9a, 0xa3, 0xad), 1));
    p.setBrush(Qt::white);
    p.drawRoundedRect(field, 3, 3);
    p.setPen(QPen(Rgba(0x000000, 0.07), 1));
    p.drawLine(QPointF(3, 2), QPointF(137, 2));
    if (id == kBmpPathBoxFilled) {
        p.setPen(QPen(QColor(0xdd, 0xe1, 0xe5), 1));
        p.drawLine(QPointF(119.5, 5), QPointF(119.5, 18));
        DrawGlyph(p, u"glyph-clear", QRectF(122.5, 4.5, 14, 14), QColor(0x7b, 0x86, 0x91));
    }
}

// ---------------------------------------------------------------- the table

struct ArtEntry
{
    int id;
    QSize size;
};

constexpr ArtEntry kArt[] = {
    {kIconApp, QSize(256, 256)},
    {kBmpToolbarPressed, QSize(360, 51)},
    {kBmpToolbarDisabled, QSize(360, 51)},
    {kBmpToolbarHot, QSize(360, 51)},
    {kBmpToolbarNormal, QSize(360, 51)},
    {kBmpTemplateBarNormal, QSize(187, 23)},
    {kBmpTemplateBarPressed, QSize(187, 23)},
    {kBmpTemplateBarDisabled, QSize(187, 23)},
    {kBmpTemplateBarHot, QSize(187, 23)},
    {kBmpLayerButton, QSize(32, 24)},
    {kBmpLayerButtonPressed, QSize(32, 24)},
    {kBmpPathBoxFilled, QSize(140, 23)},
    {kBmpPathBoxEmpty, QSize(140, 23)},
    {kBmpSkinNormal, QSize(75, 23)},
    {kBmpSkinPressed, QSize(75, 23)},
    {kBmpSkinHot, QSize(75, 23)},
    {kBmpQuickStartProcess, QSize(200, 120)},
    {kBmpQuickStartTemplates, QSize(200, 120)},
    {kBmpQuickStartAddPhotos, QSize(200, 120)},
    {kBmpBanner, QSize(400, 51)},
    {kBmpSettingsBarNormal, QSize(159, 51)},
    {kBmpSettingsBarPressed, QSize(159, 51)},
    {kBmpSettingsBarDisabled, QSize(159, 51)},
    {kBmpSettingsBarHot, QSize(159, 51)},
    {kCurPan, QSize(32, 32)},
    {kCurPanDrag, QSize(32, 32)},
};

// Paints picture `id` at its natural size in device-independent pixels.
void PaintArt(QPainter &p, int id, QSize size)
{
    const QRectF whole(QPointF(0, 0), QSizeF(size));
    switch (id) {
    case kIconApp:
        DrawSvg(p, u"app-icon", whole);
        break;
    case kBmpToolbarNormal:
        DrawBar(p, kToolbarArt, BarState::Normal);
        break;
    case kBmpToolbarHot:
        DrawBar(p, kToolbarArt, BarState::Hot);
        break;
    case kBmpToolbarPressed:
        DrawBar(p, kToolbarArt, BarState::Pressed);
        break;
    case kBmpToolbarDisabled:
        DrawBar(p, kToolbarArt, BarState::Disabled);
        break;
    case kBmpSettingsBarNormal:
        DrawBar(p, kSettingsArt, BarState::Normal);
        break;
    case kBmpSettingsBarHot:
        DrawBar(p, kSettingsArt, BarState::Hot);
        break;
    case kBmpSettingsBarPressed:
        DrawBar(p, kSettingsArt, BarState::Pressed);
        break;
    case kBmpSettingsBarDisabled:
        DrawBar(p, kSettingsArt, BarState::Disabled);
        break;
    case kBmpTemplateBarNormal:
        DrawBar(p, kTemplateArt, BarState::Normal);
        break;
    case kBmpTemplateBarHot:
        DrawBar(p, kTemplateArt, BarState::Hot);
        break;
    case kBmpTemplateBarPressed:
        DrawBar(p, kTemplateArt, BarState::Pressed);
        break;
    case kBmpTemplateBarDisabled:
        DrawBar(p, kTemplateArt, BarState::Disabled);
        break;
    case kBmpLayerButton:
        DrawBar(p, kLayerArt, BarState::Normal);
        break;
    case kBmpLayerButtonPressed:
        DrawBar(p, kLayerArt, BarState::Pressed);
        break;
    case kBmpPathBoxFilled:
    case kBmpPathBoxEmpty:
        DrawPathBox(p, id);
        break;
    case kBmpSkinNormal:
    case kBmpSkinHot:
    case kBmpSkinPressed:
        DrawSkinButton(p, QSizeF(size), id);
        break;
    case kBmpQuickStartProcess:
        DrawSvg(p, u"quick-start-process", whole);
        break;
    case kBmpQuickStartTemplates:
        DrawSvg(p, u"quick-start-templates", whole);
        break;
    case kBmpQuickStartAddPhotos:
        DrawSvg(p, u"quick-start-add-photos", whole);
        break;
    case kBmpBanner:
        DrawSvg(p, u"banner", whole);
        break;
    case kCurPan:
        DrawSvg(p, u"cursor-pan", whole);
        break;
    case kCurPanDrag:
        DrawSvg(p, u"cursor-pan-drag", whole);
        break;
    default:
        break;
    }
}

QImage RenderArt(int id, QSize size, qreal dpr)
{
    const QSize natural = BuiltInImageSize(id);
    if (!natural.isValid() || size.isEmpty() || !(dpr > 0))
        return {};
    dpr = std::clamp(dpr, 0.25, 8.0);
    const QSize pixels(std::max(1, int(std::ceil(size.width() * dpr))),
                       std::max(1, int(std::ceil(size.height() * dpr))));
    QImage image(pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.scale(qreal(pixels.width()) / natural.width(), qreal(pixels.height()) / natural.height());
    PaintArt(p, id, natural);
    p.end();
    // The skin buttons are flat plates: stretching them as vectors would still
    // distort the corners, so they are drawn anew at the asked size.
    if ((id == kBmpSkinNormal || id == kBmpSkinHot || id == kBmpSkinPressed) && size != natural) {
        image.fill(Qt::transparent);
        QPainter sp(&image);
        sp.scale(dpr, dpr);
        DrawSkinButton(sp, QSizeF(size), id);
    }
    image.setDevicePixelRatio(dpr);
    return image;
}

} // namespace

QSize BuiltInImageSize(int id)
{
    for (const ArtEntry &entry : kArt) {
        if (entry.id == id)
            return entry.size;
    }
    return {};
}

QList<int> BuiltInImageIds()
{
    QList<int> ids;
    for (const ArtEntry &entry : kArt)
        ids << entry.id;
    std::sort(ids.begin(), ids.end());
    return ids;
}

QImage BuiltInImage(int id)
{
    return RenderArt(id, BuiltInImageSize(id), 1.0);
}

QPixmap BuiltInPixmap(int id, qreal devicePixelRatio)
{
    return BuiltInPixmap(id, BuiltInImageSize(id), devicePixelRatio);
}

QPixmap BuiltInPixmap(int id, QSize size, qreal devicePixelRatio)
{
    const QImage image = RenderArt(id, size, devicePixelRatio);
    if (image.isNull())
        return {};
    return QPixmap::fromImage(image);
}

QCursor BuiltInCursor(int id)
{
    if (id != kCurPan && id != kCurPanDrag)
        return QCursor(Qt::ArrowCursor);
    const qreal dpr = qGuiApp ? qGuiApp->devicePixelRatio() : 1.0;
    return QCursor(BuiltInPixmap(id, dpr), 16, 16);
}

QIcon AppIcon()
{
    QIcon icon;
    for (int side : {16, 22, 24, 32, 48, 64, 128, 256})
        icon.addPixmap(BuiltInPixmap(kIconApp, QSize(side, side), 1.0));
    return icon;
}

} // namespace kw
