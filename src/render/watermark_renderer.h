#pragma once

#include "model/watermark_conf.h"
#include "render/loaded_template.h"
#include "render/photo_input.h"

#include <QImage>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QSizeF>
#include <QString>

#include <cstdint>
#include <functional>

class QPainter;

namespace kw {

enum class RenderMode : int32_t {
    EditorPreview = 0, // the template over the built-in sample photo
    OutputPreview = 1, // a source photo, resized and watermarked, shown 1:1
    BatchOutput = 2,   // a source photo, resized and watermarked, for writing
};

// How a finished preview sits in its view: the part `source` of the picture
// is drawn with its top-left corner at `destination` of the view. When
// `eraseBackground` is set the view is first filled with white.
struct ViewPlacement
{
    QPoint destination;
    QRect source;
    bool eraseBackground = false;
};

// Where previews appear: the template editor's preview and the output
// preview implement it. Called on the thread that calls RenderWatermark.
class PreviewTarget
{
public:
    virtual ~PreviewTarget() = default;
    // The size of the view the picture is shown in, in pixels.
    virtual QSize viewSize() const = 0;
    // Shows the finished picture; `picture` is null when the photo could not
    // be read (the view is still erased when asked).
    virtual void showPreview(const QImage &picture, const ViewPlacement &placement) = 0;
};

// Everything a render reads, passed explicitly so that renders share nothing
// and any number may run at once.
struct RenderInputs
{
    QString templatesFolder;
    QString templateName;                   // the selected template; empty when none is selected
    ResizeRequest resize;                   // output preview and batch output
    PreviewTarget *previewTarget = nullptr; // editor preview and output preview
    // The template read once for a whole batch run. When null the render
    // reads templateName itself (previews do, so they show every edit).
    SharedTemplate loadedTemplate;
    // The photo's position in the whole list of its run, from 0 (shares of
    // a run keep the whole list's positions): the text variable {counter}
    // is one more. -1 when the photo belongs to no list.
    int listPosition = -1;
};

struct RenderOutcome
{
    // -1 when a preview was asked for without a preview target; else 0.
    int32_t status = 0;
    // The finished picture (Format_ARGB32_Premultiplied); null when the photo
    // could not be read.
    QImage picture;
    // Batch output: the decoded photo's orientation and metadata, for the
    // output writer (its image is released; the picture above replaces it).
    DecodedPhoto photo;
    // Why no watermarked picture could be made: the photo, the template, a
    // layer file or a layer's picture cannot be read. Empty on success. The
    // picture is then null, except in the editor preview, which shows the
    // bare sample photo beside the reason.
    QString error;
    // Output preview: where the picture was placed in the view.
    ViewPlacement placement;
};

// The view placement of a finished picture of `picture` size in a view of
// `view` size: centred on an axis where the picture is smaller than the view,
// shown from the scroll position on an axis where it is larger.
ViewPlacement PlaceInView(QSize picture, QSize view, QPoint scroll);

// The size a layer's picture of `natural` size is drawn at on a canvas:
// with ImageRelativeWidth, that share of the canvas's shorter side (the
// height from ImageRelativeHeight, else in the picture's proportions); else
// ImageDrawWidth x ImageDrawHeight, one of them 0 keeping the proportions,
// both 0 the natural size. Empty for an empty picture.
QSizeF PictureDrawSize(const CWatermarkConf &layer, QSize natural, int canvasWidth,
                       int canvasHeight);

// The built-in sample photo the editor previews on (677 x 625).
QImage SamplePhoto();

// Produces one watermarked picture: prepares the canvas (the sample photo, or
// a source photo decoded, turned upright and resized), draws every layer of
// the selected template first to last (text part, then picture part), and
// delivers it by mode. Stateless: a call draws from inputs.loadedTemplate
// or reads the template and its files afresh (LoadTemplateForRender), and may
// run on any thread at the same time as other calls. A template that cannot
// be read fails the render: nothing is drawn without its watermark.
class CWatermarkRenderer
{
public:
    static RenderOutcome RenderWatermark(RenderMode mode, const QString &sourcePath, int scrollX,
                                         int scrollY, bool eraseBackground,
                                         const RenderInputs &inputs);

    // Draws the layers of `loaded` onto `canvas`, placing them on a
    // canvasWidth x canvasHeight canvas (the editor places by its view size
    // while drawing on the sample photo). `sourcePath` is the photo the
    // canvas was decoded from (empty for the sample photo): a template that
    // resists removal seeds each photo's perturbation from its bytes.
    // `facts` fill the text variables of the layers' texts; without them a
    // text is drawn as written.
    static void DrawTemplate(QImage &canvas, int canvasWidth, int canvasHeight,
                             const LoadedTemplate &loaded, const QString &sourcePath = QString(),
                             const PhotoFacts *facts = nullptr);

    // Whether any layer's text, or a metadata text of the template, holds a
    // variable (a brace), so that a render collects the photo's facts only
    // when they are used.
    static bool UsesTextVariables(const LoadedTemplate &loaded);

    // When `loaded` resists removal across photos: draws its layers
    // (`drawLayers`) through the photo's perturbation (render/mark_warp.h)
    // and returns true. Otherwise draws nothing and returns false.
    static bool DrawLayersResistingRemoval(QImage &canvas, const LoadedTemplate &loaded,
                                           const QString &sourcePath,
                                           const std::function<void(QPainter &)> &drawLayers);

    // Draws a layer's picture part: `picture` at PictureDrawSize, anchored by
    // ImageLocation plus the offsets (pixels, or per cent of the canvas with
    // ImageRelativeWidth), turned by ImageRotation (counter-clockwise on
    // screen, its edges anti-aliased) about its top-left corner, or with
    // ImageTurnAboutAnchor about its centre with the turned bounding box
    // anchored; at ImageTransparency per cent.
    static void DrawImageLayer(QPainter &painter, int canvasWidth, int canvasHeight,
                               const CWatermarkConf &layer, const LayerPicture &picture);
};

} // namespace kw
