#include "dialogs/update_page.h"

#include "controls/hyperlink_label.h"
#include "controls/user_prompts.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace kw {

QString NewVersionQuestion()
{
    return u"A new version of Kelvane Watermark is available, Would you like download it now?"_s;
}

QString LatestVersionNotice()
{
    return u"You are using the latested version!"_s;
}

QString CheckFailedNotice()
{
    return u"Kelvane Watermark can't check new version now, please check your internet "
           u"connection and try it later."_s;
}

void OfferDownload(QWidget *parent, UserPrompts &prompts)
{
    if (prompts.message(parent, NewVersionQuestion(), MessageIcon::Question,
                        MessageButtons::YesNo) != MessageAnswer::Yes)
        return;
    const Status opened = prompts.openAddress(DownloadPageAddress());
    if (!opened)
        prompts.message(parent, HyperlinkFailureMessage(opened.error()), MessageIcon::Warning);
}

bool StartStartupUpdateCheck(QWidget *window, UserPrompts &prompts, UpdateCheckSetup setup)
{
    VersionTriple running;
    if (!GetProgramVersion(running))
        return false;
    CUpdateCheck *check = StartUpdateCheck(running, window, setup.reachability(), setup.check);
    if (!check)
        return false;
    QObject::connect(check, &CUpdateCheck::finished, window,
                     [window, &prompts](const UpdateResult &result) {
                         if (result.verdict == UpdateVerdict::Newer)
                             OfferDownload(window, prompts);
                     });
    return true;
}

CUpdatePage::CUpdatePage(kw::UserPrompts &prompts, kw::UpdateCheckSetup setup, QWidget *parent)
    : QWidget(parent), m_prompts(prompts), m_setup(std::move(setup))
{
    setObjectName(u"updatePage"_s);
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, Qt::white);
    setPalette(p);

    auto *yourLabel = new QLabel(u"Your Version:"_s, this);
    yourLabel->setObjectName(u"yourVersionLabel"_s);
    auto *latestLabel = new QLabel(u"The Latest Version:"_s, this);
    latestLabel->setObjectName(u"latestVersionLabel"_s);
    m_yourVersion = new QLabel(u"1.0.0"_s, this);
    m_yourVersion->setObjectName(u"yourVersion"_s);
    m_latestVersion = new QLabel(this);
    m_latestVersion->setObjectName(u"latestVersion"_s);
    m_latestVersion->setMinimumWidth(QFontMetrics(font()).horizontalAdvance(u"0000.0000.0000"_s));
    auto *hint = new QLabel(u"Press the Check Now button to check for update."_s, this);
    hint->setObjectName(u"checkHint"_s);
    m_checkNow = new QPushButton(u"Check Now"_s, this);
    m_checkNow->setObjectName(u"checkNowButton"_s);
    m_checkNow->setAutoDefault(false);

    auto *grid = new QGridLayout;
    grid->setHorizontalSpacing(12);
    grid->setVerticalSpacing(8);
    grid->addWidget(yourLabel, 0, 0);
    grid->addWidget(m_yourVersion, 0, 1);
    grid->addWidget(latestLabel, 1, 0);
    grid->addWidget(m_latestVersion, 1, 1);
    grid->setColumnStretch(2, 1);
    auto *buttonRow = new QHBoxLayout;
    buttonRow->addWidget(m_checkNow);
    buttonRow->addStretch(1);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(18, 18, 18, 18);
    layout->setSpacing(14);
    layout->addLayout(grid);
    layout->addWidget(hint);
    layout->addLayout(buttonRow);
    layout->addStretch(1);

    if (kw::GetProgramVersion(m_version))
        m_yourVersion->setText(kw::FormatVersion(m_version));
    connect(m_checkNow, &QPushButton::clicked, this, &CUpdatePage::OnCheckNow);
}

void CUpdatePage::OnCheckNow()
{
    if (m_check)
        return; // one check at a time from this page
    const kw::NetworkReachability reachability = m_setup.reachability();
    if (m_version.major > 0 && reachability == kw::NetworkReachability::Offline) {
        // Nothing to try: say so rather than ignore the click.
        m_prompts.message(this, kw::CheckFailedNotice(), kw::MessageIcon::Information);
        return;
    }
    m_check = kw::StartUpdateCheck(m_version, this, reachability, m_setup.check);
    if (!m_check)
        return;
    m_checkNow->setEnabled(false);
    connect(m_check, &kw::CUpdateCheck::finished, this, &CUpdatePage::onFinished);
}

void CUpdatePage::onFinished(const kw::UpdateResult &result)
{
    m_checkNow->setEnabled(true);
    switch (result.verdict) {
    case kw::UpdateVerdict::Newer:
        m_latestVersion->setText(kw::FormatVersion(result.latest));
        kw::OfferDownload(this, m_prompts);
        break;
    case kw::UpdateVerdict::NotNewer:
        m_prompts.message(this, kw::LatestVersionNotice(), kw::MessageIcon::Information);
        m_latestVersion->setText(kw::FormatVersion(result.latest));
        break;
    case kw::UpdateVerdict::DownloadFailed: {
        QString text = kw::CheckFailedNotice();
        if (!result.reason.isEmpty())
            text += u"\n\n("_s + result.reason + u")"_s;
        m_prompts.message(this, text, kw::MessageIcon::Information);
        break;
    }
    }
    emit checkReported(result);
}

} // namespace kw
