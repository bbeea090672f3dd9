#include "kw_version.h"
#include "model/layer_file.h"
#include "model/template_library.h"
#include "render/photo_test_files.h"
#include "support/image_measure.h"
#include "support/test_sandbox.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>

#include <sys/stat.h>

using kw::CWatermarkConf;

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

    // WebP and AVIF, each at the quality given for it.
    const QString web = m_sandbox.filePath(u"web"_s);
    for (const QString &format : {u"webp"_s, u"avif"_s}) {
        for (const QString &quality : {u"30"_s, u"95"_s}) {
            const CliRun r = cli({m_sandbox.filePath(u"in"_s), u"-o"_s, web, u"-f"_s, format,
                                  u"--quality="_s + quality, u"-s"_s, u"_"_s + quality});
            EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
        }
        const qint64 low = QFileInfo(web + u"/top_30."_s + format).size();
        const qint64 high = QFileInfo(web + u"/top_95."_s + format).size();
        EXPECT_GT(low, 0) << format.toStdString();
        EXPECT_LT(low, high) << format.toStdString();
    }

    EXPECT_EQ(test::ReadFileBytes(dataFile(u"preference.xml"_s)), prefs);
    EXPECT_FALSE(QFileInfo::exists(dataFile(u"resizing_config.ini"_s)));
}

TEST_F(Cli, ResizesTheLongEdgeAndNeverEnlargesWhenAsked)
{
    const QString wide = photo(u"in/wide.jpg"_s, 240);
    const QString tall =
        write(u"in/tall.jpg"_s, test::Encode(test::PhotoLikeImage(160, 240, 2), "jpeg"));
    const QString out = m_sandbox.filePath(u"out"_s);
    const auto sizes = [&](const QStringList &arguments) {
        QDir(out).removeRecursively();
        const CliRun r = cli(QStringList{u"-q"_s, u"-o"_s, out, wide, tall} + arguments);
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
        return std::pair(QImage(out + u"/wide_new.jpg"_s).size(),
                         QImage(out + u"/tall_new.jpg"_s).size());
    };
    EXPECT_EQ(sizes({u"--resize-long-edge=120"_s}), std::pair(QSize(120, 80), QSize(80, 120)));
    EXPECT_EQ(sizes({u"--resize-long-edge=480"_s}), std::pair(QSize(480, 320), QSize(320, 480)));
    EXPECT_EQ(sizes({u"--resize-long-edge=480"_s, u"--no-enlarge"_s}),
              std::pair(QSize(240, 160), QSize(160, 240)));
    // A width that enlarges one photo and shrinks the other.
    EXPECT_EQ(sizes({u"--no-enlarge"_s, u"--resize-width=200"_s}),
              std::pair(QSize(200, 133), QSize(160, 240)));

    // The stored setting: the long edge and never enlarge, each overridden
    // by an option for the run only.
    ASSERT_EQ(cli({u"--list-templates"_s}).exitCode, 0);
    const QByteArray stored = "[General]\r\nScaleType=1\r\nTargetWidth=800\r\nTargetHeight=600\r\n"
                              "ResizeEveryTime=1\r\nTargetLongEdge=200\r\nNeverEnlarge=1\r\n";
    write(u"home/.local/share/Kelvane Watermark/resizing_config.ini"_s, stored);
    EXPECT_EQ(sizes({}), std::pair(QSize(200, 133), QSize(133, 200)));
    EXPECT_EQ(sizes({u"--resize-long-edge=100000"_s}), std::pair(QSize(240, 160), QSize(160, 240)));
    EXPECT_EQ(sizes({u"--resize-height=80"_s}), std::pair(QSize(120, 80), QSize(53, 80)));
    EXPECT_EQ(test::ReadFileBytes(dataFile(u"resizing_config.ini"_s)), stored);

    for (const QString &bad : {u"--resize-long-edge=0"_s, u"--resize-long-edge=-5"_s,
                               u"--resize-long-edge=big"_s, u"--resize-long-edge=100001"_s}) {
        const CliRun r = cli({wide, bad});
        EXPECT_EQ(r.exitCode, 2) << bad.toStdString();
        EXPECT_TRUE(r.err.contains(u"a number of pixels from 1 to 100000 is expected"_s))
            << r.err.toStdString();
    }
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
        {{u"--quality=0"_s, good}, 2, {}, u"invalid argument '0' for '--quality'"_s},
        {{u"-f"_s, u"png"_s, u"--quality=80"_s, good},
         2,
         {},
         u"--quality: PNG output is lossless and has no quality setting"_s},
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

TEST_F(Cli, InterruptOrTerminateFinishesThePhotoInProgressAndLeavesNoPartialFile)
{
    for (int i = 0; i < 12; ++i)
        photo(u"many/p%1.jpg"_s.arg(i), 1500, quint32(i));
    const QString folder = m_sandbox.filePath(u"many"_s);
    for (const auto &[signal, status] : {std::pair{SIGINT, 130}, std::pair{SIGTERM, 143}}) {
        for (const QString &output : QDir(folder).entryList({u"*_new.jpg"_s}))
            QFile::remove(folder + u'/' + output);
        QProcess process;
        process.setReadChannel(QProcess::StandardError);
        process.start(QStringLiteral(KW_CLI_PATH), {u"-j1"_s, folder});
        QString err;
        while (!err.contains(u"[1/12]"_s) && process.waitForReadyRead(60000))
            err += QString::fromLocal8Bit(process.readAllStandardError());
        ASSERT_EQ(process.state(), QProcess::Running) << err.toStdString();
        ASSERT_GT(process.processId(), 0);
        ::kill(pid_t(process.processId()), signal);
        ASSERT_TRUE(process.waitForFinished(60000));
        err += QString::fromLocal8Bit(process.readAllStandardError());
        EXPECT_EQ(process.exitCode(), status) << err.toStdString();
        EXPECT_TRUE(err.contains(u"not processed (stopped)"_s)) << err.toStdString();

        const QStringList outputs = QDir(folder).entryList({u"*_new.jpg"_s});
        EXPECT_GE(outputs.size(), 1);
        EXPECT_LT(outputs.size(), 12);
        EXPECT_EQ(QDir(folder).entryList(QDir::Files).size(), 12 + outputs.size());
    }
}

// Runs the tool through the shell, so that arguments can hold any bytes.
CliRun ShellCli(const QString &script, const QStringList &arguments)
{
    QProcess process;
    process.start(u"/bin/sh"_s,
                  QStringList{u"-c"_s, script, QStringLiteral(KW_CLI_PATH)} + arguments);
    EXPECT_TRUE(process.waitForFinished(120000));
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromLocal8Bit(process.readAllStandardOutput()),
            QString::fromLocal8Bit(process.readAllStandardError())};
}

TEST_F(Cli, InputsThatCannotBeOpenedFailAtOnceWithTheirNameShown)
{
    photo(u"in/good.jpg"_s);
    photo(u"in/.hidden.jpg"_s);
    photo(u"in/new\nline.jpg"_s);
    const QString pipe = m_sandbox.filePath(u"pipe.jpg"_s);
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    // A name that is not UTF-8, made with its raw bytes.
    const QByteArray raw = QFile::encodeName(m_sandbox.filePath(u"in"_s)) + "/caf\xE9.jpg";
    {
        FILE *f = std::fopen(raw.constData(), "wb");
        ASSERT_NE(f, nullptr);
        const QByteArray bytes = test::Encode(test::PhotoLikeImage(60, 40), "jpeg");
        std::fwrite(bytes.constData(), 1, size_t(bytes.size()), f);
        std::fclose(f);
    }

    // The pipe fails at once (reading it would wait for ever); the folder's
    // photo whose name is not UTF-8 fails with its bytes shown; the hidden
    // photo is left out; a line break in a name is printed escaped.
    const CliRun r = cli({pipe, m_sandbox.filePath(u"in"_s)});
    EXPECT_EQ(r.exitCode, 1) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(pipe + u": not a regular file but a FIFO (named pipe)"_s))
        << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(u"in/caf\\xE9.jpg: the name is not valid UTF-8"_s))
        << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(u"new\\nline.jpg -> "_s)) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(u"2 of 4 photos written, 2 failed"_s)) << r.err.toStdString();
    EXPECT_EQ(r.err.count(u'\n'), 5) << "one line each: " << r.err.toStdString();
    EXPECT_TRUE(QFileInfo::exists(m_sandbox.filePath(u"in/good_new.jpg"_s)));
    EXPECT_FALSE(QFileInfo::exists(m_sandbox.filePath(u"in/.hidden_new.jpg"_s)));

    // Named by itself, a hidden photo is taken; a name that is not UTF-8 is
    // refused with its bytes shown.
    EXPECT_EQ(cli({m_sandbox.filePath(u"in/.hidden.jpg"_s)}).exitCode, 0);
    EXPECT_TRUE(QFileInfo::exists(m_sandbox.filePath(u"in/.hidden_new.jpg"_s)));
    const CliRun named = ShellCli(uR"sh(exec "$0" "$(printf '%s/caf\351.jpg' "$1")")sh"_s,
                                  {m_sandbox.filePath(u"in"_s)});
    EXPECT_EQ(named.exitCode, 1) << named.err.toStdString();
    EXPECT_TRUE(named.err.contains(u"caf\\xE9.jpg: the name is not valid UTF-8"_s))
        << named.err.toStdString();
}

TEST_F(Cli, AFoldersPhotosComeInNaturalOrderAsInTheWindow)
{
    for (const char *name : {"in/p10.jpg", "in/B.jpg", "in/p2.jpg", "in/a.jpg", "in/sub/c.jpg"})
        photo(QString::fromLatin1(name));
    const CliRun r = cli(
        {u"-j1"_s, u"-r"_s, u"-o"_s, m_sandbox.filePath(u"out"_s), m_sandbox.filePath(u"in"_s)});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    QStringList order;
    for (const QString &line : r.err.split(u'\n')) {
        if (line.startsWith(u'['))
            order << QFileInfo(line.section(u" -> "_s, 0, 0)).fileName();
    }
    // The order the window's drop test expects for the same names.
    EXPECT_EQ(order, QStringList({u"a.jpg"_s, u"B.jpg"_s, u"p2.jpg"_s, u"p10.jpg"_s, u"c.jpg"_s}));
}

TEST_F(Cli, ASecondRunDoesNotWatermarkTheFirstRunsOutputs)
{
    photo(u"in/IMG_1.jpg"_s);
    photo(u"in/IMG_2.jpg"_s);
    const QString in = m_sandbox.filePath(u"in"_s);
    for (int run = 0; run < 2; ++run) {
        const CliRun r = cli({in});
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
        EXPECT_EQ(r.err.contains(u"note: 2 earlier outputs left out"_s), run == 1)
            << r.err.toStdString();
    }
    EXPECT_EQ(QDir(in).entryList(QDir::Files), QStringList({u"IMG_1.jpg"_s, u"IMG_1_new.jpg"_s,
                                                            u"IMG_2.jpg"_s, u"IMG_2_new.jpg"_s}));

    // An output folder inside the input folder is not descended into.
    const QString out = in + u"/wm"_s;
    for (int run = 0; run < 2; ++run)
        EXPECT_EQ(cli({u"-r"_s, u"-o"_s, out, u"--keep-name"_s, in}).exitCode, 0);
    EXPECT_EQ(QDir(out).entryList(QDir::Files), QStringList({u"IMG_1.jpg"_s, u"IMG_1_new.jpg"_s,
                                                             u"IMG_2.jpg"_s, u"IMG_2_new.jpg"_s}));
}

TEST_F(Cli, OutputNamesStayInTheOutputFolder)
{
    const QString scanA = write(u"in/scanA"_s, test::Encode(test::PhotoLikeImage(60, 40), "jpeg"));
    write(u"in/scanB"_s, test::Encode(test::PhotoLikeImage(60, 40, 2), "jpeg"));
    // Sources without an extension keep their whole names.
    CliRun r = cli({scanA, m_sandbox.filePath(u"in/scanB"_s)});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(u"2 of 2 photos written"_s));
    EXPECT_TRUE(QFileInfo::exists(m_sandbox.filePath(u"in/scanA_new.jpg"_s)));
    EXPECT_TRUE(QFileInfo::exists(m_sandbox.filePath(u"in/scanB_new.jpg"_s)));

    // A suffix with a separator: a usage error on the command line ...
    for (const QString &suffix : {u"/../x"_s, u"a\\b"_s, u"a\tb"_s}) {
        r = cli({u"-s"_s, suffix, scanA});
        EXPECT_EQ(r.exitCode, 2) << suffix.toStdString();
        EXPECT_TRUE(r.err.contains(u"invalid argument for '-s'"_s)) << r.err.toStdString();
    }
    // ... and a failed photo when preference.xml holds it.
    const QString prefs = dataFile(u"preference.xml"_s);
    QByteArray xml = test::ReadFileBytes(prefs);
    xml.replace("<OutputFileNameSuffix>_new<", "<OutputFileNameSuffix>/../../escaped<");
    ASSERT_TRUE(test::WriteFileBytes(prefs, xml));
    r = cli({scanA});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains(scanA + u": the file name suffix '/../../escaped' holds a folder "
                                       u"separator"_s))
        << r.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(m_sandbox.filePath(u"escaped.jpg"_s)));
}

TEST_F(Cli, ADamagedTemplateListIsOneLineAndStatusOne)
{
    const QString good = photo(u"p/good.jpg"_s);
    ASSERT_EQ(cli({u"--list-templates"_s}).exitCode, 0);
    const QString list = dataFile(u"templates/qthumb.xml"_s);
    ASSERT_TRUE(test::WriteFileBytes(list, "<?xml version=\"1.0\"?>\n<Templates><Name>Demo 1<"));
    for (const QStringList &arguments : {QStringList{good}, QStringList{u"--list-templates"_s}}) {
        const CliRun r = cli(arguments);
        EXPECT_EQ(r.exitCode, 1) << r.err.toStdString();
        EXPECT_EQ(r.err.count(u'\n'), 1) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(list + u": "_s)) << r.err.toStdString();
        EXPECT_FALSE(r.err.contains(u"--help"_s)) << r.err.toStdString();
        EXPECT_FALSE(r.err.contains(u"<unterminated"_s)) << r.err.toStdString();
    }
    EXPECT_FALSE(QFileInfo::exists(m_sandbox.filePath(u"p/good_new.jpg"_s)));
}

TEST_F(Cli, OutputNamesNeverCollideAndExistingFilesFollowThePolicy)
{
    const QString a = photo(u"a/IMG_1.jpg"_s, 240, 1);
    const QString b = photo(u"b/IMG_1.jpg"_s, 180, 2);
    const QString out = m_sandbox.filePath(u"out"_s);
    const auto outputs = [&] { return QDir(out).entryList(QDir::Files); };

    CliRun r = cli({a, b, u"-o"_s, out});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(outputs(), (QStringList{u"IMG_1_new (2).jpg"_s, u"IMG_1_new.jpg"_s}));
    EXPECT_EQ(QImage(out + u"/IMG_1_new (2).jpg"_s).width(), 180);
    EXPECT_TRUE(r.err.contains(b +
                               u": warning: written as IMG_1_new (2).jpg: IMG_1_new.jpg is "
                               u"the output of "_s +
                               a))
        << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(u"2 of 2 photos written"_s));

    // A second run into the same folder.
    const QByteArray before = test::ReadFileBytes(out + u"/IMG_1_new.jpg"_s);
    r = cli({a, b, u"-o"_s, out, u"--on-conflict=skip"_s});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(u"0 of 2 photos written, 2 skipped"_s)) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(a + u": skipped: IMG_1_new.jpg exists"_s)) << r.err.toStdString();
    r = cli({a, b, u"-o"_s, out, u"--on-conflict"_s, u"rename"_s});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(outputs(), (QStringList{u"IMG_1_new (2).jpg"_s, u"IMG_1_new (3).jpg"_s,
                                      u"IMG_1_new (4).jpg"_s, u"IMG_1_new.jpg"_s}));
    EXPECT_EQ(QImage(out + u"/IMG_1_new (4).jpg"_s).width(), 180);
    EXPECT_EQ(test::ReadFileBytes(out + u"/IMG_1_new.jpg"_s), before);
    r = cli({a, u"-o"_s, out, u"--on-conflict=overwrite"_s, u"-s"_s, u"_new (3)"_s});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(QImage(out + u"/IMG_1_new (3).jpg"_s).width(), 240);

    // A source photo at the output name: never replaced.
    const QByteArray source = test::ReadFileBytes(a);
    const QStringList inPlace = {a, u"--same-folder"_s, u"--keep-name"_s, u"-f"_s, u"jpg"_s};
    r = cli(inPlace);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains(u"the output would replace the source photo"_s))
        << r.err.toStdString();
    r = cli(inPlace + QStringList{u"--on-conflict=skip"_s});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(u"1 skipped"_s)) << r.err.toStdString();
    r = cli(inPlace + QStringList{u"--on-conflict=rename"_s});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(QFileInfo::exists(m_sandbox.filePath(u"a/IMG_1 (2).jpg"_s)));
    EXPECT_EQ(test::ReadFileBytes(a), source);

    r = cli({a, u"--on-conflict=ask"_s});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(r.err.contains(u"valid policies are overwrite, skip and rename"_s));
}

// A template, layer file or logo that cannot be read is said once, on one
// line that names the file, before anything is written; the status is 1.
TEST_F(Cli, AnUnreadableTemplateFailsEveryPhotoAndWritesNothing)
{
    const QString p1 = photo(u"in/one.jpg"_s);
    const QString p2 = photo(u"in/two.jpg"_s);
    ASSERT_EQ(cli({u"--list-templates"_s}).exitCode, 0); // prepares the data folder
    const QString templates = dataFile(u"templates"_s);
    const auto saysOnce = [](const CliRun &r, const QString &reason) {
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.err, u"kelvane-watermark-cli: "_s + reason + u'\n') << r.err.toStdString();
    };
    // Listed, but its file is gone.
    ASSERT_TRUE(AddTemplate(templates, u"Gone"_s).ok());
    ASSERT_TRUE(QFile::remove(templates + u"/Gone.xml"_s));
    saysOnce(cli({u"-t"_s, u"Gone"_s, p1, p2}),
             u"the template file "_s + templates + u"/Gone.xml cannot be read: no such file"_s);

    // A damaged layer file: the parser's own words, not its log.
    const QString layerPath = templates + u"/Demo 1_Layer 1.xml"_s;
    const QByteArray layerBytes = test::ReadFileBytes(layerPath);
    ASSERT_TRUE(test::WriteFileBytes(layerPath, "<Layer><Text>x"));
    saysOnce(cli({u"-t"_s, u"Demo 1"_s, p1, p2}),
             u"the layer 'Demo 1_Layer 1' of template 'Demo 1' cannot be read: cannot read "
             u"layer file \"%1\": unended start tag <Layer> at byte 0"_s.arg(layerPath));
    ASSERT_TRUE(test::WriteFileBytes(layerPath, layerBytes));

    // The demo layer's logo moved away.
    CWatermarkConf layer;
    ASSERT_TRUE(LoadLayerConf(templates, u"Demo 1_Layer 1"_s, layer));
    layer.ImagePathName = m_sandbox.filePath(u"moved/logo.png"_s);
    ASSERT_TRUE(SaveLayerConf(templates, u"Demo 1_Layer 1"_s, layer));
    saysOnce(cli({u"-t"_s, u"Demo 1"_s, p1, p2}),
             u"the logo %1 of layer 'Demo 1_Layer 1' cannot be read: no such file"_s.arg(
                 layer.ImagePathName));
    EXPECT_EQ(QDir(m_sandbox.filePath(u"in"_s)).entryList(QDir::Files),
              (QStringList{u"one.jpg"_s, u"two.jpg"_s}));
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

TEST_F(Cli, AMarkRelativeToThePhotoKeepsItsProportions)
{
    ASSERT_EQ(cli({u"--list-templates"_s}).exitCode, 0);
    // The demo layer, centred and turned about its anchor, 8 % of the
    // shorter side high.
    const QString layerPath = dataFile(u"templates/Demo 1_Layer 1.xml"_s);
    QByteArray layer = test::ReadFileBytes(layerPath);
    layer.replace("</Text>", "<RelativeSize>800</RelativeSize>\r\n"
                             "<TurnAboutAnchor>1</TurnAboutAnchor>\r\n</Text>");
    ASSERT_TRUE(test::WriteFileBytes(layerPath, layer));

    const auto markOn = [&](QSize size, const QString &name) {
        QImage white(size, QImage::Format_RGB32);
        white.fill(Qt::white);
        const QString source = write(u"in/"_s + name + u".png"_s, test::Encode(white, "png"));
        const CliRun r =
            cli({u"-q"_s, u"-f"_s, u"png"_s, u"-o"_s, m_sandbox.filePath(u"out"_s), source});
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
        const QImage out(m_sandbox.filePath(u"out/"_s + name + u"_new.png"_s));
        const QRectF ink = QRectF(test::InkBounds(out, [](QRgb p) {
                               return qGreen(p) < 128;
                           })).adjusted(0, 0, 1, 1);
        const double shorter = std::min(size.width(), size.height());
        return QRectF(ink.center().x() / size.width(), ink.center().y() / size.height(),
                      ink.width() / shorter, ink.height() / shorter);
    };
    const QRectF web = markOn(QSize(800, 533), u"web"_s);
    const QRectF full = markOn(QSize(3000, 2000), u"full"_s);
    EXPECT_NEAR(web.x(), 0.5, 0.005);
    EXPECT_NEAR(web.y(), 0.5, 0.005);
    EXPECT_NEAR(full.x(), 0.5, 0.005);
    EXPECT_NEAR(web.width(), full.width(), 0.02 * full.width());
    EXPECT_NEAR(web.height(), full.height(), 0.02 * full.height());
    EXPECT_GT(full.height(), 0.08);
}

} // namespace
} // namespace kw

namespace kw {
namespace {

TEST_F(Cli, JpegModeKeepsTheOriginalAndSaysOnceWhenItCannot)
{
    const QString a = photo(u"j/a.jpg"_s, 320, 1);
    const QString b = photo(u"j/b.jpg"_s, 320, 2);
    const QString out = m_sandbox.filePath(u"out"_s);
    const CliRun kept = cli({u"--jpeg=original"_s, u"-o"_s, out, u"-j1"_s, a});
    EXPECT_EQ(kept.exitCode, 0) << kept.err.toStdString();
    EXPECT_FALSE(kept.err.contains(u"quality 98"_s)) << kept.err.toStdString();
    // The source's own quantisation tables (quality 92) are kept, so the
    // output is about the source's size, not the size of a quality-98 file.
    const qint64 sourceSize = QFileInfo(a).size();
    const qint64 keptSize = QFileInfo(out + u"/a_new.jpg"_s).size();
    EXPECT_LT(std::abs(keptSize - sourceSize), sourceSize / 6) << keptSize << " " << sourceSize;

    const CliRun resized = cli({u"--jpeg=original"_s, u"-o"_s, out, u"--resize-width=100"_s, a, b});
    EXPECT_EQ(resized.exitCode, 0) << resized.err.toStdString();
    EXPECT_EQ(resized.err.count(u"resizing is on: JPEGs are re-encoded at quality 98"_s), 1)
        << resized.err.toStdString();

    const CliRun bad = cli({u"--jpeg=lossless"_s, a});
    EXPECT_EQ(bad.exitCode, 2);
    EXPECT_TRUE(bad.err.contains(u"invalid argument 'lossless' for '--jpeg'"_s))
        << bad.err.toStdString();
    // --jpeg is for one run: preference.xml does not get the element.
    EXPECT_FALSE(test::ReadFileBytes(dataFile(u"preference.xml"_s)).contains("JpegOutputMode"));
}

} // namespace
} // namespace kw
