#pragma once

#include "render/loaded_template.h"
#include "render/output_plan.h"
#include "render/output_writer.h"
#include "settings/preferences.h"
#include "settings/resize_setting.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

// The batch engine: applies a template to a list of photos and writes each
// result, several photos at once. The window and the command-line tool both
// drive it; it shows nothing itself.
namespace kw {

// Everything a run reads, taken once when it starts: later changes to the
// settings files do not reach a run in progress.
struct BatchSettings
{
    CPreferences preferences;
    CResizeSetting resize;
    QString templatesFolder;
    // Read with its layers and pictures once, when the run starts; every
    // photo of the run carries that mark. A template that cannot be read
    // fails every photo.
    QString templateName;
    int jobs = 0; // photos rendered at once; 0 or less: one per processor core
};

struct BatchFileResult
{
    int index = -1; // position in the list given to start()
    QString sourcePath;
    // The file written; after a failure, the file that was to be written
    // (empty when no path could be made).
    QString outputPath;
    QString error;   // why the photo was not written; empty when it was
    QString warning; // written, but under a numbered name or with something left out
    // Left alone by the collision policy: nothing written, no failure;
    // `warning` says why.
    bool skipped = false;

    bool ok() const { return error.isEmpty(); } // written or skipped
    bool written() const { return ok() && !skipped; }
};

struct BatchSummary
{
    int total = 0;
    int written = 0;
    int failed = 0;
    int skipped = 0;      // left alone by the collision policy
    int notProcessed = 0; // left out because the run was stopped
    bool stopped = false;
    // The output of the last photo in list order that was written; empty
    // when none was.
    QString lastWrittenPath;
};

// The number of photos rendered at once when BatchSettings::jobs is 0.
int DefaultBatchJobs();

// Renders one photo with `loaded` (fails without it) and writes it as
// `planned` says (skipped, failed at once, or written to planned.path): decode, turn upright,
// resize, draw every layer, write per the preferences. Any thread; shares nothing with other calls
// but the read-only template. `listPosition` is the photo's position in the run's whole list
// (RenderInputs::listPosition). Never throws.
BatchFileResult ProcessBatchFile(const QString &sourcePath, const PlannedOutput &planned,
                                 const BatchSettings &settings, const SharedTemplate &loaded,
                                 const ProtectedFiles *protectedFiles = nullptr,
                                 int listPosition = -1);

// One batch run at a time. Threads:
// - The engine lives on the thread that creates it (its owner thread, which
//   must run an event loop). start(), isRunning(), waitForWorkers() and the
//   destructor are called there, and every signal is emitted there.
// - Rendering happens on worker threads, at most `jobs` photos at once, each
//   worker holding one photo; workers share no mutable state with each other
//   or with the caller.
// - requestStop() may be called from any thread, and from a signal handler.
//
// start() reads the template once (LoadTemplateForRender) and plans every
// output (PlanOutputs) before any photo is rendered; later changes to the
// template files do not reach the run. Each photo's result arrives as
// fileFinished, followed by progress; then, once, finished. Results arrive in
// the order photos complete, not in list order. Sources of the run are never
// overwritten by any output of the run, and no two photos of a run write one
// file.
class BatchEngine : public QObject
{
    Q_OBJECT
public:
    explicit BatchEngine(QObject *parent = nullptr);
    // Stops a run in progress and waits for the photos being rendered; no
    // signal is emitted after that.
    ~BatchEngine() override;

    // Starts a run over `paths`: reads the template and plans the outputs
    // here, then renders on the workers. Refused with a reason when a run is
    // in progress (nothing changes). An empty list runs too: finished comes at
    // once, with nothing written. A stop requested before this call does not
    // apply to the run.
    Status start(const QStringList &paths, const BatchSettings &settings);

    // Starts a run that renders only the photos of `paths` at the positions
    // `selected` (in that order, each once), as one share of a larger job.
    // Outputs are planned over the whole of `paths`, so each selected photo
    // gets the name a run over all of them gives it; the other photos are
    // neither read nor written, and the summary counts the selected ones
    // only. BatchFileResult::index stays the position in `paths`. A position
    // outside `paths` or given twice is refused with a reason.
    Status start(const QStringList &paths, const std::vector<int> &selected,
                 const BatchSettings &settings);

    // Asks the run to take no further photo; photos being rendered are
    // finished and reported. Only sets a flag, which the next start() clears:
    // a stop that comes after a run has taken its last photo is forgotten.
    void requestStop() noexcept;

    // From start() until finished has been emitted.
    bool isRunning() const { return m_running; }

    // Blocks until the workers are done. Their results are delivered when
    // the owner thread's event loop runs next.
    void waitForWorkers();

signals:
    void fileFinished(const kw::BatchFileResult &result);
    void progress(int done, int total);
    void finished(const kw::BatchSummary &summary);

private:
    struct Run;
    void deliver(const BatchFileResult &result);
    void finish();

    std::shared_ptr<Run> m_run;
    std::vector<std::thread> m_workers;
    std::atomic<bool> m_stopRequested{false};
    bool m_running = false;
    BatchSummary m_summary;
    int m_lastWrittenIndex = -1;
};

} // namespace kw
