#pragma once

#include "render/batch_engine.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <vector>

class QWidget;

namespace kw {

struct AppContext;
class CSourceList;

// The batch run of the main window: applies the selected template to the
// rows of the source list on the batch engine's worker threads while the
// window stays responsive.
//
// A run takes the rows listed when it starts; rows added during the run are
// left for the next one. Starting sets every row back to "ready"; each
// finished photo marks its row "OK", "Failed" or "Skipped" (the reason or
// note in the row's tooltip). The selection follows the list: it moves to the
// last row of the unbroken run of finished rows from the top, whatever order
// the workers finish in. When the run ends, by itself or stopped, the file
// manager shows the last file written (nothing when no file was written), and
// a reason that failed several photos is told once in a message.
//
// User-interface thread only: results arrive there through the engine's
// signals.
class CBatchProcessor : public QObject
{
    Q_OBJECT
public:
    CBatchProcessor(AppContext &context, CSourceList &sources, QObject *parent = nullptr);
    ~CBatchProcessor() override;

    // Starts a run with `templateName` (the selected template). With no
    // template selected, or when the output settings cannot be read, tells
    // the user why (over `dialogParent`) and starts nothing. Returns whether
    // a run started.
    bool start(QWidget *dialogParent, const QString &templateName);

    // Asks the run to take no further photo; the photos in progress are
    // finished and reported.
    void stop();

    // For closing the window: stops the run and waits for the photos in
    // progress. No row of that run is changed and no file manager opens
    // afterwards; the next run reports as usual.
    void stopAndWait();

    bool isRunning() const;
    bool isStopping() const { return m_stopping; }

    // The text that sums up a finished run, e.g. "Finished: 118 written, 2 failed,
    // 3 skipped".
    static QString SummaryText(const BatchSummary &summary);

    // One line per reason that failed two photos or more, e.g. "23 photos
    // failed: the output would replace the source photo — change the output
    // name or folder in Preferences"; empty when no reason is shared.
    static QString SharedFailureText(const QStringList &reasons);

signals:
    void runningChanged(bool running);
    void progressChanged(int done, int total);
    // A photo's row has been marked (and selected).
    void rowFinished(int row);
    void runFinished(const kw::BatchSummary &summary);

private:
    void onFileFinished(const BatchFileResult &result);
    void onFinished(const BatchSummary &summary);

    AppContext &m_context;
    CSourceList &m_sources;
    BatchEngine m_engine;
    bool m_stopping = false;
    bool m_closing = false;
    QPointer<QWidget> m_dialogParent;
    std::vector<bool> m_finishedRows; // by row of the run
    int m_rowsInOrder = 0;            // rows finished from the top without a gap
    QStringList m_failureReasons;     // one per failed photo
};

} // namespace kw
