// Writing onto a full file system: every format names the cause, leaves
// nothing behind and prints nothing. Needs a small tmpfs, so it runs as root
// (CI containers) and is skipped elsewhere.
#include "render/output_writer.h"

#include "photo_test_files.h"
#include "support/test_sandbox.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <sys/mount.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace kw {
namespace {

// Whatever is written to the standard error stream (file descriptor 2, so
// C libraries' fprintf as well) between construction and text().
class StderrCapture
{
public:
    StderrCapture()
    {
        std::fflush(stderr);
        m_saved = dup(2);
        m_file = std::tmpfile();
        if (m_file)
            dup2(fileno(m_file), 2);
    }
    ~StderrCapture() { restore(); }
    StderrCapture(const StderrCapture &) = delete;
    StderrCapture &operator=(const StderrCapture &) = delete;

    QByteArray text()
    {
        restore();
        QByteArray out;
        if (m_file) {
            std::rewind(m_file);
            char buffer[4096];
            size_t n;
            while ((n = std::fread(buffer, 1, sizeof buffer, m_file)) > 0)
                out.append(buffer, qsizetype(n));
            std::fclose(m_file);
            m_file = nullptr;
        }
        return out;
    }

private:
    void restore()
    {
        if (m_saved < 0)
            return;
        std::fflush(stderr);
        dup2(m_saved, 2);
        close(m_saved);
        m_saved = -1;
    }

    int m_saved = -1;
    std::FILE *m_file = nullptr;
};

class FullDisk : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_mount = m_dir.filePath(u"small"_s);
        ASSERT_TRUE(QDir().mkpath(m_mount));
        // 64 KiB: room for a small output, not for a photo.
        if (mount("tmpfs", QFile::encodeName(m_mount).constData(), "tmpfs", 0, "size=64k") != 0)
            GTEST_SKIP() << "cannot mount a small tmpfs (" << std::strerror(errno)
                         << "); the full-disk checks need root";
        m_mounted = true;
    }
    void TearDown() override
    {
        if (m_mounted)
            umount2(QFile::encodeName(m_mount).constData(), MNT_DETACH);
    }

    CPreferences prefs(int format) const
    {
        CPreferences p;
        p.outputFolderOpts = 1;
        p.outputFolderPath = m_mount;
        p.outputFileNameOpts = 1;
        p.outputFileNameSuffix = u"_wm"_s;
        p.outputFormat = format;
        return p;
    }

    test::TestSandbox m_sandbox;
    QTemporaryDir m_dir;
    QString m_mount;
    bool m_mounted = false;
};

TEST_F(FullDisk, EachFormatNamesTheCauseAndLeavesNothing)
{
    const QString source = m_dir.filePath(u"photo.png"_s);
    ASSERT_TRUE(test::WriteFileBytes(source, test::Encode(test::PhotoLikeImage(400, 300), "png")));
    const Result<DecodedPhoto> loaded = LoadPhoto(source);
    ASSERT_TRUE(loaded) << loaded.error().toStdString();
    const DecodedPhoto &photo = *loaded;

    // The mount takes a small file: the failures below are for want of space.
    const QImage tiny = photo.image.scaled(8, 6);
    const Result<WrittenOutput> small = WriteOutput(tiny, photo, prefs(1));
    ASSERT_TRUE(small) << small.error().toStdString();
    ASSERT_TRUE(QFile::remove(small->path));

    const char *names[] = {"JPEG", "PNG", "BMP", "TIFF"};
    const char *extensions[] = {"jpg", "png", "bmp", "tiff"};
    for (int format = 0; format < 4; ++format) {
        SCOPED_TRACE(names[format]);
        StderrCapture capture;
        const Result<WrittenOutput> r = WriteOutput(photo.image, photo, prefs(format));
        const QByteArray printed = capture.text();
        ASSERT_FALSE(r);
        EXPECT_EQ(r.error().toStdString(),
                  u"cannot write %1/photo_wm.%2: no space left on device"_s
                      .arg(m_mount, QString::fromLatin1(extensions[format]))
                      .toStdString());
        EXPECT_EQ(printed.toStdString(), "") << "an encoder printed to the terminal";
        EXPECT_TRUE(QDir(m_mount).isEmpty(QDir::Files | QDir::Hidden))
            << "a temporary file was left behind";
    }
}

} // namespace
} // namespace kw
