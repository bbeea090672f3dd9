#include "update/update_check.h"

#include "support/test_sandbox.h"

#include "kw_version.h"

#include <QElapsedTimer>
#include <QFile>
#include <QPointer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

// A one-page HTTP server on 127.0.0.1: answers every request with `response`,
// or never answers when it is empty.
class LoopbackServer
{
public:
    explicit LoopbackServer(QByteArray response) : m_response(std::move(response))
    {
        EXPECT_TRUE(m_server.listen(QHostAddress::LocalHost));
        QObject::connect(&m_server, &QTcpServer::newConnection, [this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection()) {
                ++m_connections;
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    m_request += socket->readAll();
                    if (!m_request.contains("\r\n\r\n") || m_response.isEmpty())
                        return;
                    socket->write(m_response);
                    socket->disconnectFromHost();
                });
            }
        });
    }

    QUrl url() const
    {
        return QUrl(u"http://127.0.0.1:%1/kw_version.ini"_s.arg(m_server.serverPort()));
    }
    int connections() const { return m_connections; }
    const QByteArray &request() const { return m_request; }

    static QByteArray Http(const QByteArray &status, const QByteArray &body)
    {
        return "HTTP/1.1 " + status + "\r\nContent-Type: text/plain\r\nContent-Length: " +
               QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
    }

private:
    QTcpServer m_server;
    QByteArray m_response;
    QByteArray m_request;
    int m_connections = 0;
};

QByteArray Descriptor(int major, int minor, int build)
{
    return "[Gerneral]\r\nmajor_version=" + QByteArray::number(major) +
           "\r\nminor_version=" + QByteArray::number(minor) +
           "\r\nbuild=" + QByteArray::number(build) + "\r\n";
}

constexpr kw::VersionTriple kRunning{2, 1, 5};

kw::UpdateResult RunCheck(const QUrl &url, const QString &downloadPath, int timeoutMs = 5000)
{
    kw::CUpdateCheck check(kRunning, {url, downloadPath, timeoutMs});
    QSignalSpy spy(&check, &kw::CUpdateCheck::finished);
    check.start();
    EXPECT_EQ(spy.count(), 0); // never from inside start()
    EXPECT_TRUE(spy.wait(10000));
    EXPECT_EQ(spy.count(), 1);
    EXPECT_FALSE(check.isRunning());
    return spy.isEmpty() ? kw::UpdateResult{} : spy.takeFirst().at(0).value<kw::UpdateResult>();
}

TEST(UpdateCheck, VerdictsAgainstTheRunningVersion)
{
    const struct
    {
        kw::VersionTriple latest;
        kw::UpdateVerdict verdict;
    } cases[] = {
        {{2, 1, 6}, kw::UpdateVerdict::Newer},    {{2, 2, 0}, kw::UpdateVerdict::Newer},
        {{3, 0, 0}, kw::UpdateVerdict::Newer},    {{2, 1, 5}, kw::UpdateVerdict::NotNewer},
        {{1, 9, 9}, kw::UpdateVerdict::NotNewer}, {{2, 0, 99}, kw::UpdateVerdict::NotNewer},
    };
    for (const auto &c : cases) {
        kw::test::TestSandbox sandbox;
        const QString path = sandbox.filePath(u"kw_version.ini"_s);
        LoopbackServer server(LoopbackServer::Http(
            "200 OK", Descriptor(c.latest.major, c.latest.minor, c.latest.build)));
        const kw::UpdateResult result = RunCheck(server.url(), path);
        EXPECT_EQ(result.verdict, c.verdict) << kw::FormatVersion(c.latest).toStdString();
        EXPECT_EQ(result.latest, c.latest);
        EXPECT_TRUE(result.reason.isEmpty());
        // The descriptor is kept where the next check overwrites it.
        EXPECT_EQ(kw::ReadVersionDescriptor(path), c.latest);
        EXPECT_TRUE(server.request().startsWith("GET /kw_version.ini HTTP/1.1\r\n"));
    }
}

TEST(UpdateCheck, BodiesThatAreNotDescriptorsReadAsZero)
{
    for (const QByteArray &body : {QByteArray("<html><body>Welcome</body></html>"), QByteArray(),
                                   QByteArray("[General]\r\nmajor_version=9\r\n"), // wrong section
                                   QByteArray("[GERNERAL]\nMAJOR_VERSION=2\nminor_version=1\n")}) {
        kw::test::TestSandbox sandbox;
        LoopbackServer server(LoopbackServer::Http("200 OK", body));
        const kw::UpdateResult result = RunCheck(server.url(), sandbox.filePath(u"d.ini"_s));
        EXPECT_EQ(result.verdict, kw::UpdateVerdict::NotNewer) << body.constData();
        const bool upperCase = body.startsWith("[GERNERAL]");
        EXPECT_EQ(result.latest, (upperCase ? kw::VersionTriple{2, 1, 0} : kw::VersionTriple{}));
    }
}

TEST(UpdateCheck, FailedDownloads)
{
    kw::test::TestSandbox sandbox;
    const QString path = sandbox.filePath(u"kw_version.ini"_s);

    // An error page is not a descriptor, even one that reads like a newer version.
    {
        LoopbackServer server(LoopbackServer::Http("404 Not Found", Descriptor(9, 9, 9)));
        const kw::UpdateResult result = RunCheck(server.url(), path);
        EXPECT_EQ(result.verdict, kw::UpdateVerdict::DownloadFailed);
        EXPECT_TRUE(result.reason.contains(u"404"_s)) << result.reason.toStdString();
        EXPECT_EQ(result.latest, kw::VersionTriple{});
        EXPECT_FALSE(QFile::exists(path));
    }
    // A refused connection.
    {
        QUrl url;
        {
            LoopbackServer closed(QByteArray{});
            url = closed.url();
        }
        const kw::UpdateResult result = RunCheck(url, path);
        EXPECT_EQ(result.verdict, kw::UpdateVerdict::DownloadFailed);
        EXPECT_FALSE(result.reason.isEmpty());
    }
    // A server that accepts and never answers runs into the timeout.
    {
        LoopbackServer silent(QByteArray{});
        QElapsedTimer timer;
        timer.start();
        const kw::UpdateResult result = RunCheck(silent.url(), path, 300);
        EXPECT_EQ(result.verdict, kw::UpdateVerdict::DownloadFailed);
        EXPECT_LT(timer.elapsed(), 5000);
        EXPECT_EQ(silent.connections(), 1);
    }
    // A body far larger than any descriptor.
    {
        LoopbackServer huge(LoopbackServer::Http(
            "200 OK", Descriptor(9, 0, 0) + QByteArray(kw::kMaxDescriptorBytes, ';')));
        const kw::UpdateResult result = RunCheck(huge.url(), path);
        EXPECT_EQ(result.verdict, kw::UpdateVerdict::DownloadFailed);
    }
    // The local copy cannot be written: its folder does not exist.
    {
        LoopbackServer server(LoopbackServer::Http("200 OK", Descriptor(9, 0, 0)));
        const kw::UpdateResult result =
            RunCheck(server.url(), sandbox.filePath(u"missing/kw_version.ini"_s));
        EXPECT_EQ(result.verdict, kw::UpdateVerdict::DownloadFailed);
        EXPECT_TRUE(result.reason.contains(u"missing"_s)) << result.reason.toStdString();
    }
}

TEST(UpdateCheck, StartsOnlyWithAVersionAndANetwork)
{
    kw::test::TestSandbox sandbox;
    LoopbackServer server(LoopbackServer::Http("200 OK", Descriptor(3, 0, 0)));
    const kw::UpdateCheckOptions options{server.url(), sandbox.filePath(u"d.ini"_s), 5000};
    QObject owner;

    EXPECT_EQ(kw::StartUpdateCheck(kRunning, &owner, kw::NetworkReachability::Offline, options),
              nullptr);
    EXPECT_EQ(kw::StartUpdateCheck({0, 9, 9}, &owner, kw::NetworkReachability::Online, options),
              nullptr);
    QCoreApplication::processEvents();
    EXPECT_EQ(server.connections(), 0);

    // When the platform cannot tell, the check is tried; it cleans up after itself.
    for (const auto reachability :
         {kw::NetworkReachability::Online, kw::NetworkReachability::Unknown}) {
        QPointer<kw::CUpdateCheck> check =
            kw::StartUpdateCheck(kRunning, &owner, reachability, options);
        ASSERT_TRUE(check);
        QSignalSpy spy(check.data(), &kw::CUpdateCheck::finished);
        ASSERT_TRUE(spy.wait(10000));
        EXPECT_EQ(spy.takeFirst().at(0).value<kw::UpdateResult>().verdict,
                  kw::UpdateVerdict::Newer);
        EXPECT_TRUE(QTest::qWaitFor([&] { return check.isNull(); }));
    }
    EXPECT_EQ(server.connections(), 2);
}

TEST(UpdateCheck, DestroyingARunningCheckReportsNothing)
{
    kw::test::TestSandbox sandbox;
    LoopbackServer silent(QByteArray{});
    auto check = std::make_unique<kw::CUpdateCheck>(
        kRunning, kw::UpdateCheckOptions{silent.url(), sandbox.filePath(u"d.ini"_s), 5000});
    QSignalSpy spy(check.get(), &kw::CUpdateCheck::finished);
    check->start();
    EXPECT_TRUE(QTest::qWaitFor([&] { return silent.connections() == 1; }));
    check.reset();
    QTest::qWait(50);
    EXPECT_EQ(spy.count(), 0);
}

TEST(ProgramVersion, BuildVersionAndFormatting)
{
    kw::VersionTriple version{7, 7, 7};
    ASSERT_TRUE(kw::GetProgramVersion(version));
    EXPECT_GT(version.major, 0);
    EXPECT_EQ(kw::FormatVersion(version), QString::fromLatin1(KW_VERSION_STRING));
    EXPECT_EQ(kw::FormatVersion({2, 10, -1}), u"2.10.-1"_s);
    EXPECT_EQ(kw::ReadVersionDescriptor(u"/nonexistent/kw_version.ini"_s), kw::VersionTriple{});
    EXPECT_EQ(kw::DefaultDescriptorAddress().scheme(), u"https"_s);
    EXPECT_TRUE(kw::DefaultDescriptorAddress().path().endsWith(u"/kw_version.ini"_s));
    EXPECT_GT(kw::DefaultUpdateTimeoutMs(), 0);
}

} // namespace
