#include "render/batch_engine.h"

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

using namespace Qt::StringLiterals;

namespace kw {
namespace {

class Batch : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(SeedFirstRun(m_dir.filePath(u"templates"_s)).done());
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

TEST_F(Batch, KeepsListOrderForOneOutputAndNeverWritesOverASource)
{
    // Two sources with one output name: the later one in the list wins, even
    // though the earlier one is larger and takes longer.
    const QString big =
        write(u"x/shot.jpg"_s, test::Encode(test::QuadrantImage(1600, 1200), "jpeg"));
    const QString small = write(u"y/shot.png"_s, test::Encode(test::PhotoLikeImage(90, 60), "png"));
    m_settings.preferences.outputFileNameOpts = 0;
    BatchEngine engine;
    std::vector<BatchFileResult> results;
    EXPECT_EQ(run(engine, {big, small}, &results).written, 2);
    EXPECT_EQ(results[0].outputPath, results[1].outputPath);
    EXPECT_TRUE(results[1].warning.contains(big)) << results[1].warning.toStdString();
    EXPECT_EQ(QImage(results[1].outputPath).size(), QSize(90, 60));

    // Beside the sources as PNG: shot.jpg would become y's shot.png, which is
    // a source of the run, and shot.png would replace itself.
    const QString twin = write(u"y/shot.jpg"_s, test::Encode(test::PhotoLikeImage(90, 60), "jpeg"));
    const QByteArray before = test::ReadFileBytes(small);
    m_settings.preferences.outputFolderOpts = 0;
    m_settings.preferences.outputFormat = 1;
    EXPECT_EQ(run(engine, {twin, small}, &results).failed, 2);
    for (const BatchFileResult &r : results)
        EXPECT_TRUE(r.error.contains(u"source photo"_s)) << r.error.toStdString();
    EXPECT_EQ(test::ReadFileBytes(small), before);
}

} // namespace
} // namespace kw
