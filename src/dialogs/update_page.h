#pragma once

#include "update/update_check.h"

#include <QPointer>
#include <QWidget>

#include <functional>

class QLabel;
class QPushButton;

namespace kw {

class UserPrompts;

// How the update check reaches the network; tests point it at a local server.
struct UpdateCheckSetup
{
    UpdateCheckOptions check;
    std::function<NetworkReachability()> reachability = CurrentNetworkReachability;
};

// Answers a check that found a newer version: asks whether to download it
// and, on Yes, opens the download page (telling the user when that fails).
void OfferDownload(QWidget *parent, UserPrompts &prompts);

// The update check at start-up: starts when the running version and the
// network allow it, says nothing unless a newer version exists, then offers the
// download. The check belongs to `window` and ends with it. Returns whether a
// check started.
bool StartStartupUpdateCheck(QWidget *window, UserPrompts &prompts, UpdateCheckSetup setup = {});

// The Update page of the Preferences dialog: the running version, the latest
// version once known, and "Check Now", which reports every outcome: the
// download offer for a newer version, "You are using the latested version!",
// or that the check failed. Without a network connection it says the check
// cannot be made now, without trying. "Check Now" is disabled while its check
// runs. UI thread only; `prompts` must outlive the page.
class CUpdatePage : public QWidget
{
    Q_OBJECT
public:
    explicit CUpdatePage(kw::UserPrompts &prompts, kw::UpdateCheckSetup setup = {},
                         QWidget *parent = nullptr);

    void OnCheckNow();

signals:
    // A check started by "Check Now" has been reported to the user.
    void checkReported(const kw::UpdateResult &result);

private:
    void onFinished(const kw::UpdateResult &result);

    kw::UserPrompts &m_prompts;
    kw::UpdateCheckSetup m_setup;
    kw::VersionTriple m_version;
    QLabel *m_yourVersion = nullptr;
    QLabel *m_latestVersion = nullptr;
    QPushButton *m_checkNow = nullptr;
    QPointer<kw::CUpdateCheck> m_check;
};

// The message texts of the update check.
QString NewVersionQuestion();
QString LatestVersionNotice();
QString CheckFailedNotice();

} // namespace kw
