#include "render/batch_engine.h"

#include "render/jpeg_keep_original.h"
#include "render/watermark_renderer.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QThread>

#include <condition_variable>
#include <mutex>
#include <new>

using namespace Qt::StringLiterals;

namespace kw {

int DefaultBatchJobs()
{
    return std::max(1, QThread::idealThreadCount());
}

BatchFileResult ProcessBatchFile(const QString &sourcePath, const BatchSettings &settings,
                                 const ProtectedFiles *protectedFiles)
{
    BatchFileResult result;
    result.sourcePath = sourcePath;
    try {
        // The cheap refusals come before a photo is decoded.
        const OutputTarget target = ResolveOutputTarget(sourcePath, settings.preferences);
        if (!target) {
            result.error = target.error;
            return result;
        }
        result.outputPath = target.path;
        result.error = RefuseOutputPath(target.path, sourcePath, protectedFiles);
        if (!result.error.isEmpty())
            return result;

        const CResizeSetting &resize = settings.resize;
        // A JPEG kept as it is outside the mark, when the user chose so; any
        // failure there writes the photo the usual way, with a note.
        QString keptNote;
        if (KeepOriginalJpegApplies(sourcePath, settings.preferences, resize.resizeRequested())) {
            const Result<OutputResult> kept =
                WriteKeepingOriginalJpeg(sourcePath, target, settings.preferences,
                                         settings.templatesFolder, settings.templateName);
            if (kept) {
                result.warning = kept->warning;
                return result;
            }
            keptNote = u"re-encoded at quality 98: the original JPEG could not be kept ("_s +
                       kept.error() + u")"_s;
        }
        const RenderInputs inputs{settings.templatesFolder, settings.templateName,
                                  ResizeRequest{resize.resizeRequested(), resize.scaleType,
                                                resize.targetWidth, resize.targetHeight},
                                  nullptr};
        RenderOutcome outcome = CWatermarkRenderer::RenderWatermark(RenderMode::BatchOutput,
                                                                    sourcePath, 0, 0, true, inputs);
        if (!outcome.error.isEmpty()) {
            result.error = outcome.error;
            return result;
        }
        const OutputResult written = WriteOutput(std::move(outcome.picture), outcome.photo,
                                                 settings.preferences, protectedFiles);
        result.outputPath = written.outputPath;
        result.error = written.error;
        QStringList warnings;
        if (!outcome.photo.metadataNote.isEmpty())
            warnings << outcome.photo.metadataNote + u" (written as stored, without metadata)"_s;
        if (!written.warning.isEmpty())
            warnings << written.warning;
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

// Where a photo of the run stands, once a worker has taken it.
enum : char { kPending = 0, kWritten = 1, kFailed = 2 };

// What the workers of one run share: the list and settings (read only) and
// the hand-out of photos (under the mutex).
struct BatchEngine::Run
{
    QStringList paths;
    BatchSettings settings;
    ProtectedFiles sources;
    // For each photo, the earlier photo of the list that writes the same
    // output file, or -1: it must be finished first.
    std::vector<int> writesAfter;

    std::mutex mutex;
    std::condition_variable finishedChanged;
    std::vector<char> finished;
    int next = 0;
    int activeWorkers = 0;
};

BatchEngine::BatchEngine(QObject *parent) : QObject(parent) {}

BatchEngine::~BatchEngine()
{
    requestStop();
    waitForWorkers();
}

bool BatchEngine::start(const QStringList &paths, const BatchSettings &settings)
{
    if (m_running)
        return false;
    waitForWorkers(); // the previous run's threads have left their loops
    m_stopRequested = false;
    m_running = true;
    m_summary = BatchSummary();
    m_summary.total = int(paths.size());
    m_lastWrittenIndex = -1;

    auto run = std::make_shared<Run>();
    run->paths = paths;
    run->settings = settings;
    run->finished.assign(size_t(paths.size()), 0);
    run->writesAfter.assign(size_t(paths.size()), -1);
    QHash<QString, int> lastWriter;
    for (int i = 0; i < int(paths.size()); ++i) {
        run->sources.add(paths.at(i));
        const OutputTarget target = ResolveOutputTarget(paths.at(i), settings.preferences);
        if (!target)
            continue;
        const QString key = QDir::cleanPath(QFileInfo(target.path).absoluteFilePath());
        const auto earlier = lastWriter.constFind(key);
        if (earlier != lastWriter.cend())
            run->writesAfter[size_t(i)] = earlier.value();
        lastWriter.insert(key, i);
    }
    m_run = run;

    const int jobs =
        std::min(settings.jobs > 0 ? settings.jobs : DefaultBatchJobs(), int(paths.size()));
    if (jobs <= 0) {
        QMetaObject::invokeMethod(
            this, [this] { finish(); }, Qt::QueuedConnection);
        return true;
    }
    run->activeWorkers = jobs;
    const auto work = [this, run] {
        const int count = int(run->paths.size());
        for (;;) {
            int index = -1;
            int after = -1;
            {
                std::unique_lock lock(run->mutex);
                if (m_stopRequested.load() || run->next >= count)
                    break;
                index = run->next++;
                after = run->writesAfter[size_t(index)];
                if (after >= 0)
                    run->finishedChanged.wait(
                        lock, [&] { return run->finished[size_t(after)] != kPending; });
            }
            BatchFileResult result =
                ProcessBatchFile(run->paths.at(index), run->settings, &run->sources);
            result.index = index;
            if (after >= 0 && result.ok() && run->finished[size_t(after)] == kWritten) {
                const QString note = u"replaces the output of "_s + run->paths.at(after);
                result.warning = result.warning.isEmpty() ? note : result.warning + u"; "_s + note;
            }
            {
                std::lock_guard lock(run->mutex);
                run->finished[size_t(index)] = result.ok() ? kWritten : kFailed;
            }
            run->finishedChanged.notify_all();
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
    return true;
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
    if (result.ok()) {
        ++m_summary.written;
        if (result.index > m_lastWrittenIndex) {
            m_lastWrittenIndex = result.index;
            m_summary.lastWrittenPath = result.outputPath;
        }
    } else {
        ++m_summary.failed;
    }
    emit fileFinished(result);
    emit progress(m_summary.written + m_summary.failed, m_summary.total);
}

void BatchEngine::finish()
{
    waitForWorkers();
    m_run.reset();
    m_running = false;
    BatchSummary summary = m_summary;
    summary.notProcessed = summary.total - summary.written - summary.failed;
    summary.stopped = summary.notProcessed > 0;
    emit finished(summary);
}

} // namespace kw
