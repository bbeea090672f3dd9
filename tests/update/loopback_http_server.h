#pragma once

#include <QByteArray>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>

#include <gtest/gtest.h>

namespace kw::test {

// A one-page HTTP server on 127.0.0.1 that answers every request with
// `response`, or never answers when it is empty.
class LoopbackHttpServer
{
public:
    explicit LoopbackHttpServer(QByteArray response) : m_response(std::move(response))
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

    // An answer with `status` ("200 OK") and `body`.
    static QByteArray Http(const QByteArray &status, const QByteArray &body)
    {
        return "HTTP/1.1 " + status + "\r\nContent-Length: " + QByteArray::number(body.size()) +
               "\r\nConnection: close\r\n\r\n" + body;
    }

    // A version descriptor as the vendor's server publishes it.
    static QByteArray Descriptor(int major, int minor, int build)
    {
        return "[Gerneral]\r\nmajor_version=" + QByteArray::number(major) +
               "\r\nminor_version=" + QByteArray::number(minor) +
               "\r\nbuild=" + QByteArray::number(build) + "\r\n";
    }

    QUrl url() const
    {
        return QUrl(
            QStringLiteral("http://127.0.0.1:%1/kw_version.ini").arg(m_server.serverPort()));
    }
    int connections() const { return m_connections; }
    const QByteArray &request() const { return m_request; }

private:
    QTcpServer m_server;
    QByteArray m_response;
    QByteArray m_request;
    int m_connections = 0;
};

} // namespace kw::test
