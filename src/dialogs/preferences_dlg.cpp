#include "dialogs/preferences_dlg.h"

#include "controls/user_prompts.h"
#include "dialogs/about_page.h"
#include "dialogs/output_quality_group.h"
#include "render/output_naming.h"
#include "settings/settings_files.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardPaths>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace kw {

namespace {

constexpr PreferenceElement kPageElements[] = {
    PreferenceElement::OutputFolderOpts,   PreferenceElement::OutputFolderPath,
    PreferenceElement::OutputFileNameOpts, PreferenceElement::OutputFileNameSuffix,
    PreferenceElement::OutputFormat,
};

void MakeWhite(QWidget *widget)
{
    widget->setAutoFillBackground(true);
    QPalette p = widget->palette();
    p.setColor(QPalette::Window, Qt::white);
    widget->setPalette(p);
}

// A tab widget as large as the page shown, not as the largest page.
class PageFittingTabs : public QTabWidget
{
public:
    using QTabWidget::QTabWidget;

    QSize sizeHint() const override { return fitted(QTabWidget::sizeHint(), &QWidget::sizeHint); }
    QSize minimumSizeHint() const override
    {
        return fitted(QTabWidget::minimumSizeHint(), &QWidget::minimumSizeHint);
    }

private:
    QSize fitted(QSize whole, QSize (QWidget::*hint)() const) const
    {
        const QWidget *current = currentWidget();
        if (!current)
            return whole;
        QSize largest;
        for (int i = 0; i < count(); ++i)
            largest = largest.expandedTo((widget(i)->*hint)());
        const QSize own = (current->*hint)();
        QSize size = whole - largest + own;
        size.setWidth(std::max(size.width(), tabBar()->sizeHint().width() + 8));
        return size;
    }
};

} // namespace

COutputSettingsPage::COutputSettingsPage(QString dataFolder, kw::UserPrompts &prompts,
                                         QWidget *parent)
    : QWidget(parent), m_dataFolder(std::move(dataFolder)), m_prompts(prompts)
{
    setObjectName(u"generalPage"_s);
    MakeWhite(this);

    auto *folderBox = new QGroupBox(u"Output Folder"_s, this);
    folderBox->setObjectName(u"outputFolderGroup"_s);
    m_originalFolder = new QRadioButton(u"Save to original file's folder"_s, folderBox);
    m_originalFolder->setObjectName(u"originalFolderRadio"_s);
    m_anotherFolder = new QRadioButton(u"Save to another folder"_s, folderBox);
    m_anotherFolder->setObjectName(u"anotherFolderRadio"_s);
    m_folder = new QLineEdit(folderBox);
    m_folder->setObjectName(u"outputFolderEdit"_s);
    m_folder->setReadOnly(true);
    QPalette grey = m_folder->palette();
    grey.setColor(QPalette::Text, QColor(128, 128, 128));
    m_folder->setPalette(grey);
    m_folder->setMinimumWidth(QFontMetrics(font()).averageCharWidth() * 44);
    m_browse = new QPushButton(u"Browse"_s, folderBox);
    m_browse->setObjectName(u"browseButton"_s);
    m_browse->setAutoDefault(false);
    auto *folderLayout = new QGridLayout(folderBox);
    folderLayout->addWidget(m_originalFolder, 0, 0, 1, 2);
    folderLayout->addWidget(m_anotherFolder, 1, 0, 1, 2);
    folderLayout->addWidget(m_folder, 2, 0);
    folderLayout->addWidget(m_browse, 2, 1);
    folderLayout->setColumnStretch(0, 1);

    auto *nameBox = new QGroupBox(u"Output File Name"_s, this);
    nameBox->setObjectName(u"outputFileNameGroup"_s);
    m_keepName = new QRadioButton(u"Keep original file's name"_s, nameBox);
    m_keepName->setObjectName(u"keepNameRadio"_s);
    m_rename = new QRadioButton(u"Rename"_s, nameBox);
    m_rename->setObjectName(u"renameRadio"_s);
    auto *suffixLabel = new QLabel(u"Filename Suffix: "_s, nameBox);
    suffixLabel->setObjectName(u"suffixLabel"_s);
    m_suffix = new QLineEdit(nameBox);
    m_suffix->setObjectName(u"suffixEdit"_s);
    suffixLabel->setBuddy(m_suffix);
    auto *nameLayout = new QGridLayout(nameBox);
    nameLayout->addWidget(m_keepName, 0, 0, 1, 3);
    nameLayout->addWidget(m_rename, 1, 0);
    nameLayout->addWidget(suffixLabel, 1, 1);
    nameLayout->addWidget(m_suffix, 1, 2);
    nameLayout->setColumnStretch(2, 1);
    nameLayout->setColumnMinimumWidth(0, 90);

    auto *formatBox = new QGroupBox(u"Output File Format"_s, this);
    formatBox->setObjectName(u"outputFormatGroup"_s);
    m_format = new QComboBox(formatBox);
    m_format->setObjectName(u"formatCombo"_s);
    auto *formatLayout = new QHBoxLayout(formatBox);
    formatLayout->addWidget(m_format);
    formatLayout->addStretch(1);

    auto *collisionBox = new QGroupBox(u"When an Output File Exists"_s, this);
    collisionBox->setObjectName(u"outputCollisionGroup"_s);
    m_collision = new QComboBox(collisionBox);
    m_collision->setObjectName(u"collisionCombo"_s);
    // In the order of OutputCollisionPolicy.
    m_collision->addItem(u"Overwrite it"_s);
    m_collision->addItem(u"Skip the photo"_s);
    m_collision->addItem(u"Save under a new name: name (2).jpg"_s);
    auto *collisionLayout = new QHBoxLayout(collisionBox);
    collisionLayout->addWidget(m_collision);
    collisionLayout->addStretch(1);

    m_quality = new COutputQualityGroup(this);

    m_replaceWarning = new QLabel(this);
    m_replaceWarning->setObjectName(u"replaceSourceWarning"_s);
    m_replaceWarning->setWordWrap(true);
    m_replaceWarning->setStyleSheet(u"color: #a4262c;"_s);
    m_replaceWarning->hide();

    // Separate groups: each pair of radio buttons is exclusive on its own.
    auto *folderGroup = new QButtonGroup(this);
    folderGroup->addButton(m_originalFolder);
    folderGroup->addButton(m_anotherFolder);
    auto *nameGroup = new QButtonGroup(this);
    nameGroup->addButton(m_keepName);
    nameGroup->addButton(m_rename);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(14, 14, 14, 14);
    layout->setSpacing(10);
    layout->addWidget(folderBox);
    layout->addWidget(nameBox);
    layout->addWidget(m_replaceWarning);
    layout->addWidget(formatBox);
    addJpegModeRows();
    layout->addWidget(m_quality);
    layout->addWidget(collisionBox);
    layout->addStretch(1);

    connect(m_originalFolder, &QRadioButton::clicked, this,
            [this] { m_browse->setEnabled(false); });
    connect(m_anotherFolder, &QRadioButton::clicked, this, [this] { m_browse->setEnabled(true); });
    connect(m_keepName, &QRadioButton::clicked, this, [this] { m_suffix->setEnabled(false); });
    connect(m_rename, &QRadioButton::clicked, this, [this] { m_suffix->setEnabled(true); });
    connect(m_browse, &QPushButton::clicked, this, &COutputSettingsPage::OnBrowse);
    for (QRadioButton *radio : {m_originalFolder, m_anotherFolder, m_keepName, m_rename})
        connect(radio, &QRadioButton::toggled, this, &COutputSettingsPage::updateReplaceWarning);
    connect(m_suffix, &QLineEdit::textChanged, this, &COutputSettingsPage::updateReplaceWarning);
    connect(m_format, &QComboBox::currentIndexChanged, this,
            &COutputSettingsPage::updateReplaceWarning);
    connect(m_collision, &QComboBox::currentIndexChanged, this,
            &COutputSettingsPage::updateReplaceWarning);

    load();
}

QString COutputSettingsPage::replaceWarning() const
{
    return m_replaceWarning->isHidden() ? QString() : m_replaceWarning->text();
}

void COutputSettingsPage::updateReplaceWarning()
{
    // Beside the photo under its own name (a suffix that is empty names it
    // the same), an output of the photo's own format is the photo itself.
    const bool ownFolder = m_originalFolder->isChecked();
    const bool ownName =
        m_keepName->isChecked() || (m_rename->isChecked() && m_suffix->text().isEmpty());
    const OutputFormatInfo *format = FindOutputFormat(m_format->currentData().toInt());
    const auto policy = OutputCollisionPolicy(m_collision->currentIndex());
    // Under "new name" such outputs are numbered and nothing is lost.
    const bool replaces = ownFolder && ownName && format && m_format->currentIndex() >= 0 &&
                          policy != OutputCollisionPolicy::Rename;
    if (!replaces) {
        m_replaceWarning->hide();
        return;
    }
    const QString type = format->extension.toString().toUpper();
    m_replaceWarning->setText(
        u"Every %1 photo would be saved over itself, so none of them would be processed: "
        u"choose another folder, or rename with a suffix."_s.arg(type));
    m_replaceWarning->show();
}

COutputSettingsPage::~COutputSettingsPage()
{
    save();
}

void COutputSettingsPage::load()
{
    m_format->clear();
    using F = OutputFormatCode;
    const std::pair<QString, F> formats[] = {{u"JPG"_s, F::Jpeg},  {u"PNG"_s, F::Png},
                                             {u"BMP"_s, F::Bmp},   {u"TIFF"_s, F::Tiff},
                                             {u"WebP"_s, F::Webp}, {u"AVIF"_s, F::Avif}};
    for (const auto &[name, code] : formats)
        m_format->addItem(name, int(code));
    m_format->setCurrentIndex(0);

    const kw::Result<kw::PreferenceTexts> read = kw::ReadPreferenceTexts(
        m_dataFolder, {PreferenceElement::OutputFolderOpts, PreferenceElement::OutputFolderPath,
                       PreferenceElement::OutputFileNameOpts,
                       PreferenceElement::OutputFileNameSuffix, PreferenceElement::OutputFormat});
    m_loaded = read.ok();
    m_found = read.valueOr({});
    m_loadError = read.error();
    if (m_loaded) {
        if (const auto &opts = m_found.text(PreferenceElement::OutputFolderOpts)) {
            const bool original =
                *opts == QString::number(kw::Code(kw::OutputFolderOption::SourceFolder));
            (original ? m_originalFolder : m_anotherFolder)->setChecked(true);
            m_browse->setEnabled(!original);
        }
        if (const auto &path = m_found.text(PreferenceElement::OutputFolderPath))
            m_folder->setText(*path);
        if (const auto &opts = m_found.text(PreferenceElement::OutputFileNameOpts)) {
            const bool keep = *opts == QString::number(kw::Code(kw::OutputNameOption::KeepName));
            (keep ? m_keepName : m_rename)->setChecked(true);
            m_suffix->setEnabled(!keep);
        }
        if (const auto &suffix = m_found.text(PreferenceElement::OutputFileNameSuffix))
            m_suffix->setText(*suffix);
        if (const auto &format = m_found.text(PreferenceElement::OutputFormat)) {
            // -1 (no selection) for a number the list does not hold.
            m_format->setCurrentIndex(m_format->findData(kw::ParseDecimalInt(*format)));
        }
        kw::CPreferences prefs;
        (void)kw::LoadPreferences(m_dataFolder, prefs); // unreadable: the default policy
        const int policy = int(prefs.collisionPolicy);
        m_collision->setCurrentIndex(policy >= 0 && policy < m_collision->count() ? policy : -1);
        m_storedQuality = prefs.quality;
        m_quality->load(prefs.quality);
    }
    m_initial = currentTexts();
    m_initialCollision = m_collision->currentIndex();
    updateReplaceWarning();

    m_jpegInitial = kw::LoadJpegOutputSetting(m_dataFolder).valueOr({});
    m_jpegMode->setCurrentIndex(int(m_jpegInitial.mode));
    m_jpegSmallest->setChecked(m_jpegInitial.optimizedHuffman);
    m_jpegSmallest->setEnabled(m_jpegInitial.mode == kw::JpegOutputMode::KeepOriginal);
}

void COutputSettingsPage::addJpegModeRows()
{
    // The JPEG mode belongs to the output-quality group, beside the quality
    // of each format.
    QWidget *box = m_quality;
    m_jpegMode = new QComboBox(box);
    m_jpegMode->setObjectName(u"jpegModeCombo"_s);
    // In the order of JpegOutputMode.
    m_jpegMode->addItem(u"quality 98"_s);
    m_jpegMode->addItem(u"keep the original, re-encode only the watermark"_s);
    m_jpegSmallest = new QCheckBox(u"Smallest file (optimised tables, slower)"_s, box);
    m_jpegSmallest->setObjectName(u"jpegSmallestCheck"_s);
    auto *note = new QLabel(u"Keeping the original leaves every part of a JPEG photo outside the "
                            u"watermark untouched. The watermark then keeps the photo's colour "
                            u"resolution, so small coloured text is softer than at quality 98. "
                            u"Photos that are resized are always re-encoded."_s,
                            box);
    note->setWordWrap(true);
    m_quality->form()->addRow(u"JPEG mode:"_s, m_jpegMode);
    m_quality->form()->addRow(QString(), m_jpegSmallest);
    m_quality->form()->addRow(note);
    connect(m_jpegMode, &QComboBox::currentIndexChanged, this, [this](int index) {
        m_jpegSmallest->setEnabled(index == int(kw::JpegOutputMode::KeepOriginal));
    });
}

kw::JpegOutputSetting COutputSettingsPage::currentJpegOutput() const
{
    kw::JpegOutputSetting setting;
    if (m_jpegMode->currentIndex() == int(kw::JpegOutputMode::KeepOriginal)) {
        setting.mode = kw::JpegOutputMode::KeepOriginal;
        setting.optimizedHuffman = m_jpegSmallest->isChecked();
    }
    return setting;
}

kw::Status COutputSettingsPage::saveJpegOutput() const
{
    // Unchanged: the file is not touched, so it gains no elements.
    const kw::JpegOutputSetting current = currentJpegOutput();
    if (current == m_jpegInitial)
        return {};
    return kw::SaveJpegOutputSetting(m_dataFolder, current);
}

kw::PreferenceTexts COutputSettingsPage::currentTexts() const
{
    kw::PreferenceTexts texts;
    if (m_originalFolder->isChecked() || m_anotherFolder->isChecked())
        texts.set(PreferenceElement::OutputFolderOpts,
                  kw::Code(m_originalFolder->isChecked() ? kw::OutputFolderOption::SourceFolder
                                                         : kw::OutputFolderOption::ChosenFolder));
    texts.set(PreferenceElement::OutputFolderPath, m_folder->text());
    if (m_keepName->isChecked() || m_rename->isChecked())
        texts.set(PreferenceElement::OutputFileNameOpts,
                  kw::Code(m_keepName->isChecked() ? kw::OutputNameOption::KeepName
                                                   : kw::OutputNameOption::AddSuffix));
    texts.set(PreferenceElement::OutputFileNameSuffix, m_suffix->text());
    if (m_format->currentIndex() >= 0)
        texts.set(PreferenceElement::OutputFormat, m_format->currentData().toInt());
    return texts;
}

bool COutputSettingsPage::save(QString *problem)
{
    if (m_saved)
        return true;
    m_saved = true;
    const kw::Status jpegSaved = saveJpegOutput();
    const auto jpegResult = [&] {
        if (!jpegSaved && problem)
            *problem = jpegSaved.error();
        return jpegSaved.ok();
    };

    kw::PreferenceTexts current = currentTexts();
    // A suffix that would put the outputs in another folder or break their
    // names is not stored; the one before stays.
    QString refusal;
    const std::optional<QString> suffix = current.text(PreferenceElement::OutputFileNameSuffix);
    if (suffix && suffix != m_initial.text(PreferenceElement::OutputFileNameSuffix)) {
        if (const kw::Status checked = kw::CheckOutputSuffix(*suffix); !checked) {
            refusal = u"The file name suffix was not changed: %1."_s.arg(checked.error());
            current.set(
                PreferenceElement::OutputFileNameSuffix,
                m_initial.text(PreferenceElement::OutputFileNameSuffix).value_or(QString()));
        }
    }
    QStringList changed; // elements whose value the user changed
    for (PreferenceElement element : kPageElements) {
        if (current.text(element) != m_initial.text(element))
            changed << kw::PreferenceElementName(element).toString();
    }
    const bool collisionChanged = m_collision->currentIndex() != m_initialCollision;
    const kw::OutputQuality quality = m_quality->changed(m_storedQuality);
    const bool qualityChanged = quality != m_storedQuality;
    if (!m_loaded) {
        if (changed.isEmpty() && !collisionChanged && !qualityChanged)
            return jpegResult();
        if (problem)
            *problem = m_loadError;
        return false;
    }

    kw::PreferenceTexts changes;
    QStringList missing;
    for (PreferenceElement element : kPageElements) {
        const auto &text = current.text(element);
        if (!text)
            continue;
        if (m_found.contains(element))
            changes.set(element, *text);
        else if (changed.contains(kw::PreferenceElementName(element).toString()))
            missing << kw::PreferenceElementName(element).toString();
    }
    const kw::Status written =
        changes.isEmpty() ? kw::Status() : kw::UpdatePreferences(m_dataFolder, changes);
    if (!written && !changed.isEmpty()) {
        if (problem)
            *problem = written.error();
        return false;
    }
    if (collisionChanged && m_collision->currentIndex() >= 0) {
        const kw::Status saved = kw::SaveCollisionPolicy(
            m_dataFolder, kw::OutputCollisionPolicy(m_collision->currentIndex()));
        if (!saved) {
            if (problem)
                *problem = saved.error();
            return false;
        }
    }
    if (qualityChanged) {
        if (const kw::Status saved = kw::SaveOutputQuality(m_dataFolder, quality); !saved) {
            if (problem)
                *problem = saved.error();
            return false;
        }
    }
    if (!missing.isEmpty()) {
        if (problem)
            *problem = u"preference.xml has no element for %1."_s.arg(missing.join(u", "_s));
        return false;
    }
    if (!refusal.isEmpty()) {
        if (problem)
            *problem = refusal;
        return false;
    }
    return jpegResult();
}

void COutputSettingsPage::OnBrowse()
{
    QString start = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (start.isEmpty())
        start = QDir::currentPath();
    const QString folder = m_prompts.pickFolder(this, u"Select a folder"_s, start);
    if (!folder.isEmpty())
        m_folder->setText(QDir::toNativeSeparators(folder));
}

CPreferencesDlg::CPreferencesDlg(const QString &dataFolder, kw::UserPrompts &prompts,
                                 QWidget *parent, kw::UpdateCheckSetup updateSetup)
    : QDialog(parent), m_prompts(prompts)
{
    setObjectName(u"preferencesDialog"_s);
    setWindowTitle(u"Preferences"_s);
    m_tabs = new PageFittingTabs(this);
    m_tabs->setObjectName(u"preferencesTabs"_s);
    m_general = new COutputSettingsPage(dataFolder, prompts);
    m_update = new CUpdatePage(prompts, std::move(updateSetup));
    m_about = new CAboutPage(prompts);
    m_tabs->addTab(m_general, u"General"_s);
    m_tabs->addTab(m_update, u"Update"_s);
    m_tabs->addTab(m_about, u"About and Support"_s);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(10, 10, 10, 10);
    layout->addWidget(m_tabs);
    // The dialog takes the size of the page shown, as the user cannot resize it.
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(m_tabs, &QTabWidget::currentChanged, this, &CPreferencesDlg::fitPage);
    m_tabs->setCurrentIndex(0);
    fitPage(0);
}

void CPreferencesDlg::fitPage(int)
{
    m_tabs->updateGeometry();
    layout()->activate();
}

void CPreferencesDlg::done(int result)
{
    QString problem;
    if (!m_general->save(&problem)) {
        m_prompts.message(this, u"Your output settings could not be saved.\n\n"_s + problem,
                          kw::MessageIcon::Warning);
    }
    QDialog::done(result);
}

} // namespace kw
