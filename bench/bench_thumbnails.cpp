// The photo list's thumbnails: time to the first 20 for 24-megapixel JPEGs
// (with and without an EXIF preview), and time and memory for a list of
// 2,000 photos scrolled from top to bottom.
//   QT_QPA_PLATFORM=offscreen build/bench/bench_thumbnails
#include "app/source_list.h"
#include "render/photo_input.h"
#include "render/thumbnail_cache.h"
#include "support/scripted_prompts.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>

#include <exiv2/exiv2.hpp>

#include <algorithm>
#include <cstdio>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

long RssKiB()
{
    QFile status(u"/proc/self/status"_s);
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    }
    return -1;
}

// A 6000 x 4000 photo-like JPEG (smooth shading and sensor-like noise, about
// the size a camera writes at quality 90); with a 160 x 107 EXIF preview
// when asked.
QByteArray Photo(int seed, bool withPreview)
{
    QImage photo(6000, 4000, QImage::Format_RGB32);
    quint32 noise = 2463534242u + quint32(seed);
    for (int y = 0; y < photo.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(photo.scanLine(y));
        for (int x = 0; x < photo.width(); ++x) {
            noise ^= noise << 13;
            noise ^= noise >> 17;
            noise ^= noise << 5;
            const int n = int(noise & 15) - 8;
            line[x] =
                qRgb(std::clamp(x / 24 + seed * 9 + n, 0, 255), std::clamp(y / 16 + n, 0, 255),
                     std::clamp(128 + (x - y) / 40 + n, 0, 255));
        }
    }
    QByteArray bytes;
    {
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        photo.save(&buffer, "JPEG", 90);
    }
    if (!withPreview)
        return bytes;
    QByteArray thumb;
    {
        QBuffer buffer(&thumb);
        buffer.open(QIODevice::WriteOnly);
        photo.scaled(160, 107, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
            .save(&buffer, "JPEG", 90);
    }
    kw::InitPhotoMetadataLibrary();
    std::unique_ptr<Exiv2::Image> image(
        Exiv2::ImageFactory::open(reinterpret_cast<const Exiv2::byte *>(bytes.constData()),
                                  long(bytes.size()))
            .release());
    image->readMetadata();
    Exiv2::ExifThumb(image->exifData())
        .setJpegThumbnail(reinterpret_cast<const Exiv2::byte *>(thumb.constData()),
                          long(thumb.size()));
    image->writeMetadata();
    Exiv2::BasicIo &io = image->io();
    io.seek(0, Exiv2::BasicIo::beg);
    const Exiv2::DataBuf data = io.read(long(io.size()));
    return QByteArray(reinterpret_cast<const char *>(data.pData_), data.size_);
}

// Time until the list shows thumbnails for its first `count` rows.
double FirstThumbnails(kw::CSourceList &list, int count)
{
    QElapsedTimer timer;
    timer.start();
    for (;;) {
        list.repaint();
        int done = 0;
        for (int row = 0; row < count; ++row)
            done += list.thumbnails().thumbnail(list.pathAt(row)).isNull() ? 0 : 1;
        if (done == count)
            return timer.nsecsElapsed() / 1e6;
        QTest::qWait(1);
    }
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    // 20 distinct photos of each kind, then 2,000 names for them (links).
    QStringList plain, previewed;
    for (int i = 0; i < 20; ++i) {
        for (bool preview : {false, true}) {
            const QString path =
                dir.filePath(u"%1%2.jpg"_s.arg(preview ? u"exif" : u"plain").arg(i));
            QFile file(path);
            if (!file.open(QIODevice::WriteOnly) || file.write(Photo(i, preview)) < 0) {
                std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
                return 1;
            }
            (preview ? previewed : plain) << path;
        }
    }

    kw::ScriptedPrompts prompts;
    for (const auto &[name, photos] :
         {std::pair{"decoded (DCT-scaled)", plain}, std::pair{"EXIF preview", previewed}}) {
        kw::CSourceList list(prompts);
        list.resize(605, 900); // 20 rows in view
        list.show();
        (void)QTest::qWaitForWindowExposed(&list);
        list.appendPaths(photos);
        const int inView = std::min(20, int(list.rowsInView().size()));
        std::printf("first %d thumbnails (rows in view), 24 MP JPEG, %s: %.0f ms\n", inView, name,
                    FirstThumbnails(list, inView));
    }

    QStringList many;
    for (int i = 0; i < 2000; ++i) {
        const QString link = dir.filePath(u"many/p%1.jpg"_s.arg(i, 4, 10, QChar(u'0')));
        QDir().mkpath(dir.filePath(u"many"_s));
        QFile::link(plain[i % 20], link);
        many << link;
    }
    const long before = RssKiB();
    kw::CSourceList list(prompts);
    list.resize(605, 477); // as in the main window
    list.show();
    (void)QTest::qWaitForWindowExposed(&list);
    QElapsedTimer timer;
    timer.start();
    list.appendPaths(many);
    list.repaint();
    std::printf("2000 rows listed and drawn: %.0f ms\n", timer.nsecsElapsed() / 1e6);
    const long listed = RssKiB();
    // Scrolled to the bottom a page at a time, each page's thumbnails made.
    timer.restart();
    QScrollBar *bar = list.verticalScrollBar();
    for (int value = 0;; value += bar->pageStep()) {
        bar->setValue(value);
        list.repaint();
        while (list.thumbnails().pendingCount() > 0)
            QTest::qWait(1);
        if (value >= bar->maximum())
            break;
    }
    std::printf("every thumbnail of 2000 made by scrolling: %.1f s\n", timer.nsecsElapsed() / 1e9);
    std::printf("photo file size: %lld MB\n", QFileInfo(plain[0]).size() / 1000000);
    std::printf("memory: %ld MiB before, %ld MiB with 2000 rows, %ld MiB after scrolling them "
                "all (thumbnails kept: %lld MiB)\n",
                before / 1024, listed / 1024, RssKiB() / 1024,
                list.thumbnails().keptBytes() / (1024 * 1024));
    return 0;
}
