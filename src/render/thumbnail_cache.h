#pragma once

#include <QCache>
#include <QImage>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QThreadPool>

#include <deque>
#include <memory>
#include <mutex>

// Thumbnails for a list of photos, made on worker threads and kept in memory
// up to a bound, least recently used first out.
namespace kw {

// Threads: created, asked and destroyed on one thread with an event loop
// (the user-interface thread); thumbnails are made on two workers of its own
// and arrive on the owner thread as thumbnailReady. Destruction drops the
// waiting requests and waits for the thumbnails being made.
class ThumbnailCache : public QObject
{
    Q_OBJECT
public:
    // Thumbnails fit in maxSide x maxSide; at most maxBytes of them are kept.
    ThumbnailCache(int maxSide, qint64 maxBytes, QObject *parent = nullptr);
    ~ThumbnailCache() override;

    // The kept thumbnail of `path`; null when it is not made (yet), was
    // dropped to keep the bound, or could not be made.
    QImage thumbnail(const QString &path);
    bool hasFailed(const QString &path) const { return m_failed.contains(path); }

    // Asks for the thumbnails of `paths` that are neither kept nor being
    // made, in that order. They replace the requests still waiting (a list
    // asks for the rows in view each time it is drawn).
    void request(const QStringList &paths);

    // Requests waiting or being made.
    int pendingCount() const;
    int maxSide() const { return m_maxSide; }
    qint64 keptBytes() const { return qint64(m_kept.totalCost()) * 1024; }

signals:
    void thumbnailReady(const QString &path);

private:
    struct Queue;
    void startWorkers(); // with the queue's mutex held
    void take(const QString &path, const QImage &image);

    int m_maxSide;
    QCache<QString, QImage> m_kept; // cost in KiB
    QSet<QString> m_failed;
    QSet<QString> m_inFlight; // owner thread's view: asked and not yet arrived
    std::shared_ptr<Queue> m_queue;
    QThreadPool m_pool;
};

} // namespace kw
