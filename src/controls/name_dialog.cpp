#include "controls/name_dialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QVBoxLayout>

namespace kw {

namespace {

// Small dialogs are dark grey with white text.
void ApplyDarkPalette(QWidget *widget)
{
    QPalette palette = widget->palette();
    const QColor grey(75, 75, 75);
    palette.setColor(QPalette::Window, grey);
    palette.setColor(QPalette::WindowText, Qt::white);
    palette.setColor(QPalette::Button, QColor(96, 96, 96));
    palette.setColor(QPalette::ButtonText, Qt::white);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

} // namespace

CNameDialog::CNameDialog(const NameRequest &request, UserPrompts &prompts, QWidget *parent)
    : QDialog(parent), m_request(request), m_prompts(prompts)
{
    setObjectName(QStringLiteral("nameDialog"));
    setWindowTitle(request.caption);
    ApplyDarkPalette(this);

    m_label = new QLabel(request.label, this);
    m_label->setObjectName(QStringLiteral("nameLabel"));

    m_edit = new QLineEdit(request.initialText, this);
    m_edit->setObjectName(QStringLiteral("nameEdit"));
    m_edit->setMinimumWidth(260);
    // The field keeps the light look of a text box on the dark dialog.
    QPalette editPalette = m_edit->palette();
    editPalette.setColor(QPalette::Base, Qt::white);
    editPalette.setColor(QPalette::Text, Qt::black);
    m_edit->setPalette(editPalette);
    m_label->setBuddy(m_edit);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->setObjectName(QStringLiteral("nameButtons"));
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("okButton"));
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("cancelButton"));
    connect(buttons, &QDialogButtonBox::accepted, this, &CNameDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CNameDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 14, 16, 12);
    layout->setSpacing(8);
    layout->addWidget(m_label);
    layout->addWidget(m_edit);
    layout->addSpacing(4);
    layout->addWidget(buttons);
    setSizeGripEnabled(false);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

QString CNameDialog::name() const
{
    return m_edit->text();
}

void CNameDialog::accept()
{
    if (m_request.check) {
        const QString refusal = m_request.check(m_edit->text());
        if (!refusal.isEmpty()) {
            m_prompts.message(this, refusal, MessageIcon::Warning);
            m_edit->setFocus();
            m_edit->selectAll();
            return;
        }
    }
    QDialog::accept();
}

} // namespace kw
