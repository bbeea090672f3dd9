#include "render/thumbnail_cache.h"

#include "render/photo_thumbnail.h"

#include <algorithm>
#include <climits>

namespace kw {

// The waiting paths, shared with the workers.
struct ThumbnailCache::Queue
{
    std::mutex mutex;
    std::deque<QString> paths;
    int running = 0;
    bool stopping = false;
};

ThumbnailCache::ThumbnailCache(int maxSide, qint64 maxBytes, QObject *parent)
    : QObject(parent), m_maxSide(maxSide), m_queue(std::make_shared<Queue>())
{
    m_kept.setMaxCost(int(std::clamp<qint64>(maxBytes / 1024, 1, INT_MAX)));
    m_pool.setMaxThreadCount(2);
}

ThumbnailCache::~ThumbnailCache()
{
    {
        const std::lock_guard lock(m_queue->mutex);
        m_queue->stopping = true;
        m_queue->paths.clear();
    }
    m_pool.waitForDone();
}

QImage ThumbnailCache::thumbnail(const QString &path)
{
    const QImage *kept = m_kept.object(path);
    return kept ? *kept : QImage();
}

void ThumbnailCache::request(const QStringList &paths)
{
    const std::lock_guard lock(m_queue->mutex);
    // The waiting paths are dropped; those being made stay in flight.
    for (const QString &path : m_queue->paths)
        m_inFlight.remove(path);
    m_queue->paths.clear();
    for (const QString &path : paths) {
        if (!m_kept.contains(path) && !m_failed.contains(path) && !m_inFlight.contains(path)) {
            m_queue->paths.push_back(path);
            m_inFlight.insert(path);
        }
    }
    startWorkers();
}

int ThumbnailCache::pendingCount() const
{
    return int(m_inFlight.size());
}

void ThumbnailCache::startWorkers()
{
    // Called with the queue's mutex held.
    const std::shared_ptr<Queue> queue = m_queue;
    const int side = m_maxSide;
    while (queue->running < m_pool.maxThreadCount() && queue->running < int(queue->paths.size())) {
        ++queue->running;
        m_pool.start([this, queue, side] {
            for (;;) {
                QString path;
                {
                    const std::lock_guard hold(queue->mutex);
                    if (queue->stopping || queue->paths.empty()) {
                        --queue->running;
                        return;
                    }
                    path = queue->paths.front();
                    queue->paths.pop_front();
                }
                Result<PhotoThumbnail> made = MakePhotoThumbnail(path, side);
                QImage image = made ? std::move(made).value().image : QImage();
                // Delivered on the owner thread; dropped if the cache is gone.
                QMetaObject::invokeMethod(
                    this, [this, path, image] { take(path, image); }, Qt::QueuedConnection);
            }
        });
    }
}

void ThumbnailCache::take(const QString &path, const QImage &image)
{
    m_inFlight.remove(path);
    if (image.isNull()) {
        m_failed.insert(path);
    } else {
        const int cost = int(std::max<qint64>(1, image.sizeInBytes() / 1024));
        m_kept.insert(path, new QImage(image), cost);
    }
    emit thumbnailReady(path);
}

} // namespace kw
