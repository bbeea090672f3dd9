#include "render/batch_engine.h"

#include "model/layer_file.h"
#include "model/template_file.h"
#include "model/template_library.h"
#include "photo_test_files.h"
#include "support/image_measure.h"
#include "support/test_sandbox.h"

#include <QDir>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include <sys/stat.h>

using kw::CWatermarkConf;

using namespace Qt::StringLiterals;

namespace kw {
namespace {

class Batch : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(SeedFirstRun(m_dir.filePath(u"templates"_s)).ok());
        m_settings.templatesFolder = m_dir.filePath(u"templates"_s);
        m_settings.templateName = kFirstRunTemplateName.toString();
        m_settings.preferences.outputFolderOpts = 1;
        m_settings.preferences.outputFolderPath = m_dir.filePath(u"out"_s);
        m_settings.preferences.outputFileNameOpts = 1;
        m_settings.preferences.outputFileNameSuffix = u"_new"_s;
        m_settings.jobs = 2;
    }
    QString write(const QString &name, const QByteArray &bytes)
    {
        const QString path = m_dir.filePath(name);
        QDir().mkpath(QFileInfo(path).path());
        EXPECT_TRUE(test::WriteFileBytes(path, bytes));
        return path;
    }
    QStringList goodPhotos(int count, int width = 240)
    {
        QStringList paths;
        for (int i = 0; i < count; ++i)
            paths << write(u"in/p%1.jpg"_s.arg(i, 2, 10, QChar(u'0')),
                           test::Encode(test::PhotoLikeImage(width, width * 2 / 3, i), "jpeg"));
        return paths;
    }
    // Runs to the end; the results in list order and the summary.
    BatchSummary run(BatchEngine &engine, const QStringList &paths,
                     std::vector<BatchFileResult> *results = nullptr)
    {
        QSignalSpy finished(&engine, &BatchEngine::finished);
        QObject context;
        if (results) {
            results->assign(size_t(paths.size()), {});
            QObject::connect(&engine, &BatchEngine::fileFinished, &context,
                             [&](const BatchFileResult &r) {
                                 EXPECT_EQ(QThread::currentThread(), engine.thread());
                                 (*results)[size_t(r.index)] = r;
                             });
        }
        EXPECT_TRUE(engine.start(paths, m_settings));
        EXPECT_TRUE(finished.wait(60000));
        EXPECT_FALSE(engine.isRunning());
        return finished.isEmpty() ? BatchSummary() : finished.first().first().value<BatchSummary>();
    }

    test::TestSandbox m_sandbox;
    QTemporaryDir m_dir;
    BatchSettings m_settings;
};

TEST_F(Batch, WritesTheGoodPhotosAndGivesEachBadOneAReason)
{
    QStringList paths = goodPhotos(3);
    QByteArray zeroSize = test::Encode(test::PhotoLikeImage(64, 48), "jpeg");
    const qsizetype sof = zeroSize.indexOf("\xFF\xC0");
    ASSERT_GT(sof, 0);
    zeroSize.replace(sof + 5, 4, QByteArray(4, '\0'));
    const QByteArray whole = test::Encode(test::PhotoLikeImage(300, 200), "jpeg");
    paths.insert(1, write(u"in/corrupt.jpg"_s, zeroSize));
    paths.insert(2, write(u"in/truncated.jpg"_s, whole.left(whole.size() * 2 / 3)));
    paths << write(u"in/empty.jpg"_s, {}) << write(u"in/text.jpg"_s, "just some text\n");
    paths << m_dir.filePath(u"in/missing.jpg"_s);

    BatchEngine engine;
    QSignalSpy progress(&engine, &BatchEngine::progress);
    std::vector<BatchFileResult> results;
    const BatchSummary summary = run(engine, paths, &results);
    EXPECT_EQ(summary.total, 8);
    EXPECT_EQ(summary.written, 3);
    EXPECT_EQ(summary.failed, 5);
    EXPECT_FALSE(summary.stopped);
    EXPECT_EQ(summary.lastWrittenPath, m_dir.filePath(u"out/p02_new.jpg"_s));
    ASSERT_EQ(progress.size(), 8);
    EXPECT_EQ(progress.last(), QVariantList({8, 8}));

    for (const BatchFileResult &r : results) {
        const bool bad = !QFileInfo(r.sourcePath).fileName().startsWith(u'p');
        EXPECT_EQ(r.ok(), !bad) << r.sourcePath.toStdString() << ": " << r.error.toStdString();
        EXPECT_EQ(QFileInfo::exists(r.outputPath), !bad) << r.outputPath.toStdString();
    }
    EXPECT_TRUE(results[2].error.contains(u"ends before"_s)) << results[2].error.toStdString();
    EXPECT_TRUE(results[5].error.contains(u"empty"_s)) << results[5].error.toStdString();
    EXPECT_TRUE(results[6].error.contains(u"not a JPEG"_s)) << results[6].error.toStdString();
    EXPECT_FALSE(results[1].error.isEmpty());
    EXPECT_FALSE(results[7].error.isEmpty());

    // The watermark is drawn on what is written.
    const QImage source(paths[0]), output(results[0].outputPath);
    EXPECT_EQ(output.size(), source.size());
    EXPECT_GT(test::MaxChannelDifference(output.convertToFormat(QImage::Format_RGB32),
                                         source.convertToFormat(QImage::Format_RGB32)),
              60);
}

TEST_F(Batch, StopsAfterThePhotosInProgressAndForgetsTheStop)
{
    const QStringList paths = goodPhotos(16, 600);
    m_settings.jobs = 1;
    BatchEngine engine;
    QObject::connect(&engine, &BatchEngine::fileFinished, &engine,
                     [&](const BatchFileResult &) { engine.requestStop(); });
    std::vector<BatchFileResult> results;
    const BatchSummary stopped = run(engine, paths, &results);
    EXPECT_TRUE(stopped.stopped);
    EXPECT_GE(stopped.written, 1);
    EXPECT_EQ(stopped.written + stopped.notProcessed, 16);
    for (const BatchFileResult &r : results) {
        if (r.index >= 0) {
            EXPECT_TRUE(QFileInfo::exists(r.outputPath));
        }
    }
    EXPECT_EQ(QDir(m_dir.filePath(u"out"_s)).entryList(QDir::Files).size(), stopped.written);

    // A stop asked for after the last photo does not reach the next run.
    QObject::disconnect(&engine, &BatchEngine::fileFinished, nullptr, nullptr);
    engine.requestStop();
    const BatchSummary again = run(engine, paths);
    EXPECT_FALSE(again.stopped);
    EXPECT_EQ(again.written, 16);
}

// Two sources of one name into one folder: the later in the list is
// numbered, whichever render ends first, and both are written.
TEST_F(Batch, SameNamedSourcesNeverShareAnOutput)
{
    const QString big =
        write(u"x/shot.jpg"_s, test::Encode(test::QuadrantImage(1600, 1200), "jpeg"));
    const QString small = write(u"y/shot.png"_s, test::Encode(test::PhotoLikeImage(90, 60), "png"));
    m_settings.preferences.outputFileNameOpts = 0;
    BatchEngine engine;
    std::vector<BatchFileResult> results;
    const BatchSummary summary = run(engine, {big, small}, &results);
    EXPECT_EQ(summary.written, 2);
    EXPECT_EQ(results[0].outputPath, m_dir.filePath(u"out/shot.jpg"_s));
    EXPECT_EQ(results[1].outputPath, m_dir.filePath(u"out/shot (2).jpg"_s));
    EXPECT_TRUE(results[1].warning.contains(big)) << results[1].warning.toStdString();
    EXPECT_EQ(QImage(results[0].outputPath).size(), QSize(1600, 1200));
    EXPECT_EQ(QImage(results[1].outputPath).size(), QSize(90, 60));
}

// One share of a larger job: only the selected photos are read and written,
// under the names the whole list gives them.
TEST_F(Batch, ASelectionKeepsTheWholeListsNames)
{
    const QByteArray jpeg = test::Encode(test::PhotoLikeImage(90, 60), "jpeg");
    const QStringList paths = {write(u"x/shot.jpg"_s, jpeg), write(u"y/shot.jpg"_s, jpeg),
                               write(u"z/other.jpg"_s, jpeg), write(u"z/shot.jpg"_s, jpeg)};
    m_settings.preferences.outputFileNameOpts = 0;
    BatchEngine engine;
    for (const std::vector<int> &bad : {std::vector{4}, std::vector{-1}, std::vector{1, 3, 1}}) {
        const Status refused = engine.start(paths, bad, m_settings);
        EXPECT_FALSE(refused);
        EXPECT_FALSE(engine.isRunning());
    }
    QSignalSpy finished(&engine, &BatchEngine::finished);
    std::vector<BatchFileResult> results;
    QObject::connect(&engine, &BatchEngine::fileFinished, &engine,
                     [&](const BatchFileResult &r) { results.push_back(r); });
    ASSERT_TRUE(engine.start(paths, {3, 1}, m_settings));
    ASSERT_TRUE(finished.wait(60000));
    const BatchSummary summary = finished.first().first().value<BatchSummary>();
    EXPECT_EQ(summary.total, 2);
    EXPECT_EQ(summary.written, 2);
    EXPECT_EQ(summary.notProcessed, 0);
    ASSERT_EQ(results.size(), 2u);
    std::sort(results.begin(), results.end(),
              [](const BatchFileResult &a, const BatchFileResult &b) { return a.index < b.index; });
    EXPECT_EQ(results[0].index, 1);
    EXPECT_EQ(results[0].outputPath, m_dir.filePath(u"out/shot (2).jpg"_s));
    EXPECT_EQ(results[1].index, 3);
    EXPECT_EQ(results[1].outputPath, m_dir.filePath(u"out/shot (3).jpg"_s));
    EXPECT_EQ(QDir(m_dir.filePath(u"out"_s)).entryList(QDir::Files),
              (QStringList{u"shot (2).jpg"_s, u"shot (3).jpg"_s}));
}

// Files that exist before the run, each policy, a second run into the same
// folder and a source photo standing at an output name.
TEST_F(Batch, CollisionPolicies)
{
    const QStringList paths = goodPhotos(3);
    BatchEngine engine;
    std::vector<BatchFileResult> results;
    ASSERT_EQ(run(engine, paths, &results).written, 3);
    const QString first = results[0].outputPath;
    const QByteArray firstBytes = test::ReadFileBytes(first);

    m_settings.preferences.collisionPolicy = OutputCollisionPolicy::Skip;
    QFile::remove(results[2].outputPath);
    BatchSummary summary = run(engine, paths, &results);
    EXPECT_EQ(summary.skipped, 2);
    EXPECT_EQ(summary.written, 1);
    EXPECT_EQ(summary.failed, 0);
    EXPECT_EQ(summary.notProcessed, 0);
    EXPECT_FALSE(summary.stopped);
    EXPECT_TRUE(results[0].skipped && results[0].ok() && !results[0].written());
    EXPECT_TRUE(results[0].warning.contains(u"p00_new.jpg exists"_s))
        << results[0].warning.toStdString();
    EXPECT_TRUE(results[2].written());

    m_settings.preferences.collisionPolicy = OutputCollisionPolicy::Rename;
    summary = run(engine, paths, &results);
    EXPECT_EQ(summary.written, 3);
    EXPECT_EQ(results[0].outputPath, m_dir.filePath(u"out/p00_new (2).jpg"_s));
    EXPECT_TRUE(results[0].warning.contains(u"exists"_s));
    ASSERT_EQ(run(engine, paths, &results).written, 3);
    EXPECT_EQ(results[0].outputPath, m_dir.filePath(u"out/p00_new (3).jpg"_s));
    EXPECT_EQ(test::ReadFileBytes(first), firstBytes) << "renaming never touches the file";

    m_settings.preferences.collisionPolicy = OutputCollisionPolicy::Overwrite;
    ASSERT_TRUE(test::WriteFileBytes(first, "old"));
    EXPECT_EQ(run(engine, paths, &results).written, 3);
    EXPECT_EQ(results[0].outputPath, first);
    EXPECT_EQ(QImage(first).size(), QImage(paths[0]).size());

    m_settings.preferences.collisionPolicy = OutputCollisionPolicy(7);
    summary = run(engine, paths, &results);
    EXPECT_EQ(summary.failed, 3);
    EXPECT_TRUE(results[0].error.contains(u"collision policy 7"_s));
}

TEST_F(Batch, ASourceAtAnOutputNameIsNeverReplaced)
{
    // Beside the sources as PNG: shot.jpg would become shot.png, another
    // source of the run, and shot.png would replace itself.
    const QString jpeg = write(u"y/shot.jpg"_s, test::Encode(test::PhotoLikeImage(90, 60), "jpeg"));
    const QString png = write(u"y/shot.png"_s, test::Encode(test::PhotoLikeImage(90, 60), "png"));
    const QByteArray before = test::ReadFileBytes(png);
    m_settings.preferences.outputFolderOpts = 0;
    m_settings.preferences.outputFileNameOpts = 0;
    m_settings.preferences.outputFormat = 1;
    BatchEngine engine;
    std::vector<BatchFileResult> results;

    EXPECT_EQ(run(engine, {jpeg, png}, &results).failed, 2);
    EXPECT_TRUE(results[0].error.contains(u"another source photo"_s))
        << results[0].error.toStdString();
    EXPECT_TRUE(results[1].error.contains(u"replace the source photo"_s));

    m_settings.preferences.collisionPolicy = OutputCollisionPolicy::Skip;
    EXPECT_EQ(run(engine, {jpeg, png}, &results).skipped, 2);
    EXPECT_TRUE(results[1].warning.contains(u"source photo"_s)) << results[1].warning.toStdString();

    m_settings.preferences.collisionPolicy = OutputCollisionPolicy::Rename;
    EXPECT_EQ(run(engine, {jpeg, png}, &results).written, 2);
    EXPECT_EQ(results[0].outputPath, m_dir.filePath(u"y/shot (2).png"_s));
    EXPECT_EQ(results[1].outputPath, m_dir.filePath(u"y/shot (3).png"_s));
    EXPECT_EQ(test::ReadFileBytes(png), before);
}

class BatchTemplate : public Batch
{
protected:
    // A template "Brand" of one layer: a black logo in the bottom-right
    // corner, on white photos.
    void SetUp() override
    {
        Batch::SetUp();
        m_logo = m_dir.filePath(u"logo.png"_s);
        writeLogo(Qt::black);
        CWatermarkConf layer;
        ApplyNewLayerDefaults(layer, QString());
        layer.ImagePathName = m_logo;
        layer.ImageLocation = 8;
        layer.ImageTransparency = 100;
        ASSERT_TRUE(CreateLayerFile(templates(), u"Brand_Layer 1"_s, layer));
        ASSERT_TRUE(CreateTemplateFile(templates(), u"Brand"_s, u"Brand_Layer 1"_s));
        m_settings.templateName = u"Brand"_s;
        m_settings.preferences.outputFormat = 1; // PNG: exact pixels
    }
    QString templates() const { return m_settings.templatesFolder; }
    void writeLogo(QColor color)
    {
        QImage logo(24, 16, QImage::Format_RGB32);
        logo.fill(color);
        ASSERT_TRUE(logo.save(m_logo, "PNG"));
    }
    QStringList whitePhotos(int count)
    {
        QStringList paths;
        QImage white(160, 120, QImage::Format_RGB32);
        white.fill(Qt::white);
        for (int i = 0; i < count; ++i)
            paths << write(u"in/w%1.png"_s.arg(i, 2, 10, QChar(u'0')), test::Encode(white, "png"));
        return paths;
    }
    static QRect LogoInk(const QString &output)
    {
        return test::InkBounds(QImage(output), [](QRgb p) { return qRed(p) < 100; });
    }

    QString m_logo;
};

TEST_F(BatchTemplate, EachUnreadablePartFailsEveryPhotoAndWritesNothing)
{
    const QStringList paths = whitePhotos(2);
    const QString layerFile = ModelFilePath(templates(), u"Brand_Layer 1"_s);
    const QByteArray layerBytes = test::ReadFileBytes(layerFile);
    const QString fifo = m_dir.filePath(u"fifo.png"_s);
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);

    struct Case
    {
        const char *what;
        std::function<void()> damage;
        QString reason;
    };
    const auto logoAt = [&](const QString &path) {
        QByteArray bytes = layerBytes;
        bytes.replace(QFile::encodeName(m_logo), QFile::encodeName(path));
        ASSERT_TRUE(test::WriteFileBytes(layerFile, bytes));
    };
    const Case cases[] = {
        {"template listed without its file", [&] { m_settings.templateName = u"Gone"_s; },
         u"the template file %1/Gone.xml cannot be read: no such file"_s.arg(templates())},
        {"damaged layer file", [&] { ASSERT_TRUE(test::WriteFileBytes(layerFile, "<Water")); },
         u"the layer 'Brand_Layer 1' of template 'Brand' cannot be read"_s},
        {"missing logo", [&] { QFile::remove(m_logo); },
         u"the logo %1 of layer 'Brand_Layer 1' cannot be read: no such file"_s.arg(m_logo)},
        {"FIFO logo", [&] { logoAt(fifo); }, u"cannot be read: not a regular file"_s},
        {"logo that is no picture",
         [&] { ASSERT_TRUE(test::WriteFileBytes(m_logo, "GIF89a but not really")); },
         u"the logo %1 of layer 'Brand_Layer 1' cannot be read: "_s.arg(m_logo)},
    };
    BatchEngine engine;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        c.damage();
        std::vector<BatchFileResult> results;
        const BatchSummary summary = run(engine, paths, &results);
        EXPECT_EQ(summary.failed, 2);
        EXPECT_EQ(summary.written, 0);
        for (const BatchFileResult &r : results)
            EXPECT_TRUE(r.error.contains(c.reason)) << r.error.toStdString();
        EXPECT_TRUE(QDir(m_dir.filePath(u"out"_s)).entryList(QDir::Files).isEmpty());
        // Repaired for the next case.
        m_settings.templateName = u"Brand"_s;
        ASSERT_TRUE(test::WriteFileBytes(layerFile, layerBytes));
        writeLogo(Qt::black);
    }
}

// The template is read once, when the run starts: edited, renamed or removed
// while the run goes on, every photo still carries the mark of the start.
TEST_F(BatchTemplate, ChangesDuringARunDoNotReachIt)
{
    const QStringList paths = whitePhotos(24);
    m_settings.jobs = 1;
    BatchEngine engine;
    QSignalSpy finished(&engine, &BatchEngine::finished);
    std::vector<BatchFileResult> results(size_t(paths.size()));
    QObject::connect(&engine, &BatchEngine::fileFinished, &engine,
                     [&](const BatchFileResult &r) { results[size_t(r.index)] = r; });
    ASSERT_TRUE(engine.start(paths, m_settings));
    // Edited: a white logo; then renamed and removed.
    writeLogo(Qt::white);
    CWatermarkConf moved;
    ApplyNewLayerDefaults(moved, u"EDITED"_s);
    ASSERT_TRUE(SaveLayerConf(templates(), u"Brand_Layer 1"_s, moved));
    ASSERT_TRUE(QFile::rename(ModelFilePath(templates(), u"Brand"_s),
                              ModelFilePath(templates(), u"Renamed"_s)));
    ASSERT_TRUE(QFile::remove(ModelFilePath(templates(), u"Renamed"_s)));
    ASSERT_TRUE(finished.wait(60000));

    const QRect expected(160 - 24, 120 - 16, 24, 16);
    for (const BatchFileResult &r : results) {
        ASSERT_TRUE(r.written()) << r.error.toStdString();
        EXPECT_EQ(LogoInk(r.outputPath), expected) << r.outputPath.toStdString();
    }
    // The next run reads the template anew: it is gone now.
    EXPECT_EQ(run(engine, paths).failed, 24);
}

} // namespace
} // namespace kw
