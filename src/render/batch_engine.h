#pragma once

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
    QString templateName; // a template without layers (or none) writes the photos unmarked
    int jobs = 0;         // photos rendered at once; 0 or less: one per processor core
};

struct BatchFileResult
{
    int index = -1; // position in the list given to start()
    QString sourcePath;
    // The file written; after a failure, the file that was to be written
    // (empty when no path could be made).
    QString outputPath;
    QString error;   // why the photo was not written; empty when it was
    QString warning; // written, but with something left out (metadata)

    bool ok() const { return error.isEmpty(); }
};

struct BatchSummary
{
    int total = 0;
    int written = 0;
    int failed = 0;
    int notProcessed = 0; // left out because the run was stopped
    bool stopped = false;
    // The output of the last photo in list order that was written; empty
    // when none was.
    QString lastWrittenPath;
};

// The number of photos rendered at once when BatchSettings::jobs is 0.
int DefaultBatchJobs();

// Renders one photo and writes it: decode, turn upright, resize, draw every
// layer of the template, write per the preferences. Any thread; shares
// nothing with other calls. Never throws.
BatchFileResult ProcessBatchFile(const QString &sourcePath, const BatchSettings &settings,
                                 const ProtectedFiles *protectedFiles = nullptr);

// One batch run at a time. Threads:
// - The engine lives on the thread that creates it (its owner thread, which
//   must run an event loop). start(), isRunning(), waitForWorkers() and the
//   destructor are called there, and every signal is emitted there.
// - Rendering happens on worker threads, at most `jobs` photos at once, each
//   worker holding one photo; workers share no mutable state with each other
//   or with the caller.
// - requestStop() may be called from any thread, and from a signal handler.
//
// Each photo's result arrives as fileFinished, followed by progress; then,
// once, finished. Results arrive in the order photos complete, not in list
// order. Sources of the run are never overwritten by any output of the run;
// when two photos of the run write the same output file, the later one in the
// list is written last and its result carries a warning.
class BatchEngine : public QObject
{
    Q_OBJECT
public:
    explicit BatchEngine(QObject *parent = nullptr);
    // Stops a run in progress and waits for the photos being rendered; no
    // signal is emitted after that.
    ~BatchEngine() override;

    // Starts a run over `paths`. False when a run is in progress (nothing
    // changes). An empty list runs too: finished comes at once, with nothing
    // written. A stop requested before this call does not apply to the run.
    bool start(const QStringList &paths, const BatchSettings &settings);

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
