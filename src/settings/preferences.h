#pragma once

#include "platform/codes.h"
#include "platform/result.h"
#include "settings/jpeg_output_setting.h"

#include <QString>
#include <QStringView>

#include <array>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <optional>

// preference.xml: the output settings and the Quick Start choice, kept in the
// application data folder as
//
//   <?xml version="1.0" encoding="UTF-8"?>
//   <Preferences>
//   <OutputFolderOpts>0</OutputFolderOpts>
//   ... one leaf element per setting, in the order of PreferenceElement ...
//   </Preferences>
//
// Every reader and writer steps into the top-level Preferences element and
// searches its children forward in that order, each search going on after the
// last element found: an element standing before one found earlier is not
// seen. A hand-edited file is therefore read as far as it follows the order,
// and written back in place: a writer changes the texts of the elements it
// finds and nothing else; an element that is missing is not added.
//
// Functions take the application data folder; they share no state and may run
// on any thread. Failures come back with a reason; none of them shows
// anything to the user.
namespace kw {

enum class PreferenceElement : uint8_t {
    OutputFolderOpts,     // 0: next to the source photo; 1: in OutputFolderPath
    OutputFolderPath,     // text
    OutputFileNameOpts,   // 0: keep the source name; 1: append OutputFileNameSuffix
    OutputFileNameSuffix, // text
    OutputFormat,         // an OutputFormatCode
    JpegQuality,          // stored and kept; nothing acts on it
    OpenQuickStartDlg,    // 0: open the Quick Start dialog at start-up
};
inline constexpr int kPreferenceElementCount = 7;

// The element's tag name, e.g. "OutputFolderOpts".
QStringView PreferenceElementName(PreferenceElement element);

// Element texts for a selection of preference.xml's elements: what a read
// found, or what a write is to store. An element without a text is not part
// of the selection.
class PreferenceTexts
{
public:
    void set(PreferenceElement element, const QString &text);
    void set(PreferenceElement element, int value); // in decimal
    bool contains(PreferenceElement element) const;
    // The text, or nullopt when the element is not part of the selection.
    const std::optional<QString> &text(PreferenceElement element) const;
    bool isEmpty() const;

private:
    std::array<std::optional<QString>, kPreferenceElementCount> m_texts;
};

// Where outputs go (OutputFolderOpts).
enum class OutputFolderOption : int32_t {
    SourceFolder = 0, // beside each source photo
    ChosenFolder = 1, // in OutputFolderPath
};

// How outputs are named (OutputFileNameOpts).
enum class OutputNameOption : int32_t {
    KeepName = 0,  // the source's base name
    AddSuffix = 1, // the base name followed by OutputFileNameSuffix
};

// What a batch does when a photo's output name is already taken by a file
// that existed before the run (a source photo of the run counts as one).
// Stored as the OutputCollisionPolicy element, present only when not
// Overwrite; a stored number outside 0 to 2 is kept and refused by the run.
enum class OutputCollisionPolicy : int32_t {
    Overwrite = 0, // replace the file; a source photo is never replaced: that photo fails
    Skip = 1,      // leave the file alone and report the photo as skipped
    Rename = 2,    // write "name (2).ext", the first number that is free
};

// The OutputFormat preference; other stored numbers are kept and refused by
// the output writer.
enum class OutputFormatCode : int32_t {
    Jpeg = 0,
    Png = 1,
    Bmp = 2,
    Tiff = 3,
    Webp = 4,
    Avif = 5,
};

// How each output format is encoded. Stored as elements outside the fixed
// order, each present only when it differs from its default; numbers are
// kept as stored, and the output writer refuses a quality outside 0 to 100
// (1 to 100 for JPEG).
inline constexpr int32_t kDefaultJpegQuality = 98;
// WebP and AVIF qualities whose outputs come closest to JPEG at quality 98
// (PSNR against the source on a 2560 x 1600 photograph, all at 4:2:0: JPEG
// 98 41.6 dB; WebP 97 41.3, 98 41.5, 100 41.7 dB; AVIF quantizer 5 40.9, 3
// 41.8 dB), each at about four fifths of the JPEG's size.
inline constexpr int32_t kDefaultWebpQuality = 98;
inline constexpr int32_t kDefaultAvifQuality = 95; // AV1 quantizer 3
struct OutputQuality
{
    int32_t jpeg = kDefaultJpegQuality;
    int32_t webp = kDefaultWebpQuality;
    int32_t webpLossless = 0; // not 0: lossless WebP (webp is then the effort)
    int32_t avif = kDefaultAvifQuality;

    bool operator==(const OutputQuality &) const = default;
};
inline constexpr QStringView kJpegQualityElement = u"OutputJpegQuality";
inline constexpr QStringView kWebpQualityElement = u"OutputWebpQuality";
inline constexpr QStringView kWebpLosslessElement = u"OutputWebpLossless";
inline constexpr QStringView kAvifQualityElement = u"OutputAvifQuality";

// The output settings as the batch run and the output preview use them. A
// process starts with every field 0 or empty; LoadPreferences overwrites the
// fields whose elements it finds. Values are kept as stored, also outside
// their documented ranges: the output writer refuses those with a reason.
// (OpenQuickStartDlg has no field; only the start-up decision reads it.)
struct CPreferences
{
    int32_t outputFolderOpts = 0;
    QString outputFolderPath;
    int32_t outputFileNameOpts = 0;
    QString outputFileNameSuffix;
    int32_t outputFormat = 0;
    int32_t jpegQuality = 0;
    OutputCollisionPolicy collisionPolicy = OutputCollisionPolicy::Overwrite;
    // From elements of their own, read by LoadPreferences too.
    JpegOutputSetting jpegOutput{};
    OutputQuality quality{};
};

// Writes the default preference.xml unless a file is already at its path (a
// damaged or incomplete file is left alone too). The defaults are those of the
// table above: folder option 0, the default output folder, name option 1,
// suffix "_new", format 0, quality 100, Quick Start 0; ten lines ended by CR LF,
// UTF-8 without a byte-order mark, an empty text in the "<Name/>" form.
// `resolveOutputFolder` gives the default output folder and is called only
// when the file is written (resolving that folder creates it); when empty,
// GetDocumentsOutputFolder() is used. Succeeds when preference.xml exists
// afterwards.
Status CreateDefaultPreferences(const QString &dataFolder,
                                const std::function<QString()> &resolveOutputFolder = {});

// The texts of the `wanted` elements (searched in the order of
// PreferenceElement, whatever the order of `wanted`). Fails when the file
// cannot be loaded, is not well-formed or has no top-level Preferences
// element; elements that are not found are simply absent from the result and
// are no error.
Result<PreferenceTexts> ReadPreferenceTexts(const QString &dataFolder,
                                            std::initializer_list<PreferenceElement> wanted);

// Fills `prefs` from OutputFolderOpts to JpegQuality, numbers by
// ParseDecimalInt, the collision policy and the JPEG output setting
// (LoadJpegOutputSetting). A field whose element is not found keeps its value;
// when the file cannot be read (a failure) the whole record is
// unchanged.
Status LoadPreferences(const QString &dataFolder, CPreferences &prefs);

// The collision policy element, outside the fixed order above: LoadPreferences
// reads it by its own search among the children of Preferences (a file
// without it means Overwrite); SaveCollisionPolicy appends it at the end of
// Preferences, sets it, or removes it when the policy is Overwrite, changing
// nothing else in the file (nothing at all when it already says so).
inline constexpr QStringView kCollisionPolicyElement = u"OutputCollisionPolicy";
Status SaveCollisionPolicy(const QString &dataFolder, OutputCollisionPolicy policy);

// The output quality elements, each as SaveCollisionPolicy handles its own:
// LoadPreferences reads each by its own search (absent: the default);
// SaveOutputQuality appends, sets or removes (when back at the default) each
// one, and writes the file only when its text changed.
Status SaveOutputQuality(const QString &dataFolder, const OutputQuality &quality);

// Sets the texts of the elements in `changes` that are found and saves the
// document, through a temporary file, when its text changed; everything else
// in the file stays byte for byte, in the encoding it was read in. Nothing is
// written when the file cannot be loaded or is not well-formed, when
// Preferences is missing, or when a text holds a character XML cannot carry
// or one the file's encoding cannot hold (the reason names the file and the
// character). Elements that are not found are not added: the others are
// still saved and the result is a failure that names the missing ones.
Status UpdatePreferences(const QString &dataFolder, const PreferenceTexts &changes);

// The Quick Start check box: OpenQuickStartDlg becomes 1 when the dialog is
// not to open again, else 0.
Status SaveQuickStartChoice(const QString &dataFolder, bool dontShowAgain);

// Whether the Quick Start dialog opens at start-up: only when OpenQuickStartDlg
// is found and its decimal value is 0. A missing or unreadable file or element
// opens nothing.
bool ShouldOpenQuickStart(const QString &dataFolder);

} // namespace kw
