// The command-line tool spread over several runs: --shard, --data-dir, and
// resuming a stopped job with the skip policy.
#include "model/layer_file.h"
#include "model/template_library.h"
#include "render/photo_test_files.h"
#include "support/test_sandbox.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QSet>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>

using namespace Qt::StringLiterals;

namespace kw {
namespace {

struct CliRun
{
    int exitCode = -1;
    QString err;
    // Each photo written, by its path relative to `base` (see cli()), to the
    // output's file name, in the order reported.
    QList<std::pair<QString, QString>> written;
};

class CliShard : public ::testing::Test
{
protected:
    // Runs the tool in `workingFolder` (the sandbox when empty); photos
    // written are named relative to `base`.
    CliRun cli(const QStringList &arguments, const QString &base = {},
               const QString &workingFolder = {})
    {
        QProcess process;
        process.setWorkingDirectory(workingFolder.isEmpty() ? m_sandbox.path() : workingFolder);
        process.start(QStringLiteral(KW_CLI_PATH), arguments);
        EXPECT_TRUE(process.waitForFinished(120000));
        CliRun r{process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                 QString::fromLocal8Bit(process.readAllStandardError()),
                 {}};
        collectWritten(r, base);
        return r;
    }
    static void collectWritten(CliRun &r, const QString &base)
    {
        for (const QString &line : r.err.split(u'\n')) {
            if (!line.startsWith(u'[') || !line.contains(u" -> "_s))
                continue;
            const QString source = line.section(u"] "_s, 1).section(u" -> "_s, 0, 0);
            const QString output = line.section(u" -> "_s, 1);
            r.written.append({QDir(base).relativeFilePath(source), QFileInfo(output).fileName()});
        }
    }
    QString photo(const QString &name, int width = 64, quint32 seed = 1)
    {
        const QString path = m_sandbox.filePath(name);
        QDir().mkpath(QFileInfo(path).path());
        EXPECT_TRUE(test::WriteFileBytes(
            path, test::Encode(test::PhotoLikeImage(width, width * 2 / 3, seed), "jpeg")));
        return path;
    }
    QStringList filesIn(const QString &folder) const
    {
        QStringList files;
        QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext())
            files << QDir(folder).relativeFilePath(it.next());
        files.sort();
        return files;
    }

    test::TestSandbox m_sandbox;
};

TEST_F(CliShard, ShardsCoverAFolderOnceUnderTheNamesOfTheWholeRun)
{
    // 20 photos; the subfolder's names repeat the top folder's, so that in
    // one output folder they are numbered by their place in the whole list.
    for (int i = 1; i <= 14; ++i)
        photo(u"in/p%1.jpg"_s.arg(i), 64, quint32(i));
    for (int i = 1; i <= 6; ++i)
        photo(u"in/sub/p%1.jpg"_s.arg(i), 64, quint32(100 + i));
    const QString in = m_sandbox.filePath(u"in"_s);
    ASSERT_TRUE(QFile::link(in, m_sandbox.filePath(u"elsewhere"_s)));
    const QStringList common = {u"-r"_s, u"--keep-name"_s, u"-f"_s, u"jpg"_s};

    const CliRun whole =
        cli(common + QStringList{u"-j1"_s, u"-o"_s, m_sandbox.filePath(u"whole"_s), in}, in);
    ASSERT_EQ(whole.exitCode, 0) << whole.err.toStdString();
    ASSERT_EQ(whole.written.size(), 20) << whole.err.toStdString();
    QMap<QString, QString> wholeNames;
    for (const auto &[source, output] : whole.written)
        wholeNames.insert(source, output);
    ASSERT_EQ(wholeNames.value(u"sub/p1.jpg"_s), u"p1 (2).jpg"_s);
    const QStringList wholeOutputs = filesIn(m_sandbox.filePath(u"whole"_s));
    ASSERT_EQ(wholeOutputs.size(), 20);

    struct Form
    {
        QString name;
        QString operand; // how the folder is named on the command line
        QString base;    // the folder it names, for relative paths
    };
    const Form forms[] = {
        {u"absolute"_s, in, in},
        {u"relative"_s, u"in"_s, in},
        {u"through a link"_s, m_sandbox.filePath(u"elsewhere"_s),
         m_sandbox.filePath(u"elsewhere"_s)},
    };
    for (const int count : {1, 3, 7}) {
        for (const Form &form : forms) {
            const QString out = m_sandbox.filePath(u"out_%1_%2"_s.arg(count).arg(form.name));
            QSet<QString> covered;
            for (int k = 0; k < count; ++k) {
                const std::string what =
                    std::to_string(k) + "/" + std::to_string(count) + " " + form.name.toStdString();
                const CliRun r = cli(common + QStringList{u"--shard=%1/%2"_s.arg(k).arg(count),
                                                          u"-o"_s, out, form.operand},
                                     form.base);
                EXPECT_EQ(r.exitCode, 0) << what << r.err.toStdString();
                // Exactly the photos at positions k, k + N, ... of the whole
                // list, each under the name the whole run gives it.
                QStringList expected;
                for (qsizetype i = k; i < whole.written.size(); i += count)
                    expected << whole.written.at(i).first;
                QStringList got;
                for (const auto &[source, output] : r.written) {
                    got << source;
                    EXPECT_EQ(output, wholeNames.value(source))
                        << what << " " << source.toStdString();
                    EXPECT_FALSE(covered.contains(source)) << what << " " << source.toStdString();
                    covered.insert(source);
                }
                got.sort();
                expected.sort();
                EXPECT_EQ(got, expected) << what;
            }
            EXPECT_EQ(covered.size(), 20) << count << " " << form.name.toStdString();
            EXPECT_EQ(filesIn(out), wholeOutputs) << count << " " << form.name.toStdString();
        }
    }

    // A shard with nothing in it has nothing to do and says so calmly.
    const CliRun empty =
        cli({u"--shard=5/7"_s, u"-o"_s, m_sandbox.filePath(u"few"_s),
             m_sandbox.filePath(u"in/p1.jpg"_s), m_sandbox.filePath(u"in/p2.jpg"_s)});
    EXPECT_EQ(empty.exitCode, 0) << empty.err.toStdString();
    EXPECT_TRUE(empty.err.contains(u"0 of 0 photos written"_s)) << empty.err.toStdString();
}

// The README's recipe, on this machine: GNU parallel starts the shards.
TEST_F(CliShard, GnuParallelRunsTheShardsOfOneJob)
{
    const QString parallel = QStandardPaths::findExecutable(u"parallel"_s);
    if (parallel.isEmpty())
        GTEST_SKIP() << "GNU parallel is not installed";
    for (int i = 1; i <= 20; ++i)
        photo(u"in/%1/p%2.jpg"_s.arg(i % 2 ? u"odd"_s : u"even"_s).arg(i / 2), 64, quint32(i));
    const QString in = m_sandbox.filePath(u"in"_s);
    const CliRun whole =
        cli({u"-r"_s, u"--keep-name"_s, u"-o"_s, m_sandbox.filePath(u"whole"_s), in}, in);
    ASSERT_EQ(whole.exitCode, 0) << whole.err.toStdString();
    ASSERT_EQ(whole.written.size(), 20);

    QProcess process;
    process.setWorkingDirectory(m_sandbox.path());
    process.start(parallel, {u"--will-cite"_s, u"-j3"_s, QStringLiteral(KW_CLI_PATH),
                             u"--shard={}/3"_s, u"-r"_s, u"--keep-name"_s, u"--on-conflict=skip"_s,
                             u"-o"_s, u"out"_s, u"in"_s, u":::"_s, u"0"_s, u"1"_s, u"2"_s});
    ASSERT_TRUE(process.waitForFinished(120000));
    CliRun shards{process.exitCode(), QString::fromLocal8Bit(process.readAllStandardError()), {}};
    collectWritten(shards, in);
    EXPECT_EQ(shards.exitCode, 0) << shards.err.toStdString();
    auto sorted = [](QList<std::pair<QString, QString>> list) {
        std::sort(list.begin(), list.end());
        return list;
    };
    EXPECT_EQ(sorted(shards.written), sorted(whole.written)) << shards.err.toStdString();
    EXPECT_EQ(filesIn(m_sandbox.filePath(u"out"_s)), filesIn(m_sandbox.filePath(u"whole"_s)));
}

TEST_F(CliShard, BadShardsAndDataFoldersAreUsageErrors)
{
    const QString good = photo(u"p/good.jpg"_s);
    for (const QString &value :
         {u"0/0"_s, u"3/3"_s, u"4/3"_s, u"-1/3"_s, u"+1/3"_s, u"1"_s, u"a/b"_s, u"1/3/4"_s,
          u"1/ 3"_s, u"/3"_s, u"1/"_s, u""_s, u"0/1000001"_s, u"0/99999999999"_s}) {
        const CliRun r = cli({u"--shard="_s + value, good});
        EXPECT_EQ(r.exitCode, 2) << value.toStdString() << "\n" << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(u"invalid argument '%1' for '--shard'"_s.arg(value)))
            << r.err.toStdString();
    }
    // Under rename, shards running at once could pick one numbered name.
    CliRun r = cli({u"--shard=0/2"_s, u"--on-conflict=rename"_s, good});
    EXPECT_EQ(r.exitCode, 2) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(u"rename"_s)) << r.err.toStdString();
    EXPECT_EQ(cli({u"--shard=0/1"_s, u"--on-conflict=rename"_s, u"-o"_s,
                   m_sandbox.filePath(u"out"_s), good})
                  .exitCode,
              0);

    r = cli({u"--data-dir="_s, good});
    EXPECT_EQ(r.exitCode, 2) << r.err.toStdString();
    r = cli({u"--data-dir"_s, m_sandbox.filePath(u"missing"_s), good});
    EXPECT_EQ(r.exitCode, 2) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(u"is not a folder"_s)) << r.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(m_sandbox.filePath(u"missing"_s)));
    EXPECT_EQ(filesIn(m_sandbox.filePath(u"p"_s)), QStringList{u"good.jpg"_s});
}

TEST_F(CliShard, ADataFolderWithARelativeLogoTravelsAsOneFolder)
{
    const QString source = photo(u"in/IMG_1.jpg"_s, 400);
    // The user's data folder, copied elsewhere as one folder.
    ASSERT_EQ(cli({u"--list-templates"_s}).exitCode, 0);
    const QString home = m_sandbox.filePath(u"home/.local/share/Kelvane Watermark"_s);
    const QString data = m_sandbox.filePath(u"copy/data"_s);
    QDir().mkpath(data);
    QProcess copy;
    copy.start(u"cp"_s, {u"-R"_s, home + u"/."_s, data});
    ASSERT_TRUE(copy.waitForFinished(60000));
    ASSERT_EQ(copy.exitCode(), 0);
    const QString templates = data + u"/templates"_s;
    CWatermarkConf layer;
    ASSERT_TRUE(LoadLayerConf(templates, u"Demo 1_Layer 1"_s, layer));
    layer.ImagePathName = u"logos/mark.png"_s;
    ASSERT_TRUE(SaveLayerConf(templates, u"Demo 1_Layer 1"_s, layer));
    QDir().mkpath(data + u"/logos"_s);
    QImage logo(60, 30, QImage::Format_ARGB32);
    logo.fill(Qt::magenta);
    ASSERT_TRUE(logo.save(data + u"/logos/mark.png"_s));
    // The user's own data folder is unusable: only the copy can serve.
    ASSERT_TRUE(test::WriteFileBytes(TemplateIndexPath(home + u"/templates"_s), "damaged"));
    ASSERT_TRUE(QFile::remove(home + u"/preference.xml"_s));
    const QStringList before = filesIn(data);

    const QString out = m_sandbox.filePath(u"out"_s);
    const QStringList arguments = {u"--data-dir"_s,  data,    u"-t"_s,  u"Demo 1"_s, u"-o"_s, out,
                                   u"--keep-name"_s, u"-f"_s, u"png"_s, source};
    // Not from the working folder: from the data folder.
    CliRun r = cli(arguments, {}, m_sandbox.filePath(u"in"_s));
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QImage written(out + u"/IMG_1.png"_s);
    ASSERT_FALSE(written.isNull());
    int magenta = 0;
    for (int y = 0; y < written.height(); ++y) {
        for (int x = 0; x < written.width(); ++x)
            magenta += written.pixel(x, y) == QColor(Qt::magenta).rgb();
    }
    EXPECT_GT(magenta, 0) << "the logo is not drawn";
    // Only read: several machines may share one data folder.
    EXPECT_EQ(filesIn(data), before);

    ASSERT_TRUE(QFile::remove(data + u"/logos/mark.png"_s));
    r = cli(arguments);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains(u"the logo %1/logos/mark.png of layer 'Demo 1_Layer 1' cannot be "
                               u"read: no such file"_s.arg(data)))
        << r.err.toStdString();

    // Without --data-dir, the damaged list of the user's own folder is read.
    EXPECT_EQ(cli({source}).exitCode, 1);
}

TEST_F(CliShard, AStoppedShardResumesWithSkipAndWritesEveryPhotoOnce)
{
    for (int i = 0; i < 16; ++i)
        photo(u"many/p%1.jpg"_s.arg(i), 1500, quint32(i));
    const QString folder = m_sandbox.filePath(u"many"_s);
    const QString out = m_sandbox.filePath(u"out"_s);
    const QStringList arguments = {u"-j1"_s,
                                   u"--shard=1/2"_s,
                                   u"--on-conflict=skip"_s,
                                   u"-o"_s,
                                   out,
                                   u"--keep-name"_s,
                                   u"-f"_s,
                                   u"jpg"_s,
                                   folder};

    QProcess process;
    process.setReadChannel(QProcess::StandardError);
    process.start(QStringLiteral(KW_CLI_PATH), arguments);
    QString err;
    while (!err.contains(u"[1/8]"_s) && process.waitForReadyRead(60000))
        err += QString::fromLocal8Bit(process.readAllStandardError());
    ASSERT_EQ(process.state(), QProcess::Running) << err.toStdString();
    ::kill(pid_t(process.processId()), SIGINT);
    ASSERT_TRUE(process.waitForFinished(60000));
    CliRun first{
        process.exitCode(), err + QString::fromLocal8Bit(process.readAllStandardError()), {}};
    collectWritten(first, folder);
    EXPECT_EQ(first.exitCode, 130) << first.err.toStdString();
    ASSERT_GE(first.written.size(), 1);
    ASSERT_LT(first.written.size(), 8);

    const CliRun second = cli(arguments, folder);
    EXPECT_EQ(second.exitCode, 0) << second.err.toStdString();
    EXPECT_TRUE(second.err.contains(u"%1 skipped"_s.arg(first.written.size())))
        << second.err.toStdString();
    QStringList written;
    for (const CliRun *run : {&std::as_const(first), &second}) {
        for (const auto &[source, output] : run->written)
            written << source;
    }
    written.sort();
    QStringList expected;
    for (int i = 1; i < 16; i += 2)
        expected << u"p%1.jpg"_s.arg(i);
    expected.sort();
    EXPECT_EQ(written, expected); // each once: a photo written twice would show twice
    EXPECT_EQ(filesIn(out), expected);
}

// {counter} is the photo's place in the whole list: a share of the job draws
// the number a run over the whole list draws.
TEST_F(CliShard, TheCounterVariableCountsTheWholeListInEveryShare)
{
    ASSERT_EQ(cli({u"--list-templates"_s}).exitCode, 0); // the first run's template
    const QString templates =
        m_sandbox.filePath(u"home/.local/share/Kelvane Watermark/templates"_s);
    CWatermarkConf layer;
    ASSERT_TRUE(LoadLayerConf(templates, u"Demo 1_Layer 1"_s, layer));
    layer.textContent = u"No. {counter:3}"_s;
    ASSERT_TRUE(SaveLayerConf(templates, u"Demo 1_Layer 1"_s, layer));
    // One picture under four names: only the counter tells the outputs apart.
    for (int i = 1; i <= 4; ++i)
        photo(u"in/p%1.jpg"_s.arg(i), 160, 5);
    const QStringList common = {u"-t"_s,  u"Demo 1"_s, u"--keep-name"_s,           u"-f"_s,
                                u"png"_s, u"-j1"_s,    m_sandbox.filePath(u"in"_s)};
    const QString whole = m_sandbox.filePath(u"whole"_s);
    ASSERT_EQ(cli(QStringList{u"-o"_s, whole} + common).exitCode, 0);
    const QString shared = m_sandbox.filePath(u"shared"_s);
    for (const QString &share : {u"0/2"_s, u"1/2"_s})
        ASSERT_EQ(cli(QStringList{u"--shard="_s + share, u"-o"_s, shared} + common).exitCode, 0);
    QSet<QByteArray> distinct;
    for (int i = 1; i <= 4; ++i) {
        const QString name = u"/p%1.png"_s.arg(i);
        const QByteArray bytes = test::ReadFileBytes(whole + name);
        ASSERT_FALSE(bytes.isEmpty());
        EXPECT_EQ(test::ReadFileBytes(shared + name), bytes) << name.toStdString();
        distinct.insert(bytes);
    }
    EXPECT_EQ(distinct.size(), 4);
}

} // namespace
} // namespace kw
