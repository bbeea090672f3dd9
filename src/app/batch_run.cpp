#include "app/batch_run.h"

#include "app/app_context.h"
#include "app/source_list.h"
#include "controls/user_prompts.h"
#include "settings/preferences.h"
#include "settings/resize_setting.h"

#include <QCoreApplication>
#include <QHash>
#include <QWidget>

using namespace Qt::StringLiterals;

namespace kw {

namespace {

const QString kSelectTemplateFirst = QStringLiteral("Please select a watermark template first.");
// The engine's reasons that the output settings can cure.
const QString kReplacesSource = u"the output would replace the source photo"_s;
const QString kReplacesOtherSource =
    u"the output would replace another source photo of this batch"_s;

QString Photos(int count)
{
    return count == 1 ? QStringLiteral("1 photo") : QStringLiteral("%1 photos").arg(count);
}

} // namespace

CBatchProcessor::CBatchProcessor(AppContext &context, CSourceList &sources, QObject *parent)
    : QObject(parent), m_context(context), m_sources(sources)
{
    connect(&m_engine, &BatchEngine::fileFinished, this, &CBatchProcessor::onFileFinished);
    connect(&m_engine, &BatchEngine::progress, this, [this](int done, int total) {
        if (!m_closing)
            emit progressChanged(done, total);
    });
    connect(&m_engine, &BatchEngine::finished, this, &CBatchProcessor::onFinished);
}

CBatchProcessor::~CBatchProcessor()
{
    stopAndWait();
}

bool CBatchProcessor::isRunning() const
{
    return m_engine.isRunning();
}

bool CBatchProcessor::start(QWidget *dialogParent, const QString &templateName)
{
    if (m_engine.isRunning())
        return false;
    if (templateName.isEmpty()) {
        m_context.prompts.message(dialogParent, kSelectTemplateFirst, MessageIcon::Information);
        return false;
    }
    BatchSettings settings;
    if (const Status loaded = LoadPreferences(m_context.dataFolder, settings.preferences);
        !loaded) {
        m_context.prompts.message(
            dialogParent,
            QStringLiteral("The output settings could not be read, so nothing was processed.\n\n%1")
                .arg(loaded.error()),
            MessageIcon::Warning);
        return false;
    }
    // An unreadable resizing file gives the defaults, which resize nothing
    // unless the user asked for this session.
    (void)LoadResizeSetting(m_context.dataFolder, settings.resize);
    settings.resize.resizeJustThisTime = m_context.resizeJustThisTime;
    settings.templatesFolder = m_context.templatesFolder;
    settings.templateName = templateName;
    settings.jobs = m_context.batchJobs;
    m_dialogParent = dialogParent;

    m_stopping = false;
    m_closing = false;
    // Rows of an earlier run say "ready" again: after this run each row
    // tells what this run did with it.
    const int rows = m_sources.rowCount();
    for (int row = 0; row < rows; ++row)
        m_sources.setStatus(row, CSourceList::Status::Ready);
    // The selection then shows how far down the list the run has come.
    m_sources.clearSelection();
    m_finishedRows.assign(size_t(rows), false);
    m_rowsInOrder = 0;
    m_failureReasons.clear();
    if (!m_engine.start(m_sources.paths(), settings))
        return false;
    emit runningChanged(true);
    if (m_engine.isRunning())
        emit progressChanged(0, m_sources.rowCount());
    return true;
}

void CBatchProcessor::stop()
{
    if (!m_engine.isRunning() || m_stopping)
        return;
    m_stopping = true;
    m_engine.requestStop();
}

void CBatchProcessor::stopAndWait()
{
    if (!m_engine.isRunning())
        return;
    m_closing = true;
    m_stopping = true;
    m_engine.requestStop();
    m_engine.waitForWorkers();
    // The workers' last results wait in the engine's queue; taking them now
    // ends the run (they change nothing, the window is closing).
    QCoreApplication::sendPostedEvents(&m_engine);
    // The run has ended: a later one reports its rows again.
    m_closing = false;
    m_stopping = false;
    emit runningChanged(false);
}

void CBatchProcessor::onFileFinished(const BatchFileResult &result)
{
    if (m_closing)
        return;
    const int row = result.index;
    if (result.skipped)
        m_sources.setStatus(row, CSourceList::Status::Skipped, result.warning);
    else if (result.ok())
        m_sources.setStatus(row, CSourceList::Status::Ok, result.warning);
    else {
        m_sources.setStatus(row, CSourceList::Status::Failed, result.error);
        m_failureReasons.append(result.error);
    }
    // Photos finish in any order on the workers; the selection moves down
    // the list to the last row of the unbroken run of finished ones.
    if (row >= 0 && size_t(row) < m_finishedRows.size())
        m_finishedRows[size_t(row)] = true;
    const int before = m_rowsInOrder;
    while (size_t(m_rowsInOrder) < m_finishedRows.size() && m_finishedRows[size_t(m_rowsInOrder)])
        ++m_rowsInOrder;
    if (m_rowsInOrder > before)
        m_sources.selectOnly(m_rowsInOrder - 1);
    emit rowFinished(row);
}

void CBatchProcessor::onFinished(const BatchSummary &summary)
{
    if (m_closing)
        return;
    m_stopping = false;
    if (!summary.lastWrittenPath.isEmpty())
        m_context.prompts.showFile(summary.lastWrittenPath);
    emit runningChanged(false);
    emit runFinished(summary);
    const QString shared = SharedFailureText(m_failureReasons);
    if (!shared.isEmpty())
        m_context.prompts.message(m_dialogParent, shared, MessageIcon::Warning);
}

QString CBatchProcessor::SharedFailureText(const QStringList &reasons)
{
    // Counted in the order the reasons first came.
    QStringList order;
    QHash<QString, int> counts;
    for (const QString &reason : reasons) {
        if (counts[reason]++ == 0)
            order << reason;
    }
    QStringList lines;
    for (const QString &reason : std::as_const(order)) {
        const int count = counts.value(reason);
        if (count < 2)
            continue;
        QString line = u"%1 failed: %2"_s.arg(Photos(count), reason);
        if (reason == kReplacesSource || reason == kReplacesOtherSource)
            line += u" — change the output name or folder in Preferences"_s;
        lines << line;
    }
    return lines.join(u'\n');
}

QString CBatchProcessor::SummaryText(const BatchSummary &summary)
{
    QString text = summary.stopped ? QStringLiteral("Stopped: ") : QStringLiteral("Finished: ");
    if (summary.failed == 0 && summary.skipped == 0 && summary.notProcessed == 0)
        return text + Photos(summary.written) + QStringLiteral(" written");
    text += QStringLiteral("%1 written").arg(summary.written);
    if (summary.failed > 0)
        text += QStringLiteral(", %1 failed").arg(summary.failed);
    if (summary.skipped > 0)
        text += QStringLiteral(", %1 skipped").arg(summary.skipped);
    if (summary.notProcessed > 0)
        text += QStringLiteral(", %1 not processed").arg(summary.notProcessed);
    return text;
}

} // namespace kw
