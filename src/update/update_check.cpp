#include "update/update_check.h"

#include "platform/app_folders.h"

#include "kw_version.h"

#include <QDir>
#include <QNetworkAccessManager>
#include <QNetworkInformation>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSaveFile>

using namespace Qt::StringLiterals;

namespace kw {

QUrl DefaultDescriptorAddress()
{
    return QUrl(QStringLiteral(KW_UPDATE_DESCRIPTOR_URL));
}

QUrl DownloadPageAddress()
{
    return QUrl(QStringLiteral(KW_DOWNLOAD_PAGE_URL));
}

QUrl VendorSiteAddress()
{
    return QUrl(QStringLiteral(KW_VENDOR_SITE));
}

int DefaultUpdateTimeoutMs()
{
    return KW_UPDATE_TIMEOUT_MS;
}

QString DefaultDescriptorDownloadPath()
{
    const QString folder = JoinPath(QDir::tempPath(), kAppFolderName);
    QDir().mkdir(folder); // one level only; a failure shows when the file is written
    return JoinPath(folder, kVersionDescriptorFileName);
}

NetworkReachability CurrentNetworkReachability()
{
    if (!QNetworkInformation::instance() &&
        !QNetworkInformation::loadBackendByFeatures(QNetworkInformation::Feature::Reachability))
        return NetworkReachability::Unknown;
    switch (QNetworkInformation::instance()->reachability()) {
    case QNetworkInformation::Reachability::Online:
        return NetworkReachability::Online;
    case QNetworkInformation::Reachability::Disconnected:
    case QNetworkInformation::Reachability::Local:
    case QNetworkInformation::Reachability::Site:
        return NetworkReachability::Offline;
    case QNetworkInformation::Reachability::Unknown:
        break;
    }
    return NetworkReachability::Unknown;
}

bool ShouldStartUpdateCheck(const VersionTriple &running, NetworkReachability reachability)
{
    return running.major > 0 && reachability != NetworkReachability::Offline;
}

CUpdateCheck::CUpdateCheck(const VersionTriple &running, UpdateCheckOptions options,
                           QObject *parent)
    : QObject(parent), m_running(running), m_options(std::move(options))
{
    qRegisterMetaType<kw::UpdateResult>();
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, [this] {
        if (m_reply) {
            m_abortReason = u"no answer from %1 within %2 seconds"_s.arg(
                m_options.descriptorAddress.host(),
                QString::number(m_options.timeoutMs / 1000.0, 'g', 3));
            m_reply->abort(); // finishes the reply, and so the check
        }
    });
}

CUpdateCheck::~CUpdateCheck()
{
    m_done = true; // no signal from a check that is being destroyed
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->abort();
    }
}

void CUpdateCheck::start()
{
    if (m_started)
        return;
    m_started = true;
    if (!m_options.descriptorAddress.isValid()) {
        // finished() never fires from inside start().
        QTimer::singleShot(0, this, [this] {
            fail(u"the update address \"%1\" is not valid"_s.arg(
                m_options.descriptorAddress.toString()));
        });
        return;
    }

    m_network = new QNetworkAccessManager(this);
    QNetworkRequest request(m_options.descriptorAddress);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setHeader(QNetworkRequest::UserAgentHeader,
                      QByteArray("Kelvane Watermark/" KW_VERSION_STRING));
    request.setTransferTimeout(m_options.timeoutMs);
    m_reply = m_network->get(request);
    connect(m_reply, &QNetworkReply::readyRead, this, &CUpdateCheck::onReadyRead);
    connect(m_reply, &QNetworkReply::finished, this, &CUpdateCheck::onReplyFinished);
    m_deadline.start(std::max(1, m_options.timeoutMs));
}

bool CUpdateCheck::takeBody(QNetworkReply *reply)
{
    m_body += reply->read(kMaxDescriptorBytes + 1 - m_body.size());
    if (m_body.size() <= kMaxDescriptorBytes)
        return true;
    m_abortReason = u"the version descriptor is larger than %1 bytes"_s.arg(kMaxDescriptorBytes);
    return false;
}

void CUpdateCheck::onReadyRead()
{
    if (m_reply && m_abortReason.isEmpty() && !takeBody(m_reply))
        m_reply->abort(); // finishes the reply, and so the check
}

void CUpdateCheck::onReplyFinished()
{
    QNetworkReply *reply = m_reply;
    if (!reply || m_done)
        return;
    reply->deleteLater();
    m_reply = nullptr;
    m_deadline.stop();

    if (!m_abortReason.isEmpty()) {
        fail(m_abortReason);
        return;
    }
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    // An HTTP error page is not the descriptor, whatever its body says.
    if (status.isValid() && (status.toInt() < 200 || status.toInt() > 299)) {
        const QString phrase =
            reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString();
        fail(phrase.isEmpty() ? u"the server answered with HTTP status %1"_s.arg(status.toInt())
                              : u"the server answered with HTTP status %1 (%2)"_s.arg(
                                    QString::number(status.toInt()), phrase));
        return;
    }
    if (reply->error() != QNetworkReply::NoError) {
        fail(reply->errorString());
        return;
    }
    if (!takeBody(reply)) { // whatever is still buffered
        fail(m_abortReason);
        return;
    }

    const QString path =
        m_options.downloadPath.isEmpty() ? DefaultDescriptorDownloadPath() : m_options.downloadPath;
    QSaveFile file(path);
    // flush() before commit(), which misses a failure that only shows when
    // the buffered bytes reach the file.
    if (!file.open(QIODevice::WriteOnly) || file.write(m_body) != m_body.size() || !file.flush() ||
        !file.commit()) {
        fail(u"cannot write %1: %2"_s.arg(QDir::toNativeSeparators(path), file.errorString()));
        return;
    }
    UpdateResult result;
    result.latest = ReadVersionDescriptor(path);
    result.verdict =
        IsNewerVersion(result.latest, m_running) ? UpdateVerdict::Newer : UpdateVerdict::NotNewer;
    finish(result);
}

void CUpdateCheck::fail(const QString &reason)
{
    UpdateResult result;
    result.verdict = UpdateVerdict::DownloadFailed;
    result.reason = reason;
    finish(result);
}

void CUpdateCheck::finish(const UpdateResult &result)
{
    if (m_done)
        return;
    m_done = true;
    m_deadline.stop();
    emit finished(result);
}

CUpdateCheck *StartUpdateCheck(const VersionTriple &running, QObject *parent,
                               NetworkReachability reachability, UpdateCheckOptions options)
{
    if (!ShouldStartUpdateCheck(running, reachability))
        return nullptr;
    auto *check = new CUpdateCheck(running, std::move(options), parent);
    QObject::connect(check, &CUpdateCheck::finished, check, &QObject::deleteLater);
    check->start();
    return check;
}

} // namespace kw
