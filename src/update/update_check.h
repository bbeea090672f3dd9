#pragma once

#include "update/program_version.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QUrl>

class QNetworkAccessManager;
class QNetworkReply;

// The update check: downloads the version descriptor kw_version.ini from the
// vendor's server, compares it with the running version and reports a
// verdict. Everything here runs on the thread that owns the objects (the
// user-interface thread); the transfer itself is asynchronous, so nothing
// blocks while it runs.
namespace kw {

enum class UpdateVerdict {
    Newer,          // the descriptor names a newer version
    NotNewer,       // the descriptor names this version or an older one
    DownloadFailed, // the descriptor could not be had
};

struct UpdateResult
{
    UpdateVerdict verdict = UpdateVerdict::DownloadFailed;
    VersionTriple latest; // the descriptor's version; 0.0.0 when the download failed
    QString reason;       // why the download failed; empty otherwise
};

// Addresses and limits fixed by the build (CMake cache variables).
QUrl DefaultDescriptorAddress(); // KW_UPDATE_DESCRIPTOR_URL
QUrl DownloadPageAddress();      // KW_DOWNLOAD_PAGE_URL
QUrl VendorSiteAddress();        // KW_VENDOR_SITE
int DefaultUpdateTimeoutMs();    // KW_UPDATE_TIMEOUT_MS

// Where a downloaded descriptor is kept: "Kelvane Watermark/kw_version.ini" in
// the temporary folder. The folder is created (one level) when missing.
QString DefaultDescriptorDownloadPath();

// Descriptors larger than this are refused: the real one is a few lines.
inline constexpr qint64 kMaxDescriptorBytes = 64 * 1024;

enum class NetworkReachability {
    Online,  // the platform reports a connection to the internet
    Offline, // the platform reports no connection, or only a local one
    Unknown, // the platform cannot tell
};

// What the platform reports now (QNetworkInformation). Call it on the
// user-interface thread.
NetworkReachability CurrentNetworkReachability();

// Whether a check may start: the running major version is above 0 and the
// network is not known to be offline. (When the platform cannot tell, the
// check is tried; a failure then reads as a failed download.)
bool ShouldStartUpdateCheck(const VersionTriple &running, NetworkReachability reachability);

struct UpdateCheckOptions
{
    QUrl descriptorAddress = DefaultDescriptorAddress();
    QString downloadPath;                     // empty: DefaultDescriptorDownloadPath()
    int timeoutMs = DefaultUpdateTimeoutMs(); // the whole check, connection to last byte
};

// One check: one download of the descriptor. start() begins it; finished()
// then fires exactly once, never from inside start(). The running version is
// copied, so the caller's copy may go away at any time. Destroying the object
// cancels a check in progress without a signal.
//
// The download fails (verdict DownloadFailed, with a reason) when the
// connection or transfer fails, when the timeout passes, when the server
// answers with an HTTP status other than 2xx, when the body is larger than
// kMaxDescriptorBytes, or when the local copy cannot be written. A body that
// is not a descriptor reads as version 0.0.0, which is never newer.
class CUpdateCheck : public QObject
{
    Q_OBJECT

public:
    explicit CUpdateCheck(const VersionTriple &running, UpdateCheckOptions options = {},
                          QObject *parent = nullptr);
    ~CUpdateCheck() override;

    void start();
    bool isRunning() const { return m_started && !m_done; }

signals:
    void finished(const kw::UpdateResult &result);

private:
    // Moves what the reply holds into m_body; false (with m_abortReason set)
    // when the body grows past kMaxDescriptorBytes.
    bool takeBody(QNetworkReply *reply);
    void onReadyRead();
    void onReplyFinished();
    void fail(const QString &reason);
    void finish(const UpdateResult &result);

    VersionTriple m_running;
    UpdateCheckOptions m_options;
    QNetworkAccessManager *m_network = nullptr;
    QPointer<QNetworkReply> m_reply;
    QTimer m_deadline;
    QByteArray m_body;
    QString m_abortReason; // set when we abort the transfer ourselves
    bool m_started = false;
    bool m_done = false;
};

// Starts a check when ShouldStartUpdateCheck allows it: the check is a child of
// `parent` and deletes itself after finished(). Returns nullptr, and nothing
// happens, when no check may start.
CUpdateCheck *StartUpdateCheck(const VersionTriple &running, QObject *parent,
                               NetworkReachability reachability = CurrentNetworkReachability(),
                               UpdateCheckOptions options = {});

} // namespace kw

Q_DECLARE_METATYPE(kw::UpdateResult)
