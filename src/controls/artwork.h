#pragma once

#include <QCursor>
#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QSize>

// The program's built-in pictures, looked up by their resource numbers so the
// language file can replace them (LanguageFile::bitmap(id, BuiltInImage)).
// They are drawn from the vector artwork in res/art at the size and pixel
// ratio asked for, so they stay sharp on high-density screens.
//
// Call from the user-interface thread (they need a QGuiApplication for the
// button labels' font).
namespace kw {

// Main toolbar, 360 x 51: whole-bar pictures in the four button states.
inline constexpr int kBmpToolbarPressed = 129;
inline constexpr int kBmpToolbarDisabled = 130;
inline constexpr int kBmpToolbarHot = 131;
inline constexpr int kBmpToolbarNormal = 132;
// Template bar, 187 x 23.
inline constexpr int kBmpTemplateBarNormal = 139;
inline constexpr int kBmpTemplateBarPressed = 140;
inline constexpr int kBmpTemplateBarDisabled = 141;
inline constexpr int kBmpTemplateBarHot = 142;
// The editor's layer button, a one-button bar of 32 x 24: 152 serves as the
// normal, hot and disabled picture, 153 as the pressed one.
inline constexpr int kBmpLayerButton = 152;
inline constexpr int kBmpLayerButtonPressed = 153;
// The editor's picture path box, 140 x 23, drawn at (-3, -2) of the box: with
// a path (its clear button live) and empty. The button area is x 117..136,
// y 5..23 of the box (x 120..139 of the picture).
inline constexpr int kBmpPathBoxFilled = 162;
inline constexpr int kBmpPathBoxEmpty = 163;
// Skin buttons, 75 x 23, for a white caption; the disabled picture is the
// normal one.
inline constexpr int kBmpSkinNormal = 167;
inline constexpr int kBmpSkinPressed = 168;
inline constexpr int kBmpSkinHot = 169;
// Quick Start pictures, 200 x 120: processing, templates, adding photos.
inline constexpr int kBmpQuickStartProcess = 172;
inline constexpr int kBmpQuickStartTemplates = 173;
inline constexpr int kBmpQuickStartAddPhotos = 175;
// The banner behind the main toolbar, 400 x 51, made to be stretched.
inline constexpr int kBmpBanner = 178;
// Settings bar, 159 x 51.
inline constexpr int kBmpSettingsBarNormal = 179;
inline constexpr int kBmpSettingsBarPressed = 180;
inline constexpr int kBmpSettingsBarDisabled = 181;
inline constexpr int kBmpSettingsBarHot = 182;
// Panning cursors of the output preview, 32 x 32, hot spot in the middle:
// over the picture, and while dragging it.
inline constexpr int kCurPan = 183;
inline constexpr int kCurPanDrag = 184;
// The application icon.
inline constexpr int kIconApp = 128;

// The natural size of a built-in picture in device-independent pixels; an
// invalid size for a number that has none.
QSize BuiltInImageSize(int id);

// Every number BuiltInImageSize knows, ascending.
QList<int> BuiltInImageIds();

// The picture at its natural size and pixel ratio 1 (the form the language
// file's replacements take); a null image for an unknown number.
QImage BuiltInImage(int id);

// The picture at its natural size, drawn for `devicePixelRatio` (the pixmap
// carries that ratio). Null for an unknown number.
QPixmap BuiltInPixmap(int id, qreal devicePixelRatio);

// The picture drawn stretched into `size` (device-independent pixels), for
// `devicePixelRatio`: a vector stretch, so a skin button of any size keeps
// sharp edges. Null for an unknown number or an empty size.
QPixmap BuiltInPixmap(int id, QSize size, qreal devicePixelRatio);

// The cursor of number 183 or 184 for the primary screen's pixel ratio; the
// arrow for any other number.
QCursor BuiltInCursor(int id);

// The application icon at the usual sizes.
QIcon AppIcon();

} // namespace kw
