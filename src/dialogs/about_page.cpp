#include "dialogs/about_page.h"

#include "controls/artwork.h"
#include "controls/hyperlink_label.h"
#include "update/program_version.h"
#include "update/update_check.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QUrlQuery>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace kw {

namespace {

QString SiteAddress(QStringView page)
{
    QString address = VendorSiteAddress().toString();
    if (!address.endsWith(u'/'))
        address += u'/';
    address += page;
    return address;
}

} // namespace

QList<AboutLink> AboutLinks()
{
    QUrl share(u"mailto:"_s);
    QUrlQuery query;
    query.addQueryItem(u"subject"_s, u"Kelvane Watermark"_s);
    query.addQueryItem(u"body"_s, u"A watermarking tool for batches of photos: "_s +
                                      VendorSiteAddress().toString());
    share.setQuery(query);
    return {
        {u"homePageLink"_s, u"Home page"_s, SiteAddress(u"")},
        {u"userGuideLink"_s, u"User guide"_s, SiteAddress(u"guide.html")},
        {u"questionsLink"_s, u"Frequently asked questions"_s, SiteAddress(u"faq.html")},
        {u"supportMailLink"_s, u"Write to support"_s,
         u"mailto:support@"_s + VendorSiteAddress().host().remove(u"www."_s)},
        {u"tellFriendLink"_s, u"Tell a friend"_s, share.toString()},
        {u"downloadLink"_s, u"Download the latest version"_s, DownloadPageAddress().toString()},
    };
}

CAboutPage::CAboutPage(kw::UserPrompts &prompts, QWidget *parent) : QWidget(parent)
{
    setObjectName(u"aboutPage"_s);
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, Qt::white);
    setPalette(p);

    auto *icon = new QLabel(this);
    icon->setObjectName(u"aboutIcon"_s);
    icon->setPixmap(kw::AppIcon().pixmap(QSize(48, 48), devicePixelRatioF()));
    auto *name = new QLabel(u"Kelvane Watermark"_s, this);
    name->setObjectName(u"aboutName"_s);
    QFont nameFont = name->font();
    nameFont.setPointSizeF(nameFont.pointSizeF() * 1.4);
    nameFont.setBold(true);
    name->setFont(nameFont);
    kw::VersionTriple version;
    auto *versionLabel = new QLabel(this);
    versionLabel->setObjectName(u"aboutVersion"_s);
    if (kw::GetProgramVersion(version))
        versionLabel->setText(kw::FormatVersion(version));
    auto *versionCaption = new QLabel(u"Version"_s, this);
    auto *summary = new QLabel(u"Watermarks for whole batches of photos."_s, this);
    summary->setObjectName(u"aboutSummary"_s);

    auto *versionRow = new QHBoxLayout;
    versionRow->setSpacing(6);
    versionRow->addWidget(versionCaption);
    versionRow->addWidget(versionLabel);
    versionRow->addStretch(1);
    auto *titleColumn = new QVBoxLayout;
    titleColumn->setSpacing(2);
    titleColumn->addWidget(name);
    titleColumn->addLayout(versionRow);
    titleColumn->addWidget(summary);
    auto *header = new QHBoxLayout;
    header->setSpacing(14);
    header->addWidget(icon, 0, Qt::AlignTop);
    header->addLayout(titleColumn, 1);

    auto *linkGrid = new QGridLayout;
    linkGrid->setHorizontalSpacing(28);
    linkGrid->setVerticalSpacing(8);
    const QList<kw::AboutLink> links = kw::AboutLinks();
    for (qsizetype i = 0; i < links.size(); ++i) {
        auto *label = new CHyperLinkLabel(links[i].text, prompts, this);
        label->setObjectName(links[i].objectName);
        label->SetAddress(links[i].address);
        m_links.append(label);
        linkGrid->addWidget(label, int(i / 2), int(i % 2), Qt::AlignLeft);
    }
    linkGrid->setColumnStretch(2, 1);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(18, 18, 18, 18);
    layout->setSpacing(18);
    layout->addLayout(header);
    layout->addLayout(linkGrid);
    layout->addStretch(1);
}

CAboutDlg::CAboutDlg(kw::UserPrompts &prompts, QWidget *parent) : QDialog(parent)
{
    setObjectName(u"aboutDialog"_s);
    setWindowTitle(u"About Kelvane Watermark"_s);
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, Qt::white);
    setPalette(p);
    auto *page = new CAboutPage(prompts, this);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    buttons->setObjectName(u"aboutButtons"_s);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 10);
    layout->addWidget(page);
    auto *buttonRow = new QHBoxLayout;
    buttonRow->setContentsMargins(0, 0, 12, 0);
    buttonRow->addWidget(buttons);
    layout->addLayout(buttonRow);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

} // namespace kw
