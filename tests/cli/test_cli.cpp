#include "kw_version.h"
#include "render/photo_test_files.h"
#include "support/image_measure.h"
#include "support/test_sandbox.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>

#include <gtest/gtest.h>

#include <csignal>

using namespace Qt::StringLiterals;

namespace kw {
namespace {

struct CliRun
{
    int exitCode = -1;
    QString out;
    QString err;
};

class Cli : public ::testing::Test
{
protected:
    CliRun cli(const QStringList &arguments)
    {
        QProcess process;
        process.start(QStringLiteral(KW_CLI_PATH), arguments);
        EXPECT_TRUE(process.waitForFinished(120000));
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                QString::fromLocal8Bit(process.readAllStandardOutput()),
                QString::fromLocal8Bit(process.readAllStandardError())};
    }
    QString write(const QString &name, const QByteArray &bytes)
    {
        const QString path = m_sandbox.filePath(name);
        QDir().mkpath(QFileInfo(path).path());
        EXPECT_TRUE(test::WriteFileBytes(path, bytes));
        return path;
    }
    QString photo(const QString &name, int width = 240, quint32 seed = 1)
    {
        return write(name, test::Encode(test::PhotoLikeImage(width, width * 2 / 3, seed), "jpeg"));
    }
    QString dataFile(const QString &name) const
    {
        return m_sandbox.filePath(u"home/.local/share/Kelvane Watermark/"_s + name);
    }

    test::TestSandbox m_sandbox;
};

TEST_F(Cli, FirstRunPreparesTheDataFolderAndWatermarksBesideThePhoto)
{
    const QString source =
        write(u"photos/IMG_1.jpg"_s,
              test::WithMetadata(test::Encode(test::PhotoLikeImage(300, 200), "jpeg"),
                                 [](Exiv2::Image &image) {
                                     image.exifData()["Exif.Image.Make"] = std::string("Kelvane");
                                 }));
    const CliRun r = cli({source});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(QFileInfo::exists(dataFile(u"preference.xml"_s)));
    EXPECT_TRUE(QFileInfo::exists(dataFile(u"templates/Demo 1.xml"_s)));
    EXPECT_TRUE(r.err.contains(u"1 of 1 photos written"_s)) << r.err.toStdString();

    const QString output = m_sandbox.filePath(u"photos/IMG_1_new.jpg"_s);
    const QImage in(source), out(output);
    ASSERT_EQ(out.size(), in.size());
    EXPECT_GT(test::MaxChannelDifference(in.convertToFormat(QImage::Format_RGB32),
                                         out.convertToFormat(QImage::Format_RGB32)),
              60)
        << "the demo watermark is drawn";
    Exiv2::Image::AutoPtr meta = Exiv2::ImageFactory::open(QFile::encodeName(output).toStdString());
    meta->readMetadata();
    EXPECT_EQ(meta->exifData()["Exif.Image.Make"].toString(), "Kelvane");

    const CliRun list = cli({u"--list-templates"_s});
    EXPECT_EQ(list.exitCode, 0);
    EXPECT_EQ(list.out, u"Demo 1\n"_s);
}

TEST_F(Cli, OptionsOverrideTheSettingsForOneRunOnly)
{
    photo(u"in/top.jpg"_s);
    photo(u"in/sub/deep.JPEG"_s);
    write(u"in/notes.txt"_s, "not a photo");
    ASSERT_EQ(cli({u"--list-templates"_s}).exitCode, 0); // prepares the data folder
    const QByteArray prefs = test::ReadFileBytes(dataFile(u"preference.xml"_s));
    const QString out = m_sandbox.filePath(u"out"_s);

    const CliRun flat = cli({m_sandbox.filePath(u"in"_s), u"-o"_s, out, u"--format=png"_s,
                             u"--keep-name"_s, u"--resize-width"_s, u"100"_s, u"-qj1"_s});
    EXPECT_EQ(flat.exitCode, 0) << flat.err.toStdString();
    EXPECT_TRUE(flat.err.isEmpty()) << flat.err.toStdString();
    EXPECT_EQ(QDir(out).entryList(QDir::Files), QStringList{u"top.png"_s});
    EXPECT_EQ(QImage(out + u"/top.png"_s).size(), QSize(100, 66));

    // The last of two contradicting options wins.
    const CliRun deep = cli({u"-r"_s, m_sandbox.filePath(u"in"_s), u"--same-folder"_s, u"-o"_s, out,
                             u"-s"_s, u"_x"_s, u"--resize=50x20"_s});
    EXPECT_EQ(deep.exitCode, 0) << deep.err.toStdString();
    EXPECT_EQ(QDir(out).entryList(QDir::Files),
              QStringList({u"deep_x.jpg"_s, u"top.png"_s, u"top_x.jpg"_s}));
    EXPECT_EQ(QImage(out + u"/deep_x.jpg"_s).size(), QSize(50, 20));

    EXPECT_EQ(test::ReadFileBytes(dataFile(u"preference.xml"_s)), prefs);
    EXPECT_FALSE(QFileInfo::exists(dataFile(u"resizing_config.ini"_s)));
}

TEST_F(Cli, ExitStatusAndMessages)
{
    const QString good = photo(u"p/good.jpg"_s);
    const QString bad = write(u"p/bad.jpg"_s, "this is text\n");
    QDir().mkpath(m_sandbox.filePath(u"empty"_s));
    struct Case
    {
        QStringList arguments;
        int exitCode;
        QString out; // expected in stdout
        QString err; // expected in stderr
    };
    const Case cases[] = {
        {{u"--help"_s}, 0, u"Usage: kelvane-watermark-cli [OPTION]..."_s, {}},
        {{u"-V"_s}, 0, QStringLiteral(KW_VERSION_STRING), {}},
        {{good, u"--bogus"_s}, 2, {}, u"Try 'kelvane-watermark-cli --help'"_s},
        {{}, 2, {}, u"no photo or folder given"_s},
        {{u"-t"_s, u"Nope"_s, good}, 2, {}, u"unknown template 'Nope'"_s},
        {{u"-f"_s, u"gif"_s, good}, 2, {}, u"invalid argument 'gif' for '-f'"_s},
        {{m_sandbox.filePath(u"empty"_s)}, 2, {}, u"nothing to do"_s},
        {{u"-t"_s, u"demo 1"_s, good, bad}, 1, {}, bad + u": cannot decode photo: not a JPEG"_s},
        {{good, bad}, 1, {}, u"1 of 2 photos written, 1 failed"_s},
        {{u"-q"_s, bad}, 1, {}, u"bad.jpg: cannot decode photo"_s},
    };
    for (const Case &c : cases) {
        const CliRun r = cli(c.arguments);
        const std::string what = c.arguments.join(u' ').toStdString() + "\n" + r.err.toStdString();
        EXPECT_EQ(r.exitCode, c.exitCode) << what;
        EXPECT_TRUE(r.out.contains(c.out)) << what;
        EXPECT_TRUE(r.err.contains(c.err)) << what;
    }
    EXPECT_EQ(cli({u"-q"_s, good}).err, QString());
}

TEST_F(Cli, InterruptFinishesThePhotoInProgressAndLeavesNoPartialFile)
{
    for (int i = 0; i < 12; ++i)
        photo(u"many/p%1.jpg"_s.arg(i), 1500, quint32(i));
    QProcess process;
    process.setReadChannel(QProcess::StandardError);
    process.start(QStringLiteral(KW_CLI_PATH), {u"-j1"_s, m_sandbox.filePath(u"many"_s)});
    QString err;
    while (!err.contains(u"[1/12]"_s) && process.waitForReadyRead(60000))
        err += QString::fromLocal8Bit(process.readAllStandardError());
    ASSERT_EQ(process.state(), QProcess::Running) << err.toStdString();
    ASSERT_GT(process.processId(), 0);
    ::kill(pid_t(process.processId()), SIGINT);
    ASSERT_TRUE(process.waitForFinished(60000));
    err += QString::fromLocal8Bit(process.readAllStandardError());
    EXPECT_EQ(process.exitCode(), 130) << err.toStdString();
    EXPECT_TRUE(err.contains(u"not processed (stopped)"_s)) << err.toStdString();

    const QStringList outputs = QDir(m_sandbox.filePath(u"many"_s)).entryList({u"*_new.jpg"_s});
    EXPECT_GE(outputs.size(), 1);
    EXPECT_LT(outputs.size(), 12);
    EXPECT_EQ(QDir(m_sandbox.filePath(u"many"_s)).entryList(QDir::Files).size(),
              12 + outputs.size());
}

// A template that resists removal: the same photo gives the same file on
// every run; the mark differs from the template without the element.
TEST_F(Cli, RemovalResistanceComesWithTheTemplate)
{
    const QString source = photo(u"photos/a.jpg"_s, 480);
    ASSERT_EQ(cli({u"--list-templates"_s}).exitCode, 0);
    const QString templatePath = dataFile(u"templates/Demo 1.xml"_s);
    const QByteArray plainTemplate = test::ReadFileBytes(templatePath);
    const auto run = [&](const QString &folder) {
        const CliRun r = cli({u"-q"_s, u"-o"_s, m_sandbox.filePath(folder), source});
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
        return test::ReadFileBytes(m_sandbox.filePath(folder + u"/a_new.jpg"_s));
    };
    const QByteArray plain = run(u"plain"_s);

    QByteArray resisting = plainTemplate;
    resisting.replace("</Layers>", "<ResistRemoval>2,8,0,0</ResistRemoval>\r\n</Layers>");
    ASSERT_TRUE(test::WriteFileBytes(templatePath, resisting));
    const QByteArray first = run(u"first"_s);
    const QByteArray second = run(u"second"_s);
    ASSERT_FALSE(first.isEmpty());
    EXPECT_EQ(first, second);
    EXPECT_NE(first, plain);
    EXPECT_EQ(test::ReadFileBytes(templatePath), resisting) << "the run does not write it";
}

} // namespace
} // namespace kw
