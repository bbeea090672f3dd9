#include "dialogs/quick_start_dlg.h"

#include "controls/artwork.h"
#include "controls/skin_button.h"
#include "controls/user_prompts.h"
#include "i18n/string_table.h"
#include "settings/preferences.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

constexpr QRgb kBackground = qRgb(75, 75, 75);

} // namespace

CQuickStartDlg::CQuickStartDlg(QString dataFolder, kw::UserPrompts &prompts, QWidget *parent)
    : QDialog(parent), m_dataFolder(std::move(dataFolder)), m_prompts(prompts)
{
    setObjectName(u"quickStartDialog"_s);
    setWindowTitle(u"Quick Start"_s);
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, QColor(kBackground));
    p.setColor(QPalette::WindowText, Qt::white);
    setPalette(p);

    const struct
    {
        int bitmap;
        int text;
        const char16_t *name;
    } steps[] = {
        {kw::kBmpQuickStartTemplates, kw::kStrQuickStartTemplates, u"templatesStep"},
        {kw::kBmpQuickStartAddPhotos, kw::kStrQuickStartAddPhotos, u"addPhotosStep"},
        {kw::kBmpQuickStartProcess, kw::kStrQuickStartProcess, u"processStep"},
    };
    auto *grid = new QGridLayout;
    grid->setHorizontalSpacing(16);
    grid->setVerticalSpacing(14);
    int row = 0;
    for (const auto &step : steps) {
        const QString name = QString::fromUtf16(step.name);
        auto *picture = new QLabel(this);
        picture->setObjectName(name + u"Picture"_s);
        picture->setPixmap(kw::BuiltInPixmap(step.bitmap, devicePixelRatioF()));
        auto *text = new QLabel(kw::ResourceString(step.text), this);
        text->setObjectName(name + u"Text"_s);
        text->setTextFormat(Qt::PlainText);
        text->setWordWrap(true);
        text->setMinimumWidth(340);
        text->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        grid->addWidget(picture, row, 0, Qt::AlignTop);
        grid->addWidget(text, row, 1);
        ++row;
    }
    grid->setColumnStretch(1, 1);

    m_dontShow = new QCheckBox(u"Don't show this dialog next time"_s, this);
    m_dontShow->setObjectName(u"dontShowCheck"_s);
    // A light box with a dark tick, its label white on the grey.
    QPalette box = m_dontShow->palette();
    box.setColor(QPalette::Base, QColor(245, 245, 245));
    box.setColor(QPalette::Text, QColor(40, 40, 40));
    box.setColor(QPalette::WindowText, Qt::white);
    box.setColor(QPalette::ButtonText, Qt::white);
    m_dontShow->setPalette(box);
    m_thanks = new CSkinButton(u"Thanks"_s, this);
    m_thanks->setObjectName(u"thanksButton"_s);
    m_thanks->setDefault(true);
    m_thanks->setMinimumSize(80, 24);
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(m_dontShow);
    bottom->addStretch(1);
    bottom->addWidget(m_thanks);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(18, 18, 18, 14);
    layout->setSpacing(16);
    layout->addLayout(grid);
    layout->addLayout(bottom);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(m_dontShow, &QCheckBox::clicked, this, &CQuickStartDlg::onDontShowClicked);
    connect(m_thanks, &QPushButton::clicked, this, &QDialog::accept);
}

void CQuickStartDlg::onDontShowClicked(bool checked)
{
    if (const kw::Status saved = kw::SaveQuickStartChoice(m_dataFolder, checked); !saved) {
        m_prompts.message(this, u"Your choice could not be saved.\n\n"_s + saved.error(),
                          kw::MessageIcon::Warning);
    }
}
