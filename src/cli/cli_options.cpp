#include "cli/cli_options.h"

#include "kw_version.h"
#include "render/output_naming.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QHash>
#include <QThread>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace kw::cli {

namespace {

constexpr int kMaxJobs = 256;
constexpr int kMaxResizeSide = 100000;
constexpr int kMaxShards = 1000000;

std::optional<int> PositiveNumber(const QString &text, int maximum)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < 1 || value > maximum || text.startsWith(u'+'))
        return std::nullopt;
    return value;
}

std::optional<int> FormatIndex(const QString &text)
{
    const QString name = text.toLower();
    if (name == u"jpg"_s || name == u"jpeg"_s)
        return 0;
    if (name == u"png"_s)
        return 1;
    if (name == u"bmp"_s)
        return 2;
    if (name == u"tiff"_s || name == u"tif"_s)
        return 3;
    if (name == u"webp"_s)
        return 4;
    if (name == u"avif"_s)
        return 5;
    return std::nullopt;
}

std::optional<OutputCollisionPolicy> CollisionPolicy(const QString &text)
{
    if (text == u"overwrite"_s)
        return OutputCollisionPolicy::Overwrite;
    if (text == u"skip"_s)
        return OutputCollisionPolicy::Skip;
    if (text == u"rename"_s)
        return OutputCollisionPolicy::Rename;
    return std::nullopt;
}

// "K/N" in decimal digits only, N from 1 to kMaxShards, K from 0 to N - 1.
std::optional<CliOptions::Shard> ShardOf(const QString &text)
{
    const QStringList parts = text.split(u'/');
    if (parts.size() != 2)
        return std::nullopt;
    const auto digits = [](const QString &part) {
        return !part.isEmpty() && part.size() <= 9 &&
               std::all_of(part.cbegin(), part.cend(),
                           [](QChar c) { return c >= u'0' && c <= u'9'; });
    };
    if (!digits(parts[0]) || !digits(parts[1]))
        return std::nullopt;
    const int index = parts[0].toInt();
    const int count = parts[1].toInt();
    if (count < 1 || count > kMaxShards || index >= count)
        return std::nullopt;
    return CliOptions::Shard{index, count};
}

QString Lowered(QString text)
{
    if (!text.isEmpty())
        text[0] = text.at(0).toLower();
    if (text.endsWith(u'.'))
        text.chop(1);
    return text;
}

} // namespace

ParsedCommandLine ParseCommandLine(const QStringList &arguments)
{
    ParsedCommandLine parsed;
    CliOptions &o = parsed.options;

    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsCompactedShortOptions);
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsOptions);
    const auto flag = [](const QStringList &names) { return QCommandLineOption(names); };
    const auto valued = [](const QStringList &names, const QString &valueName) {
        return QCommandLineOption(names, QString(), valueName);
    };
    const QList<QCommandLineOption> options = {
        valued({u"t"_s, u"template"_s}, u"NAME"_s),
        valued({u"o"_s, u"output-dir"_s}, u"DIR"_s),
        flag({u"same-folder"_s}),
        valued({u"f"_s, u"format"_s}, u"FORMAT"_s),
        valued({u"quality"_s}, u"N"_s),
        valued({u"s"_s, u"suffix"_s}, u"TEXT"_s),
        flag({u"keep-name"_s}),
        valued({u"jpeg"_s}, u"MODE"_s),
        valued({u"on-conflict"_s}, u"POLICY"_s),
        valued({u"resize-width"_s}, u"N"_s),
        valued({u"resize-height"_s}, u"N"_s),
        valued({u"resize"_s}, u"WxH"_s),
        valued({u"resize-long-edge"_s}, u"N"_s),
        flag({u"no-enlarge"_s}),
        flag({u"no-resize"_s}),
        flag({u"r"_s, u"recursive"_s}),
        valued({u"shard"_s}, u"K/N"_s),
        valued({u"data-dir"_s}, u"DIR"_s),
        valued({u"j"_s, u"jobs"_s}, u"N"_s),
        flag({u"list-templates"_s}),
        flag({u"q"_s, u"quiet"_s}),
        flag({u"h"_s, u"help"_s}),
        flag({u"V"_s, u"version"_s}),
    };
    parser.addOptions(options);
    // QCommandLineParser wants the program name first.
    if (!parser.parse(QStringList{u"kelvane-watermark-cli"_s} + arguments)) {
        parsed.error = Lowered(parser.errorText());
        return parsed;
    }

    // Options in the order given, each with its own value, so that the last
    // of two contradicting options wins.
    QHash<QString, QString> canonical;
    for (const QCommandLineOption &option : options) {
        for (const QString &name : option.names())
            canonical.insert(name, option.names().constLast());
    }
    QHash<QString, int> seen;
    for (const QString &typed : parser.optionNames()) {
        const QString name = canonical.value(typed);
        const QStringList values = parser.values(name);
        const QString value = values.value(seen[name]++);
        const QString shown = (typed.size() == 1 ? u"-"_s : u"--"_s) + typed;
        auto fail = [&](const QString &why) {
            parsed.error = u"invalid argument '%1' for '%2': %3"_s.arg(value, shown, why);
        };
        if (name == u"template"_s) {
            o.templateName = value;
        } else if (name == u"output-dir"_s) {
            if (value.isEmpty()) {
                fail(u"an empty folder name"_s);
                return parsed;
            }
            o.outputDir = QFileInfo(value).absoluteFilePath();
            o.sameFolder = false;
        } else if (name == u"same-folder"_s) {
            o.sameFolder = true;
            o.outputDir.reset();
        } else if (name == u"format"_s) {
            o.format = FormatIndex(value);
            if (!o.format) {
                fail(u"valid formats are jpg, png, bmp, tiff, webp and avif"_s);
                return parsed;
            }
        } else if (name == u"quality"_s) {
            o.quality = PositiveNumber(value, 100);
            if (!o.quality) {
                fail(u"a number from 1 to 100 is expected"_s);
                return parsed;
            }
        } else if (name == u"suffix"_s) {
            if (const Status checked = CheckOutputSuffix(value); !checked) {
                parsed.error = u"invalid argument for '%1': %2"_s.arg(shown, checked.error());
                return parsed;
            }
            o.suffix = value;
            o.keepName = false;
        } else if (name == u"keep-name"_s) {
            o.keepName = true;
            o.suffix.reset();
        } else if (name == u"jpeg"_s) {
            const QString mode = value.toLower();
            using Mode = JpegOutputMode;
            if (mode == u"q98"_s)
                o.jpegOutput = JpegOutputSetting{Mode::Quality98, false};
            else if (mode == u"original"_s)
                o.jpegOutput = JpegOutputSetting{Mode::KeepOriginal, false};
            else if (mode == u"original-optimized"_s)
                o.jpegOutput = JpegOutputSetting{Mode::KeepOriginal, true};
            else {
                fail(u"valid modes are q98, original and original-optimized"_s);
                return parsed;
            }
        } else if (name == u"on-conflict"_s) {
            o.onConflict = CollisionPolicy(value);
            if (!o.onConflict) {
                fail(u"valid policies are overwrite, skip and rename"_s);
                return parsed;
            }
        } else if (name == u"resize-width"_s || name == u"resize-height"_s ||
                   name == u"resize-long-edge"_s) {
            const std::optional<int> n = PositiveNumber(value, kMaxResizeSide);
            if (!n) {
                fail(u"a number of pixels from 1 to %1 is expected"_s.arg(kMaxResizeSide));
                return parsed;
            }
            if (name == u"resize-long-edge"_s) {
                o.resize = CliOptions::Resize::LongEdge;
                o.resizeLongEdge = *n;
            } else {
                const bool width = name == u"resize-width"_s;
                o.resize = width ? CliOptions::Resize::Width : CliOptions::Resize::Height;
                (width ? o.resizeWidth : o.resizeHeight) = *n;
            }
        } else if (name == u"no-enlarge"_s) {
            o.noEnlarge = true;
        } else if (name == u"resize"_s) {
            const QStringList sides = value.toLower().split(u'x');
            const std::optional<int> w =
                sides.size() == 2 ? PositiveNumber(sides[0], kMaxResizeSide) : std::nullopt;
            const std::optional<int> h =
                sides.size() == 2 ? PositiveNumber(sides[1], kMaxResizeSide) : std::nullopt;
            if (!w || !h) {
                fail(u"WIDTHxHEIGHT in pixels is expected, such as 800x600"_s);
                return parsed;
            }
            o.resize = CliOptions::Resize::Exact;
            o.resizeWidth = *w;
            o.resizeHeight = *h;
        } else if (name == u"no-resize"_s) {
            o.resize = CliOptions::Resize::Off;
        } else if (name == u"recursive"_s) {
            o.recursive = true;
        } else if (name == u"jobs"_s) {
            const std::optional<int> n = PositiveNumber(value, kMaxJobs);
            if (!n) {
                fail(u"a number from 1 to %1 is expected"_s.arg(kMaxJobs));
                return parsed;
            }
            o.jobs = *n;
        } else if (name == u"shard"_s) {
            o.shard = ShardOf(value);
            if (!o.shard) {
                fail(u"K/N is expected, N from 1 to %1 and K from 0 to N-1"_s.arg(kMaxShards));
                return parsed;
            }
        } else if (name == u"data-dir"_s) {
            if (value.isEmpty()) {
                fail(u"an empty folder name"_s);
                return parsed;
            }
            o.dataDir = QFileInfo(value).absoluteFilePath();
        } else if (name == u"list-templates"_s) {
            o.listTemplates = true;
        } else if (name == u"quiet"_s) {
            o.quiet = true;
        } else if (name == u"help"_s) {
            o.help = true;
        } else if (name == u"version"_s) {
            o.version = true;
        }
    }
    o.inputs = parser.positionalArguments();
    return parsed;
}

Status ApplyQuality(int quality, CPreferences &prefs)
{
    switch (OutputFormatCode(prefs.outputFormat)) {
    case OutputFormatCode::Jpeg:
        prefs.quality.jpeg = quality;
        return {};
    case OutputFormatCode::Webp:
        prefs.quality.webp = quality;
        return {};
    case OutputFormatCode::Avif:
        prefs.quality.avif = quality;
        return {};
    case OutputFormatCode::Png:
    case OutputFormatCode::Bmp:
    case OutputFormatCode::Tiff:
        break;
    }
    const OutputFormatInfo *format = FindOutputFormat(prefs.outputFormat);
    if (!format)
        return Failure{u"--quality: the output format %1 is not known"_s.arg(prefs.outputFormat)};
    return Failure{u"--quality: %1 output is lossless and has no quality setting"_s.arg(
        format->extension.toString().toUpper())};
}

QString HelpText(const QString &program)
{
    return uR"(Usage: %1 [OPTION]... PHOTO|FOLDER...
Apply a Kelvane Watermark template to photos and write the watermarked copies.

The templates, preference.xml and resizing_config.ini of the application are
used; the options below override them for this run only and are never saved.

  -t, --template=NAME      template to apply (default: the one selected in the
                             application)
  -o, --output-dir=DIR     write into DIR, created when missing
      --same-folder        write beside each source photo
  -f, --format=FORMAT      jpg, png, bmp, tiff, webp or avif
      --quality=N          quality of JPEG, WebP or AVIF output, 1 to 100
                             (default: the application's choice, first 98
                             for JPEG, %3 for WebP, %4 for AVIF; for lossless
                             WebP, the compression effort)
  -s, --suffix=TEXT        append TEXT to each output name (IMG_1.jpg gives
                             IMG_1TEXT.jpg)
      --keep-name          keep the source's name
      --jpeg=MODE          JPEG output of JPEG photos: q98 (decode and encode
                             at quality 98), original (keep the photo's own
                             coding, re-encode only the watermark's blocks;
                             not with resizing) or original-optimized (the
                             same, smallest file)
      --on-conflict=POLICY when an output name is taken by a file that existed
                             before the run: overwrite it, skip the photo, or
                             rename the output to NAME (2).EXT, the first
                             free number (default: the application's choice,
                             first overwrite)
      --resize-width=N     resize to N pixels wide, keeping the proportions
      --resize-height=N    resize to N pixels high, keeping the proportions
      --resize=WxH         resize to exactly W x H pixels
      --resize-long-edge=N resize so that the longer side is N pixels,
                             keeping the proportions
      --no-enlarge         leave photos that the resizing would make wider
                             or taller at their own size (with the stored
                             resizing setting too)
      --no-resize          keep the photos' own size
  -r, --recursive          descend into the folders' subfolders
  -j, --jobs=N             photos rendered at once (default: %2, the number of
                             processor cores)
      --shard=K/N          process only the photos whose position in the list
                             is K modulo N (K from 0 to N-1): N runs, one for
                             each K, on as many machines, cover the list once
      --data-dir=DIR       read the templates (DIR/templates), preference.xml
                             and resizing_config.ini from DIR instead of the
                             application's data folder; nothing is written
                             into DIR
      --list-templates     print the template names, one a line, and exit
  -q, --quiet              print only the photos that fail
  -h, --help               display this help and exit
  -V, --version            output version information and exit

A FOLDER gives the photos in it with the extensions .jpg, .jpeg, .png, .bmp,
.tif, .tiff and .gif, in natural order (letter case ignored, numbers by value:
p2 before p10); hidden files and folders (names starting with a dot) are left
out, and so are earlier outputs of this naming when writing into the folder
with a suffix. Only regular files are read: a named pipe, socket or device
fails at once, and so does a name that is not valid UTF-8. A source photo is
never overwritten: with overwrite, an output that would replace a source fails;
a symbolic link at an output name is replaced, never written through. Two photos
of one run never write one file: the later one in the list gets NAME (2).EXT,
with a warning. A template, layer file or logo that cannot be read fails every
photo. A logo named by a relative path is found in the data folder.

With --shard, the list is the one a run without it would take: the operands
in the order given, each folder's photos in natural order of their paths
inside that folder, so machines that mount the photos at different places
agree on it as long as they are given the same operands in the same order.
Each photo keeps the output name the whole list gives it. Write the outputs
outside the photo folders, or beside the photos with a suffix. Shards take
--on-conflict=overwrite or skip, not rename; a job re-run with skip writes
only what is missing, so a stopped job resumes where it stopped.

JPEG output is written at quality 98 and keeps the source's EXIF, IPTC
and XMP metadata and colour profile; with --jpeg=original (or that choice in the
application) a JPEG photo keeps its own coding instead.

Exit status:
  0  every photo was written or skipped
  1  at least one photo could not be written, or a data file (the template
     list, preference.xml) cannot be read
  2  usage error: unknown option or template, a bad --shard or --data-dir,
     nothing to do
130  interrupted (Ctrl-C): the photos in progress were finished, the rest left
     out
143  terminated (SIGTERM): as for 130
)"_s.arg(program)
        .arg(std::max(1, QThread::idealThreadCount()))
        .arg(kDefaultWebpQuality)
        .arg(kDefaultAvifQuality);
}

QString VersionText(const QString &program)
{
    return u"%1 (Kelvane Watermark) %2\n"_s.arg(program, QStringLiteral(KW_VERSION_STRING));
}

} // namespace kw::cli
