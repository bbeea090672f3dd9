// Encodes one PNG photo as WebP or AVIF with the output writer's encoders,
// the way an output is written: the PNG is read, its pixels converted and
// encoded, and the file written. bench_web_formats.sh times it against
// cwebp and avifenc doing the same.
//   bench_web_formats webp|webp-lossless|avif QUALITY IN.png OUT
#include "render/avif_encoder.h"
#include "render/webp_encoder.h"

#include <QElapsedTimer>
#include <QFile>
#include <QImage>

#include <cstdio>

using namespace Qt::StringLiterals;

int main(int argc, char **argv)
{
    if (argc != 5) {
        std::fprintf(stderr, "usage: %s webp|webp-lossless|avif QUALITY IN.png OUT\n", argv[0]);
        return 2;
    }
    const QByteArray format = argv[1];
    const int quality = QByteArray(argv[2]).toInt();
    QElapsedTimer timer;
    timer.start();
    QImage picture(QString::fromLocal8Bit(argv[3]));
    if (picture.isNull()) {
        std::fprintf(stderr, "cannot read %s\n", argv[3]);
        return 1;
    }
    picture = std::move(picture).convertToFormat(QImage::Format_RGBX8888);
    const qint64 read = timer.restart();
    QFile out(QString::fromLocal8Bit(argv[4]));
    if (!out.open(QIODevice::WriteOnly)) {
        std::fprintf(stderr, "cannot write %s\n", argv[4]);
        return 1;
    }
    const kw::Status encoded =
        format == "avif" ? kw::EncodeAvif(picture, quality, {}, &out)
                         : kw::EncodeWebp(picture, {quality, format == "webp-lossless"}, {}, &out);
    if (!encoded) {
        std::fprintf(stderr, "%s\n", qPrintable(encoded.error()));
        return 1;
    }
    if (!out.flush())
        return 1;
    // Stage times, to set beside cwebp -v's "Time to read input" and "Time
    // to encode picture".
    std::fprintf(stderr, "read %.3f s, encode and write %.3f s\n", double(read) / 1000,
                 double(timer.elapsed()) / 1000);
    return 0;
}
