#pragma once

#include "platform/codes.h"

#include "platform/result.h"

#include <QString>
#include <QStringView>

#include <cstdint>
#include <optional>

// resizing_config.ini: how photos are resized before they are watermarked.
// Section [General], keys ScaleType, TargetWidth, TargetHeight and
// ResizeEveryTime, each a decimal number, and two keys present only when set:
// TargetLongEdge (resize the longer side to it, in place of ScaleType) and
// NeverEnlarge (1: photos the resizing would enlarge keep their size). A file
// without these two resizes as it always did. Functions take the application
// data folder, share no state and may run on any thread.
namespace kw {

// How a photo is resized (ScaleType); any other stored value: not at all.
enum class ScaleType : int32_t {
    ToWidth = 1,  // proportionally to the target width
    ToHeight = 2, // proportionally to the target height
    Exact = 3,    // to the target width and height, stretched
};

struct CResizeSetting
{
    // 1: proportionally to targetWidth; 2: proportionally to targetHeight;
    // 3: to targetWidth x targetHeight exactly; any other value: no resizing.
    int32_t scaleType = 0;
    int32_t targetWidth = 800; // pixels
    int32_t targetHeight = 600;
    int32_t resizeEveryTime = 0; // non-zero: resize at every run
    // Resize during this run of the program only; never stored in a file.
    bool resizeJustThisTime = false;
    // Set: the photo's longer side is resized to this many pixels, keeping
    // the proportions, whatever scaleType says (TargetLongEdge).
    std::optional<int32_t> targetLongEdge = std::nullopt;
    // A photo that the resizing would make wider or taller keeps its own
    // size (NeverEnlarge).
    bool neverEnlarge = false;

    bool resizeRequested() const { return resizeJustThisTime || resizeEveryTime != 0; }
};

// Defaults for keys that are missing (and for a missing file).
inline constexpr int32_t kDefaultScaleType = Code(ScaleType::ToWidth);
inline constexpr int32_t kDefaultTargetWidth = 800;
inline constexpr int32_t kDefaultTargetHeight = 600;
inline constexpr int32_t kDefaultResizeEveryTime = 0;
// What the dialog offers for the long edge when the file names none.
inline constexpr int32_t kDefaultTargetLongEdge = 2048;

// Reads the keys into `setting`; resizeJustThisTime is left alone. A missing
// key gives its default (TargetLongEdge: unset; NeverEnlarge: off), an empty
// value 0, other values convert by ParseDecimalInt (so a TargetLongEdge that
// is not a positive number makes every resize refused, as such a TargetWidth
// does; NeverEnlarge is on for any value but 0). A file that exists but
// cannot be read gives the defaults and a failure with the reason.
Status LoadResizeSetting(const QString &dataFolder, CResizeSetting &setting);

// What the resizing dialog stores when it closes: the scale type of its
// checked radio button (1 when none is; with the long edge chosen, the one
// the file had), the size fields exactly as typed (digits only, possibly
// empty; an empty field reads back as 0) and its check boxes.
struct ResizeSettingInput
{
    int32_t scaleType = kDefaultScaleType;
    QString targetWidth;
    QString targetHeight;
    bool resizeEveryTime = false;
    bool toLongEdge = false;     // resize the longer side to targetLongEdge
    QString targetLongEdge = {}; // stored only with toLongEdge
    bool neverEnlarge = false;
};

// Writes the four keys in one atomic save, each in place where the file
// already has it, and TargetLongEdge and NeverEnlarge when they are set
// (removed when not); every other line of the file is kept. A scale type
// other than 1, 2 or 3, or a size that is not digits only, is refused with a
// reason and nothing is written; so is a file that exists but cannot be read.
Status SaveResizeSetting(const QString &dataFolder, const ResizeSettingInput &input);

} // namespace kw
