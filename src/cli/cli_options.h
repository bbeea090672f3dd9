#pragma once

#include "settings/jpeg_output_setting.h"
#include "settings/preferences.h"

#include <QString>
#include <QStringList>

#include <optional>

// The command line of kelvane-watermark-cli. Options override the
// application's settings for one run; whatever is not given comes from the
// data folder.
namespace kw::cli {

struct CliOptions
{
    std::optional<QString> templateName;
    std::optional<QString> outputDir;                // --output-dir (made absolute)
    bool sameFolder = false;                         // --same-folder (the last of the two wins)
    std::optional<QString> suffix;                   // --suffix
    bool keepName = false;                           // --keep-name (the last of the two wins)
    std::optional<int> format;                       // an OutputFormatCode
    std::optional<int> quality;                      // --quality, 1 to 100
    std::optional<OutputCollisionPolicy> onConflict; // --on-conflict
    // --jpeg: how JPEG output is encoded; the table choice applies to "original".
    std::optional<kw::JpegOutputSetting> jpegOutput;

    enum class Resize { FromSettings, Off, Width, Height, Exact, LongEdge };
    Resize resize = Resize::FromSettings;
    int resizeWidth = 0;
    int resizeHeight = 0;
    int resizeLongEdge = 0;
    // --no-enlarge: photos the resizing would enlarge keep their size (with
    // any resizing, the stored one included).
    bool noEnlarge = false;

    // --shard=K/N: of the photos the operands give, only those whose
    // position in the list is K modulo N.
    struct Shard
    {
        int index = 0; // K, from 0 to count - 1
        int count = 1; // N
    };
    std::optional<Shard> shard;
    std::optional<QString> dataDir; // --data-dir (made absolute)

    bool recursive = false;
    int jobs = 0; // 0: one per core
    bool listTemplates = false;
    bool quiet = false;
    bool help = false;
    bool version = false;
    QStringList inputs; // photos and folders, as given
};

struct ParsedCommandLine
{
    CliOptions options;
    QString error; // a usage error, ready to print after "program: "

    explicit operator bool() const { return error.isEmpty(); }
};

// Parses the arguments after the program name, GNU style: short options may
// be grouped and take their value attached or as the next argument, long
// options take "=VALUE" or the next argument, "--" ends the options, and
// options and operands may be mixed. Of options that contradict each other
// (-o and --same-folder, -s and --keep-name, the resize options) the last
// one wins.
ParsedCommandLine ParseCommandLine(const QStringList &arguments);

// Sets the quality of the output format `prefs` names (after the options
// are applied) to `quality`. Refused, with the reason, for a format that has
// none (PNG, BMP, TIFF) or a format number that is not known.
Status ApplyQuality(int quality, CPreferences &prefs);

// The text of --help, naming the program `program`.
QString HelpText(const QString &program);

// The text of --version.
QString VersionText(const QString &program);

} // namespace kw::cli
