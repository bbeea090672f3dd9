// kelvane-watermark-cli: applies a template the application keeps to photos
// and folders, through the same batch engine as the window.
#include "cli/cli_options.h"
#include "kw_version.h"
#include "model/template_library.h"
#include "platform/app_folders.h"
#include "platform/printable_names.h"
#include "render/batch_engine.h"
#include "render/font_mapping.h"
#include "render/jpeg_keep_original.h"
#include "render/loaded_template.h"
#include "render/photo_collection.h"
#include "settings/preferences.h"
#include "settings/resize_setting.h"
#include "settings/template_selection.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHash>

#include <climits>
#include <csignal>
#include <cstdio>

#include <malloc.h>
#include <sys/ioctl.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

const QString kProgram = u"kelvane-watermark-cli"_s;

enum ExitCode { kAllWritten = 0, kSomeFailed = 1, kUsage = 2 };
// A run stopped by a signal exits as the shell reports a program the signal
// ended: 128 + its number (130 for Ctrl-C, 143 for SIGTERM).
constexpr int kSignalExitBase = 128;

void Print(FILE *stream, const QString &text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

void Diagnose(const QString &what)
{
    Print(stderr, kProgram + u": "_s + what + u'\n');
}

int UsageError(const QString &what)
{
    Diagnose(what);
    Print(stderr, u"Try '%1 --help' for more information.\n"_s.arg(kProgram));
    return kUsage;
}

// A 24 MP photo is a 96 MB picture, and a run makes several of them for
// every photo. glibc gives allocations that large straight from the kernel
// and hands them back when freed, so every photo faults every page of its
// pictures in afresh (in 4 KiB pages, where transparent huge pages are on
// request only). Kept in one heap that is never trimmed, the pages of one
// photo serve the next: no faults after the first photos, for about a third
// of the system time, at the price of a higher peak (see bench/).
void KeepLargeBuffersForReuse()
{
#if defined(__GLIBC__)
    mallopt(M_ARENA_MAX, 1); // per-thread heaps cannot hold pictures this large
    mallopt(M_MMAP_MAX, 0);  // so no allocation goes straight to the kernel
    mallopt(M_TRIM_THRESHOLD, INT_MAX);
#endif
}

// The first Ctrl-C (or SIGTERM) lets the photos in progress finish; the
// handler is reset, so a second one ends the program at once.
kw::BatchEngine *g_engine = nullptr;
volatile std::sig_atomic_t g_interrupted = 0; // the signal's number

extern "C" void OnInterrupt(int signal)
{
    g_interrupted = signal;
    if (g_engine)
        g_engine->requestStop();
    static const char message[] =
        "\nkelvane-watermark-cli: stopping after the photos in progress (again to quit now)\n";
    [[maybe_unused]] const ssize_t n = ::write(STDERR_FILENO, message, sizeof message - 1);
}

// Qt's own notes (such as a missing runtime folder) are not the user's
// business here; only its errors get through.
void QtMessages(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtCriticalMsg || type == QtFatalMsg)
        Diagnose(message);
}

void CatchInterrupts()
{
    struct sigaction action = {};
    action.sa_handler = OnInterrupt;
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

// Progress on stderr: a bar redrawn in place on a terminal, one line per
// photo otherwise; failures and warnings always get a line of their own.
class ProgressReport
{
public:
    ProgressReport(bool quiet) : m_quiet(quiet), m_terminal(::isatty(STDERR_FILENO) == 1) {}

    // Every line names files, whose names may hold line breaks and terminal
    // escapes: those are printed escaped, so one photo stays one line.
    void fileDone(const kw::BatchFileResult &result, int done, int total)
    {
        clearBar();
        if (!result.ok())
            Diagnose(kw::EscapeControlCharacters(result.sourcePath + u": "_s + result.error));
        else if (result.skipped)
            Diagnose(
                kw::EscapeControlCharacters(result.sourcePath + u": skipped: "_s + result.warning));
        else if (!result.warning.isEmpty())
            Diagnose(
                kw::EscapeControlCharacters(result.sourcePath + u": warning: "_s + result.warning));
        if (m_quiet)
            return;
        if (m_terminal)
            drawBar(done, total,
                    kw::EscapeControlCharacters(QFileInfo(result.sourcePath).fileName()));
        else if (result.written())
            Print(stderr, u"[%1/%2] %3\n"_s.arg(done).arg(total).arg(kw::EscapeControlCharacters(
                              result.sourcePath + u" -> "_s + result.outputPath)));
    }

    // `refused`: photos named but refused before the run, counted as failed.
    void finished(const kw::BatchSummary &summary, int refused, qint64 milliseconds)
    {
        clearBar();
        if (m_quiet)
            return;
        QString line =
            u"%1 of %2 photos written"_s.arg(summary.written).arg(summary.total + refused);
        if (summary.failed + refused)
            line += u", %1 failed"_s.arg(summary.failed + refused);
        if (summary.skipped)
            line += u", %1 skipped"_s.arg(summary.skipped);
        if (summary.notProcessed)
            line += u", %1 not processed (stopped)"_s.arg(summary.notProcessed);
        line += u" in %1 s\n"_s.arg(double(milliseconds) / 1000.0, 0, 'f', 1);
        Print(stderr, line);
    }

private:
    void drawBar(int done, int total, const QString &name)
    {
        winsize size = {};
        const int columns =
            ::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 20 ? size.ws_col : 80;
        const int width = 30;
        const int filled = total > 0 ? int(qint64(width) * done / total) : width;
        QString line = u"\r["_s + QString(filled, u'#') + QString(width - filled, u'.') +
                       u"] %1/%2 "_s.arg(done).arg(total);
        line += name.left(std::max(0, int(columns - line.size() - 1)));
        Print(stderr, line);
        m_barShown = true;
    }
    void clearBar()
    {
        if (m_barShown)
            Print(stderr, u"\r\x1b[K"_s);
        m_barShown = false;
    }

    bool m_quiet;
    bool m_terminal;
    bool m_barShown = false;
};

// The template to apply: the one named (any letter case), or the one the
// application has selected; a failure when there is none.
kw::Result<QString> ChooseTemplate(const kw::cli::CliOptions &options, const QStringList &names,
                                   const QString &dataFolder)
{
    if (options.templateName) {
        for (const QString &name : names) {
            if (name.compare(*options.templateName, Qt::CaseInsensitive) == 0)
                return name;
        }
        return kw::Failure{
            u"unknown template '%1' (see --list-templates)"_s.arg(*options.templateName)};
    }
    const int selected =
        kw::LoadSelectedTemplateIndex(dataFolder).valueOr(kw::kDefaultTemplateIndex);
    if (selected >= 0 && selected < names.size())
        return names.at(selected);
    return kw::Failure{u"no template is selected in the application; choose one with --template"_s};
}

void ApplyOverrides(const kw::cli::CliOptions &options, kw::BatchSettings &settings)
{
    using Resize = kw::cli::CliOptions::Resize;
    kw::CPreferences &prefs = settings.preferences;
    if (options.outputDir) {
        prefs.outputFolderOpts = kw::Code(kw::OutputFolderOption::ChosenFolder);
        prefs.outputFolderPath = *options.outputDir;
    } else if (options.sameFolder) {
        prefs.outputFolderOpts = kw::Code(kw::OutputFolderOption::SourceFolder);
    }
    if (options.suffix) {
        prefs.outputFileNameOpts = kw::Code(kw::OutputNameOption::AddSuffix);
        prefs.outputFileNameSuffix = *options.suffix;
    } else if (options.keepName) {
        prefs.outputFileNameOpts = kw::Code(kw::OutputNameOption::KeepName);
    }
    if (options.format)
        prefs.outputFormat = *options.format;
    if (options.jpegOutput)
        prefs.jpegOutput = *options.jpegOutput;
    if (options.onConflict)
        prefs.collisionPolicy = *options.onConflict;

    kw::CResizeSetting &resize = settings.resize;
    switch (options.resize) {
    case Resize::FromSettings:
        break;
    case Resize::Off:
        resize.resizeEveryTime = 0;
        resize.resizeJustThisTime = false;
        break;
    case Resize::Width:
    case Resize::Height:
    case Resize::Exact:
        resize.resizeJustThisTime = true;
        resize.scaleType = kw::Code(options.resize == Resize::Width    ? kw::ScaleType::ToWidth
                                    : options.resize == Resize::Height ? kw::ScaleType::ToHeight
                                                                       : kw::ScaleType::Exact);
        resize.targetWidth = options.resizeWidth;
        resize.targetHeight = options.resizeHeight;
        resize.targetLongEdge.reset();
        break;
    case Resize::LongEdge:
        resize.resizeJustThisTime = true;
        resize.targetLongEdge = options.resizeLongEdge;
        break;
    }
    if (options.noEnlarge)
        resize.neverEnlarge = true;
    settings.jobs = options.jobs;
}

// The operands as bytes: a name that is not UTF-8 as it was typed.
QList<QByteArray> OperandBytes(const QStringList &operands,
                               QHash<QString, QList<QByteArray>> &rawArguments)
{
    QList<QByteArray> bytes;
    for (const QString &operand : operands) {
        QList<QByteArray> &raw = rawArguments[operand];
        bytes << (raw.isEmpty() ? QFile::encodeName(operand) : raw.takeFirst());
    }
    return bytes;
}

// The positions of the photos a run renders: all of them, or with --shard
// those whose position is K modulo N.
std::vector<int> ShareOf(int count, const std::optional<kw::cli::CliOptions::Shard> &shard)
{
    const int first = shard ? shard->index : 0;
    const int step = shard ? shard->count : 1;
    std::vector<int> selected;
    selected.reserve(size_t(count / step + 1));
    for (int i = first; i < count; i += step)
        selected.push_back(i);
    return selected;
}

} // namespace

int main(int argc, char *argv[])
{
    KeepLargeBuffersForReuse();
    // Qt decodes names that are not UTF-8 lossily; their bytes are kept to
    // be named exactly when they are refused.
    QStringList arguments;
    QHash<QString, QList<QByteArray>> rawArguments;
    for (int i = 1; i < argc; ++i) {
        const QByteArray raw(argv[i]);
        arguments << QFile::decodeName(raw);
        if (!kw::IsValidUtf8(raw))
            rawArguments[arguments.constLast()] << raw;
    }
    const kw::cli::ParsedCommandLine parsed = kw::cli::ParseCommandLine(arguments);
    if (!parsed)
        return UsageError(parsed.error);
    const kw::cli::CliOptions &options = parsed.options;
    if (options.help) {
        Print(stdout, kw::cli::HelpText(kProgram));
        return kAllWritten;
    }
    if (options.version) {
        Print(stdout, kw::cli::VersionText(kProgram));
        return kAllWritten;
    }
    if (!options.listTemplates && options.inputs.isEmpty())
        return UsageError(u"no photo or folder given"_s);

    // Drawing text needs a GUI application, never a display: the tool only
    // draws into pictures. Qt sees no argument of ours.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(QtMessages);
    int qtArgc = 1;
    QGuiApplication app(qtArgc, argv);
    QGuiApplication::setApplicationName(u"Kelvane Watermark"_s);
    QGuiApplication::setApplicationVersion(QStringLiteral(KW_VERSION_STRING));
    kw::RegisterWatermarkFonts();

    // The data folder as the application's start-up leaves it, or the one
    // given, which is only read: several runs may share it.
    QString dataFolder;
    QString templatesFolder;
    if (options.dataDir) {
        if (!QFileInfo(*options.dataDir).isDir())
            return UsageError(kw::EscapeControlCharacters(
                u"the data folder %1 is not a folder"_s.arg(*options.dataDir)));
        dataFolder = *options.dataDir;
        templatesFolder = kw::JoinPath(dataFolder, kw::kTemplatesFolderName);
    } else {
        dataFolder = kw::GetAppDataFolder();
        if (dataFolder.isEmpty()) {
            Diagnose(u"cannot find a folder for the application's data"_s);
            return kSomeFailed;
        }
        if (const kw::Status created = kw::CreateDefaultPreferences(dataFolder); !created)
            Diagnose(u"warning: "_s + created.error());
        templatesFolder = kw::GetTemplatesFolder();
        const kw::LibraryChange seeded = kw::SeedFirstRun(templatesFolder);
        if (!seeded || !seeded->isEmpty())
            Diagnose(u"warning: "_s + (seeded ? *seeded : seeded.error()));
    }
    const kw::Result<QStringList> index = kw::LoadTemplateIndex(templatesFolder);

    // A damaged data file is not a usage error: one line naming the file.
    if (!index) {
        Diagnose(index.error());
        return kSomeFailed;
    }
    if (options.listTemplates) {
        for (const QString &name : *index)
            Print(stdout, name + u'\n');
        return kAllWritten;
    }

    kw::BatchSettings settings;
    settings.templatesFolder = templatesFolder;
    const kw::Result<QString> chosen = ChooseTemplate(options, *index, dataFolder);
    if (!chosen)
        return UsageError(chosen.error());
    settings.templateName = *chosen;
    // Without readable output settings only a run whose options say where,
    // how and in which format to write can go on.
    const bool fullyOverridden = (options.outputDir || options.sameFolder) &&
                                 (options.suffix || options.keepName) && options.format;
    if (const kw::Status loaded = kw::LoadPreferences(dataFolder, settings.preferences); !loaded) {
        if (!fullyOverridden) {
            Diagnose(u"cannot read the output settings: %1 (give --output-dir or --same-folder, "
                     u"--suffix or --keep-name, and --format to run without them)"_s.arg(
                         loaded.error()));
            return kSomeFailed;
        }
        if (!options.quiet)
            Diagnose(u"warning: "_s + loaded.error());
    }
    if (const kw::Status resize = kw::LoadResizeSetting(dataFolder, settings.resize);
        !resize && !options.quiet)
        Diagnose(u"warning: "_s + resize.error());
    ApplyOverrides(options, settings);
    // Under rename a number depends on the files that exist when a run
    // starts, so shards running at once could each pick the same one.
    if (options.shard && options.shard->count > 1 &&
        settings.preferences.collisionPolicy == kw::OutputCollisionPolicy::Rename)
        return UsageError(u"--shard cannot be used with the rename policy: give "_s
                          u"--on-conflict=skip or --on-conflict=overwrite"_s);
    if (options.quality) {
        if (const kw::Status applied =
                kw::cli::ApplyQuality(*options.quality, settings.preferences);
            !applied)
            return UsageError(applied.error());
    }

    kw::PhotoCollectionOptions collecting;
    collecting.recursive = options.recursive;
    collecting.outputs = &settings.preferences;
    const kw::PhotoCollection collection =
        kw::CollectPhotos(OperandBytes(options.inputs, rawArguments), collecting);
    const QStringList &photos = collection.photos;
    const std::vector<int> selected = ShareOf(int(photos.size()), options.shard);
    // Names refused before the run belong to no shard: the first reports
    // them, so that a job names each once.
    const bool reportsRefused = !options.shard || options.shard->index == 0;
    const int refused = reportsRefused ? int(collection.refused.size()) : 0;
    for (int i = 0; i < refused; ++i)
        Diagnose(collection.refused[size_t(i)].shownPath + u": "_s +
                 collection.refused[size_t(i)].reason);
    if (!options.quiet) {
        for (const QString &note : collection.notes)
            Diagnose(u"note: "_s + note);
    }
    if (photos.isEmpty() && collection.refused.empty())
        return UsageError(kw::EscapeControlCharacters(u"nothing to do: no photos in "_s +
                                                      options.inputs.join(u", "_s)));
    // Said once for the run, not for every photo.
    if (const QString jpegNote = kw::KeepOriginalJpegInapplicableReason(
            settings.preferences, settings.resize.resizeRequested());
        !jpegNote.isEmpty() && !options.quiet)
        Diagnose(u"note: "_s + jpegNote);

    kw::BatchEngine engine;
    ProgressReport report(options.quiet);
    QElapsedTimer clock;
    clock.start();
    int exitCode = kAllWritten;
    int done = 0;
    QObject::connect(&engine, &kw::BatchEngine::fileFinished, &engine,
                     [&](const kw::BatchFileResult &result) {
                         report.fileDone(result, ++done, int(selected.size()));
                     });
    QObject::connect(
        &engine, &kw::BatchEngine::finished, &engine, [&](const kw::BatchSummary &summary) {
            report.finished(summary, refused, clock.elapsed());
            exitCode = g_interrupted ? kSignalExitBase + int(g_interrupted)
                       : summary.failed == 0 && summary.notProcessed == 0 && refused == 0
                           ? kAllWritten
                           : kSomeFailed;
            QCoreApplication::exit(exitCode);
        });
    g_engine = &engine;
    CatchInterrupts();
    // A template that cannot be read fails every photo: say so once, before
    // anything starts.
    if (!selected.empty()) {
        if (const auto loaded =
                kw::LoadTemplateForRender(settings.templatesFolder, settings.templateName);
            !loaded) {
            Diagnose(kw::EscapeControlCharacters(loaded.error()));
            return kSomeFailed;
        }
    }
    if (const kw::Status started = engine.start(photos, selected, settings); !started) {
        Diagnose(started.error());
        return kSomeFailed;
    }
    QGuiApplication::exec();
    g_engine = nullptr;
    return exitCode;
}
