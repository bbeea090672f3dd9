#include "render/mark_overlay.h"

#include "render/photo_input.h"
#include "render/watermark_renderer.h"

#include <QRect>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace kw {

namespace {

// A canvas in memory of its own: a fresh anonymous mapping, so every page
// reads as zero until written, and the pages never written are known (below).
struct CanvasMemory
{
    void *start = nullptr;
    size_t bytes = 0;
};

void ReleaseCanvasMemory(void *info)
{
    auto *memory = static_cast<CanvasMemory *>(info);
    munmap(memory->start, memory->bytes);
    delete memory;
}

// Which pages of `memory` were ever written: a page that is neither present
// nor swapped out has not been touched and reads as zero. Empty when the
// kernel's page map cannot be read; then every page counts as written.
std::vector<bool> WrittenPages(const CanvasMemory &memory)
{
    const long pageSize = sysconf(_SC_PAGESIZE);
    if (pageSize <= 0)
        return {};
    const size_t count = (memory.bytes + size_t(pageSize) - 1) / size_t(pageSize);
    std::vector<uint64_t> entries(count);
    const int fd = open("/proc/self/pagemap", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return {};
    const off_t first = off_t(reinterpret_cast<uintptr_t>(memory.start) / uintptr_t(pageSize));
    size_t done = 0;
    const size_t wanted = count * sizeof(uint64_t);
    while (done < wanted) {
        const ssize_t got = pread(fd, reinterpret_cast<char *>(entries.data()) + done,
                                  wanted - done, first * off_t(sizeof(uint64_t)) + off_t(done));
        if (got <= 0)
            break;
        done += size_t(got);
    }
    close(fd);
    if (done < wanted)
        return {};
    constexpr uint64_t kPresentOrSwapped = (uint64_t(1) << 63) | (uint64_t(1) << 62);
    std::vector<bool> written(count);
    for (size_t i = 0; i < count; ++i)
        written[i] = (entries[i] & kPresentOrSwapped) != 0;
    return written;
}

// The rectangle of pixels with alpha above 0; empty when there are none.
// Premultiplied, so a pixel of alpha 0 is all zero: rows are scanned eight
// bytes at a time, which matters on a canvas of a whole photo. Rows on pages
// never written (`writtenPages`, when known) are all zero and not read, so a
// corner mark costs neither the scan of the whole canvas nor its page faults.
QRect InkedRect(const QImage &canvas, const std::vector<bool> &writtenPages)
{
    const int width = canvas.width(), height = canvas.height();
    const size_t pageSize = writtenPages.empty() ? 0 : size_t(sysconf(_SC_PAGESIZE));
    const auto rowWritten = [&](int y) {
        if (pageSize == 0)
            return true;
        const size_t begin = size_t(y) * size_t(canvas.bytesPerLine());
        const size_t end = begin + size_t(width) * 4;
        for (size_t page = begin / pageSize; page <= (end - 1) / pageSize; ++page) {
            if (writtenPages[page])
                return true;
        }
        return false;
    };
    int top = -1, bottom = -1, left = width, right = -1;
    for (int y = 0; y < height; ++y) {
        if (!rowWritten(y))
            continue;
        const auto *line = reinterpret_cast<const QRgb *>(canvas.constScanLine(y));
        const QRgb *end = line + width;
        const QRgb *first = line;
        // Pairs of pixels while both are blank.
        while (end - first >= 2) {
            uint64_t pair;
            std::memcpy(&pair, first, sizeof pair);
            if (pair != 0)
                break;
            first += 2;
        }
        while (first < end && *first == 0)
            ++first;
        if (first == end)
            continue;
        const QRgb *last = end - 1;
        while (*last == 0)
            --last;
        if (top < 0)
            top = y;
        bottom = y;
        left = std::min(left, int(first - line));
        right = std::max(right, int(last - line));
    }
    if (top < 0)
        return {};
    return QRect(QPoint(left, top), QPoint(right, bottom));
}

// Where upright pixel `p` of an `upright`-sized canvas lies on the stored
// canvas of a photo with EXIF `orientation`.
QPoint UprightToStored(QPoint p, QSize upright, int orientation)
{
    const int w = upright.width(), h = upright.height();
    switch (orientation) {
    case 2:
        return {w - 1 - p.x(), p.y()};
    case 3:
        return {w - 1 - p.x(), h - 1 - p.y()};
    case 4:
        return {p.x(), h - 1 - p.y()};
    case 5:
        return {p.y(), p.x()};
    case 6:
        return {p.y(), w - 1 - p.x()};
    case 7:
        return {h - 1 - p.y(), w - 1 - p.x()};
    case 8:
        return {h - 1 - p.y(), p.x()};
    default:
        return p;
    }
}

} // namespace

Result<MarkOverlay> RenderMarkOverlay(QSize upright, const LoadedTemplate &mark,
                                      const PhotoFacts *facts, const QColorSpace &space)
{
    MarkOverlay overlay;
    if (upright.isEmpty())
        return overlay;
    // Zeroed pages from the system: the untouched part of a large canvas
    // costs neither a fill nor memory.
    const qsizetype bytesPerLine = qsizetype(upright.width()) * 4;
    auto *memory = new CanvasMemory{nullptr, size_t(upright.height()) * size_t(bytesPerLine)};
    memory->start =
        mmap(nullptr, memory->bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory->start == MAP_FAILED) {
        delete memory;
        return Failure{u"not enough memory for the watermark"_s};
    }
    QImage canvas(static_cast<uchar *>(memory->start), upright.width(), upright.height(),
                  bytesPerLine, QImage::Format_ARGB32_Premultiplied, ReleaseCanvasMemory, memory);
    canvas.setColorSpace(space);
    CWatermarkRenderer::DrawTemplate(canvas, upright.width(), upright.height(), mark, QString(),
                                     facts);
    const QRect inked = InkedRect(canvas, WrittenPages(*memory));
    if (inked.isEmpty())
        return overlay;
    // A mark over most of the photo (cover tiles) keeps the whole canvas
    // rather than paying for a copy of nearly all of it.
    if (qint64(inked.width()) * inked.height() * 2 >= qint64(upright.width()) * upright.height()) {
        overlay.image = std::move(canvas);
        return overlay;
    }
    overlay.image = canvas.copy(inked);
    overlay.origin = inked.topLeft();
    if (overlay.image.isNull())
        return Failure{u"not enough memory for the watermark"_s};
    return overlay;
}

MarkOverlay OverlayToStored(const MarkOverlay &overlay, QSize upright, int orientation)
{
    if (overlay.image.isNull() || orientation < 2 || orientation > 8)
        return overlay;
    const QRect box(overlay.origin, overlay.image.size());
    const QPoint a = UprightToStored(box.topLeft(), upright, orientation);
    const QPoint b = UprightToStored(box.bottomRight(), upright, orientation);
    MarkOverlay stored;
    stored.image = OrientToStored(overlay.image, orientation);
    stored.origin = QPoint(std::min(a.x(), b.x()), std::min(a.y(), b.y()));
    return stored;
}

} // namespace kw
