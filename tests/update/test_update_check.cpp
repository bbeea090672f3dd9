#include "update/update_check.h"

#include "support/test_sandbox.h"
#include "update/loopback_http_server.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

using namespace Qt::StringLiterals;
using kw::test::LoopbackHttpServer;

namespace {

constexpr kw::VersionTriple kRunning{2, 1, 5};

kw::UpdateResult RunCheck(const QUrl &url, const QString &downloadPath, int timeoutMs = 5000)
{
    kw::CUpdateCheck check(kRunning, {url, downloadPath, timeoutMs});
    QSignalSpy spy(&check, &kw::CUpdateCheck::finished);
    check.start();
    EXPECT_EQ(spy.count(), 0); // never from inside start()
    EXPECT_TRUE(spy.wait(10000));
    EXPECT_EQ(spy.count(), 1);
    return spy.isEmpty() ? kw::UpdateResult{} : spy.takeFirst().at(0).value<kw::UpdateResult>();
}

TEST(UpdateCheck, VerdictsAgainstTheRunningVersion)
{
    const struct
    {
        QByteArray body;
        kw::VersionTriple latest;
        kw::UpdateVerdict verdict;
    } cases[] = {
        {LoopbackHttpServer::Descriptor(2, 1, 6), {2, 1, 6}, kw::UpdateVerdict::Newer},
        {LoopbackHttpServer::Descriptor(2, 2, 0), {2, 2, 0}, kw::UpdateVerdict::Newer},
        {LoopbackHttpServer::Descriptor(2, 1, 5), {2, 1, 5}, kw::UpdateVerdict::NotNewer},
        {LoopbackHttpServer::Descriptor(1, 9, 9), {1, 9, 9}, kw::UpdateVerdict::NotNewer},
        // A page that is not a descriptor reads as 0.0.0.
        {"<html><body>Welcome</body></html>", {}, kw::UpdateVerdict::NotNewer},
        {"[GERNERAL]\nMAJOR_VERSION=3\n", {3, 0, 0}, kw::UpdateVerdict::Newer},
    };
    for (const auto &c : cases) {
        kw::test::TestSandbox sandbox;
        const QString path = sandbox.filePath(u"kw_version.ini"_s);
        LoopbackHttpServer server(LoopbackHttpServer::Http("200 OK", c.body));
        const kw::UpdateResult result = RunCheck(server.url(), path);
        EXPECT_EQ(result.verdict, c.verdict) << c.body.constData();
        EXPECT_EQ(result.latest, c.latest) << c.body.constData();
        // The descriptor is kept where the next check overwrites it.
        EXPECT_EQ(QFile(path).size(), c.body.size());
        EXPECT_TRUE(server.request().startsWith("GET /kw_version.ini HTTP/1.1\r\n"));
    }
}

TEST(UpdateCheck, FailedDownloads)
{
    kw::test::TestSandbox sandbox;
    const QString path = sandbox.filePath(u"kw_version.ini"_s);
    const auto expectFailure = [&](const QUrl &url, int timeoutMs = 5000) {
        const kw::UpdateResult result = RunCheck(url, path, timeoutMs);
        EXPECT_EQ(result.verdict, kw::UpdateVerdict::DownloadFailed);
        EXPECT_EQ(result.latest, kw::VersionTriple{});
        EXPECT_FALSE(result.reason.isEmpty());
        return result.reason;
    };

    // An error page is not a descriptor, even one that reads like a newer version.
    LoopbackHttpServer errorPage(
        LoopbackHttpServer::Http("404 Not Found", LoopbackHttpServer::Descriptor(9, 9, 9)));
    EXPECT_TRUE(expectFailure(errorPage.url()).contains(u"404"_s));
    EXPECT_FALSE(QFile::exists(path));

    QUrl refused;
    {
        LoopbackHttpServer closed{QByteArray()};
        refused = closed.url();
    }
    expectFailure(refused);

    // A server that accepts and never answers runs into the timeout.
    LoopbackHttpServer silent{QByteArray()};
    QElapsedTimer clock;
    clock.start();
    expectFailure(silent.url(), 300);
    EXPECT_LT(clock.elapsed(), 5000);

    LoopbackHttpServer huge(
        LoopbackHttpServer::Http("200 OK", LoopbackHttpServer::Descriptor(9, 0, 0) +
                                               QByteArray(kw::kMaxDescriptorBytes, ';')));
    expectFailure(huge.url());

    // The local copy cannot be written.
    LoopbackHttpServer fine(
        LoopbackHttpServer::Http("200 OK", LoopbackHttpServer::Descriptor(9, 0, 0)));
    EXPECT_TRUE(RunCheck(fine.url(), sandbox.filePath(u"missing/kw_version.ini"_s))
                    .reason.contains(u"missing"_s));
}

TEST(UpdateCheck, DestroyingARunningCheckReportsNothing)
{
    kw::test::TestSandbox sandbox;
    LoopbackHttpServer silent{QByteArray()};
    auto check = std::make_unique<kw::CUpdateCheck>(
        kRunning, kw::UpdateCheckOptions{silent.url(), sandbox.filePath(u"d.ini"_s), 5000});
    QSignalSpy spy(check.get(), &kw::CUpdateCheck::finished);
    check->start();
    EXPECT_TRUE(QTest::qWaitFor([&] { return silent.connections() == 1; }));
    check.reset();
    QTest::qWait(50);
    EXPECT_EQ(spy.count(), 0);
}

} // namespace
