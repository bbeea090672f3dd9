// Loads arbitrary bytes as a photo named ".jpg", so that every decoder path
// (format by content), the end-of-data checks, the EXIF reading and the turn
// upright all see the input. The input's size picks the resize request and
// whether the JPEG decoder may scale, so the corpus covers those paths too.
// Checks: a failure has a reason that names its cause; a success is a
// premultiplied bitmap of the working size of its upright full size, which
// is within the pixel limit, with an orientation the tag can hold; and no
// codec writes anything on stderr. stderr is caught in a file during each
// load; sanitizer reports keep going to the real stderr, but libFuzzer's own
// lines about a crash or timeout inside a load land in that file (its path
// is printed at start). Set KW_FUZZ_KEEP_STDERR=1 to leave stderr alone.
//
// Memory: a photo just under the pixel limit decodes to 1.6 GB when it has 16
// bits a sample; run with -rss_limit_mb=4096 -malloc_limit_mb=2048.
#include "render/photo_input.h"

#include <QFile>
#include <QTemporaryDir>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#include <sanitizer/common_interface_defs.h>
#define KW_HAS_SANITIZER_REPORT_FD 1
#endif
#endif

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>

using namespace Qt::StringLiterals;

namespace {

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

kw::PhotoLoadOptions OptionsFor(size_t size)
{
    kw::PhotoLoadOptions options;
    switch (size % 4) {
    case 1:
        options.resize = {true, 1, 64, 0}; // proportional to a width
        break;
    case 2:
        options.resize = {true, 3, 33, 17}; // exact size
        break;
    case 3:
        options.keepMetadata = false;
        break;
    default:
        break;
    }
    options.dctScaling = size / 4 % 2 == 0;
    return options;
}

// Sends stderr to a file while it lives; `written()` says whether anything
// came.
class CatchStderr
{
public:
    explicit CatchStderr(int file) : m_file(file)
    {
        std::fflush(stderr);
        m_saved = ::dup(STDERR_FILENO);
        Check(::ftruncate(m_file, 0) == 0 && ::lseek(m_file, 0, SEEK_SET) == 0);
        Check(::dup2(m_file, STDERR_FILENO) == STDERR_FILENO);
    }
    ~CatchStderr()
    {
        std::fflush(stderr);
        ::dup2(m_saved, STDERR_FILENO);
        ::close(m_saved);
    }
    bool written() const
    {
        struct stat status = {};
        return ::fstat(m_file, &status) == 0 && status.st_size > 0;
    }

private:
    int m_file;
    int m_saved = -1;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static QTemporaryDir dir;
    static const QString path = dir.path() + u"/photo.jpg"_s;
    QFile file(path);
    if (!dir.isValid() || !file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return 0;
    if (file.write(reinterpret_cast<const char *>(data), qint64(size)) != qint64(size))
        return 0;
    file.close();

    static const bool keepStderr = std::getenv("KW_FUZZ_KEEP_STDERR") != nullptr;
    static const QString stderrPath = dir.path() + u"/stderr.txt"_s;
    static const int stderrFile = [] {
        if (keepStderr)
            return -1;
#ifdef KW_HAS_SANITIZER_REPORT_FD
        __sanitizer_set_report_fd(reinterpret_cast<void *>(intptr_t(::dup(STDERR_FILENO))));
#endif
        std::fprintf(stderr, "fuzz_photo_input: stderr of each load goes to %s\n",
                     qPrintable(stderrPath));
        return ::open(qPrintable(stderrPath), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    }();

    const kw::PhotoLoadOptions options = OptionsFor(size);
    std::optional<CatchStderr> caught;
    if (stderrFile >= 0)
        caught.emplace(stderrFile);
    const kw::Result<kw::DecodedPhoto> loaded = kw::LoadPhoto(path, options);
    const bool printed = caught && caught->written();
    caught.reset();
    if (printed) {
        QFile text(stderrPath);
        text.open(QIODevice::ReadOnly);
        std::fprintf(stderr, "a codec wrote on stderr: %s\n", text.readAll().constData());
        std::abort();
    }
    if (std::getenv("KW_FUZZ_SHOW")) // to see what a corpus decodes to
        std::printf("%d bytes: %s\n", int(size),
                    loaded ? qPrintable(u"%1 x %2, orientation %3"_s.arg(loaded->image.width())
                                            .arg(loaded->image.height())
                                            .arg(loaded->sourceOrientation))
                           : qPrintable(loaded.error()));
    if (!loaded) {
        Check(loaded.error().startsWith(u"cannot "_s));
        Check(!loaded.error().contains(u"unknown error"_s, Qt::CaseInsensitive));
        return 0;
    }
    const kw::DecodedPhoto &photo = *loaded;
    Check(!photo.image.isNull());
    Check(photo.image.format() == QImage::Format_ARGB32_Premultiplied);
    Check(int64_t(photo.fullSize.width()) * photo.fullSize.height() <= kw::kMaxPhotoPixels);
    const kw::WorkingSize working = kw::ComputeWorkingSize(photo.fullSize, options.resize);
    Check(bool(working) && photo.image.size() == working.size);
    Check(photo.sourceOrientation >= 0 && photo.sourceOrientation <= 0xffff);
    Check(photo.format == "jpeg" || photo.format == "png" || photo.format == "bmp" ||
          photo.format == "tiff" || photo.format == "gif" || photo.format == "heif" ||
          photo.format == "avif");
    if (!options.keepMetadata)
        Check(photo.metadata.isEmpty());
    return 0;
}
