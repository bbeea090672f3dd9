#include "editor/output_metadata_group.h"

#include "editor/editor_session.h"
#include "editor/text_variables_help.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>

#include <limits>

using namespace Qt::StringLiterals;

namespace kw {

OutputMetadataGroup::OutputMetadataGroup(EditorSession &session, QWidget *parent)
    : QGroupBox(u"Metadata of the outputs"_s, parent), m_session(session)
{
    setObjectName(u"outputMetadataGroup"_s);
    m_stripLocation = new QCheckBox(u"Remove location (GPS)"_s, this);
    m_stripLocation->setObjectName(u"stripLocationBox"_s);
    m_stripSerials = new QCheckBox(u"Remove serial numbers"_s, this);
    m_stripSerials->setObjectName(u"stripSerialNumbersBox"_s);
    m_stripSerials->setToolTip(u"The camera's, body's and lens's serial numbers."_s);
    const auto textBox = [this](const QString &name, const QString &placeholder) {
        auto *box = new QLineEdit(this);
        box->setObjectName(name);
        box->setMaxLength(std::numeric_limits<int>::max());
        box->setPlaceholderText(placeholder);
        AttachTextVariableHelp(box);
        return box;
    };
    m_artist = textBox(u"outputArtistBox"_s, u"the photo's own"_s);
    m_copyright = textBox(u"outputCopyrightBox"_s, u"the photo's own"_s);

    auto *grid = new QGridLayout(this);
    grid->addWidget(m_stripLocation, 0, 0, 1, 2);
    grid->addWidget(m_stripSerials, 1, 0, 1, 2);
    const auto add = [&](int row, const QString &label, QLineEdit *box) {
        auto *text = new QLabel(label, this);
        text->setBuddy(box);
        grid->addWidget(text, row, 0);
        grid->addWidget(box, row, 1);
    };
    add(2, u"Artist:"_s, m_artist);
    add(3, u"Copyright:"_s, m_copyright);
    grid->setColumnStretch(1, 1);

    showStored();
    connect(&m_session, &EditorSession::filesRestored, this, &OutputMetadataGroup::showStored);
    // Each click a step of its own; typing in one box one step.
    for (QCheckBox *box : {m_stripLocation, m_stripSerials})
        connect(box, &QCheckBox::toggled, this, [this] { save({}); });
    for (QLineEdit *box : {m_artist, m_copyright})
        connect(box, &QLineEdit::textChanged, this, [this, box] { save(box->objectName()); });
}

void OutputMetadataGroup::showStored()
{
    const Result<OutputMetadataSetting> stored =
        ReadOutputMetadataSetting(m_session.templatesFolder(), m_session.templateName());
    const OutputMetadataSetting shown = stored.valueOr(OutputMetadataSetting{});
    const QSignalBlocker b1(m_stripLocation), b2(m_stripSerials), b3(m_artist), b4(m_copyright);
    m_stripLocation->setChecked(shown.stripLocation);
    m_stripSerials->setChecked(shown.stripSerialNumbers);
    if (m_artist->text() != shown.artist)
        m_artist->setText(shown.artist);
    if (m_copyright->text() != shown.copyright)
        m_copyright->setText(shown.copyright);
}

OutputMetadataSetting OutputMetadataGroup::setting() const
{
    OutputMetadataSetting setting;
    setting.stripLocation = m_stripLocation->isChecked();
    setting.stripSerialNumbers = m_stripSerials->isChecked();
    setting.artist = m_artist->text();
    setting.copyright = m_copyright->text();
    return setting;
}

void OutputMetadataGroup::save(const QString &mergeKey)
{
    const Status saved = m_session.editTemplate(u"Change output metadata"_s, mergeKey, [this] {
        return SaveOutputMetadataSetting(m_session.templatesFolder(), m_session.templateName(),
                                         setting());
    });
    if (!saved)
        m_session.showStatus(saved.error());
}

} // namespace kw
