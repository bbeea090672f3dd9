#include "render/batch_engine.h"

#include "render/jpeg_keep_original.h"
#include "render/metadata_choices.h"
#include "render/watermark_renderer.h"

#include <QThread>

#include <mutex>
#include <new>

using namespace Qt::StringLiterals;

namespace kw {

int DefaultBatchJobs()
{
    return std::max(1, QThread::idealThreadCount());
}

namespace {

// The template's metadata choices on what the photo carries into its output.
// A photo that carried nothing gets its colour profile along with what the
// template writes, as it would have had it without.
void ApplyTemplateMetadata(DecodedPhoto &photo, const QImage &picture,
                           const OutputMetadataSetting &setting, QStringList &warnings)
{
    if (setting.isDefault())
        return;
    const bool hadNone = photo.metadata.isEmpty();
    photo.metadata =
        ApplyOutputMetadataSetting(std::move(photo.metadata), setting, photo.facts, warnings);
    if (hadNone && !photo.metadata.isEmpty() && picture.colorSpace().isValid())
        photo.metadata.iccProfile = picture.colorSpace().iccProfile();
}

} // namespace

BatchFileResult ProcessBatchFile(const QString &sourcePath, const PlannedOutput &planned,
                                 const BatchSettings &settings, const SharedTemplate &loaded,
                                 const ProtectedFiles *protectedFiles, int listPosition)
{
    BatchFileResult result;
    result.sourcePath = sourcePath;
    result.outputPath = planned.path;
    if (planned.skip) {
        result.skipped = true;
        result.warning = planned.note;
        return result;
    }
    if (planned.failed()) {
        result.error = planned.error;
        return result;
    }
    if (!loaded) {
        result.error = u"no template was read for the run"_s;
        return result;
    }
    try {
        // The cheap refusal comes before a photo is decoded.
        result.error = RefuseOutputPath(planned.path, sourcePath, protectedFiles);
        if (!result.error.isEmpty())
            return result;

        const CResizeSetting &resize = settings.resize;
        // A JPEG kept as it is outside the mark, when the user chose so; any
        // failure there writes the photo the usual way, with a note. The mark
        // is the run's template, read once.
        QString keptNote;
        if (KeepOriginalJpegApplies(sourcePath, settings.preferences, resize.resizeRequested())) {
            const Result<WrittenOutput> kept =
                WriteKeepingOriginalJpeg(sourcePath, planned.path, settings.preferences, *loaded,
                                         protectedFiles, listPosition);
            if (kept) {
                result.outputPath = kept->path;
                QStringList warnings;
                if (!planned.note.isEmpty())
                    warnings << planned.note;
                if (!kept->warning.isEmpty())
                    warnings << kept->warning;
                result.warning = warnings.join(u"; "_s);
                return result;
            }
            keptNote = u"re-encoded at quality 98: the original JPEG could not be kept ("_s +
                       kept.error() + u")"_s;
        }
        RenderInputs inputs{settings.templatesFolder,
                            settings.templateName,
                            ResizeRequestFrom(resize),
                            nullptr,
                            loaded,
                            listPosition};
        RenderOutcome outcome = CWatermarkRenderer::RenderWatermark(RenderMode::BatchOutput,
                                                                    sourcePath, 0, 0, true, inputs);
        if (!outcome.error.isEmpty()) {
            result.error = outcome.error;
            return result;
        }
        QStringList metadataWarnings;
        ApplyTemplateMetadata(outcome.photo, outcome.picture, loaded->outputMetadata,
                              metadataWarnings);
        const Result<WrittenOutput> written =
            WriteOutput(std::move(outcome.picture), outcome.photo, settings.preferences,
                        protectedFiles, planned.path);
        result.outputPath = written ? written->path : planned.path;
        result.error = written.error();
        QStringList warnings;
        if (!planned.note.isEmpty())
            warnings << planned.note;
        if (!outcome.photo.metadataNote.isEmpty())
            warnings << outcome.photo.metadataNote + u" (written as stored, without metadata)"_s;
        warnings << metadataWarnings;
        if (written && !written->warning.isEmpty())
            warnings << written->warning;
        if (!keptNote.isEmpty())
            warnings << keptNote;
        result.warning = warnings.join(u"; "_s);
    } catch (const std::bad_alloc &) {
        result.error = u"not enough memory"_s;
    } catch (const std::exception &e) {
        result.error = QString::fromLocal8Bit(e.what());
    }
    return result;
}

// What the workers of one run share: the list, settings, template and plan
// (written before the workers start, read only afterwards) and the hand-out
// of photos (under the mutex).
struct BatchEngine::Run
{
    QStringList paths;
    BatchSettings settings;
    ProtectedFiles sources;
    SharedTemplate loaded; // null when it could not be read
    QString templateError; // why not
    std::vector<PlannedOutput> plan;
    std::vector<int> selected; // the positions in `paths` to render, in order

    std::mutex mutex;
    int next = 0;          // the next of `selected` to hand out; under the mutex
    int activeWorkers = 0; // under the mutex
};

BatchEngine::BatchEngine(QObject *parent) : QObject(parent) {}

BatchEngine::~BatchEngine()
{
    requestStop();
    waitForWorkers();
}

Status BatchEngine::start(const QStringList &paths, const BatchSettings &settings)
{
    std::vector<int> all(size_t(paths.size()));
    for (size_t i = 0; i < all.size(); ++i)
        all[i] = int(i);
    return start(paths, all, settings);
}

Status BatchEngine::start(const QStringList &paths, const std::vector<int> &selected,
                          const BatchSettings &settings)
{
    if (m_running)
        return Failure{u"a batch run is in progress"_s};
    std::vector<bool> taken(size_t(paths.size()), false);
    for (const int index : selected) {
        if (index < 0 || index >= paths.size())
            return Failure{u"photo %1 of a list of %2 was selected"_s.arg(index).arg(paths.size())};
        if (taken[size_t(index)])
            return Failure{u"photo %1 was selected twice"_s.arg(index)};
        taken[size_t(index)] = true;
    }
    waitForWorkers(); // the previous run's threads have left their loops
    m_stopRequested = false;
    m_running = true;
    m_summary = BatchSummary();
    m_summary.total = int(selected.size());
    m_lastWrittenIndex = -1;

    auto run = std::make_shared<Run>();
    run->paths = paths;
    run->settings = settings;
    run->selected = selected;
    for (const QString &path : paths)
        run->sources.add(path);
    // Read once, here: every photo of the run carries this mark, whatever
    // happens to the template files while the run goes on.
    if (!selected.empty()) {
        Result<SharedTemplate> read =
            LoadTemplateForRender(settings.templatesFolder, settings.templateName);
        if (read)
            run->loaded = std::move(read).value();
        else
            run->templateError = read.error();
    }
    run->plan = PlanOutputs(paths, settings.preferences, LookupOnDisk(run->sources));
    m_run = run;

    const int jobs =
        std::min(settings.jobs > 0 ? settings.jobs : DefaultBatchJobs(), int(selected.size()));
    if (jobs <= 0) {
        QMetaObject::invokeMethod(
            this, [this] { finish(); }, Qt::QueuedConnection);
        return {};
    }
    run->activeWorkers = jobs;
    const auto work = [this, run] {
        const int count = int(run->selected.size());
        for (;;) {
            int index = -1;
            {
                std::lock_guard lock(run->mutex);
                if (m_stopRequested.load() || run->next >= count)
                    break;
                index = run->selected[size_t(run->next++)];
            }
            // Everything read below was written before this thread started.
            const PlannedOutput &planned = run->plan[size_t(index)];
            BatchFileResult result = ProcessBatchFile(run->paths.at(index), planned, run->settings,
                                                      run->loaded, &run->sources, index);
            if (!run->loaded && !result.skipped)
                result.error = run->templateError;
            result.index = index;
            QMetaObject::invokeMethod(
                this, [this, result] { deliver(result); }, Qt::QueuedConnection);
        }
        bool last = false;
        {
            std::lock_guard lock(run->mutex);
            last = --run->activeWorkers == 0;
        }
        if (last)
            QMetaObject::invokeMethod(
                this, [this] { finish(); }, Qt::QueuedConnection);
    };
    int started = 0;
    try {
        for (; started < jobs; ++started)
            m_workers.emplace_back(work);
    } catch (const std::exception &) {
        // Fewer threads than asked for (the system refused more): the ones
        // that started do the work; with none, the run ends at once.
        bool last = false;
        {
            std::lock_guard lock(run->mutex);
            run->activeWorkers -= jobs - started;
            last = run->activeWorkers == 0;
        }
        if (last)
            QMetaObject::invokeMethod(
                this, [this] { finish(); }, Qt::QueuedConnection);
    }
    return {};
}

void BatchEngine::requestStop() noexcept
{
    m_stopRequested.store(true);
}

void BatchEngine::waitForWorkers()
{
    for (std::thread &worker : m_workers) {
        if (worker.joinable())
            worker.join();
    }
    m_workers.clear();
}

void BatchEngine::deliver(const BatchFileResult &result)
{
    if (result.skipped) {
        ++m_summary.skipped;
    } else if (result.ok()) {
        ++m_summary.written;
        if (result.index > m_lastWrittenIndex) {
            m_lastWrittenIndex = result.index;
            m_summary.lastWrittenPath = result.outputPath;
        }
    } else {
        ++m_summary.failed;
    }
    emit fileFinished(result);
    emit progress(m_summary.written + m_summary.failed + m_summary.skipped, m_summary.total);
}

void BatchEngine::finish()
{
    waitForWorkers();
    m_run.reset();
    m_running = false;
    BatchSummary summary = m_summary;
    summary.notProcessed = summary.total - summary.written - summary.failed - summary.skipped;
    summary.stopped = summary.notProcessed > 0;
    emit finished(summary);
}

} // namespace kw
