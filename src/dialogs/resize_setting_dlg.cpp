#include "dialogs/resize_setting_dlg.h"

#include "controls/user_prompts.h"
#include "settings/resize_setting.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

CResizeSettingDlg::CResizeSettingDlg(QString dataFolder, bool &resizeJustThisTime,
                                     kw::UserPrompts &prompts, QWidget *parent)
    : QDialog(parent), m_dataFolder(std::move(dataFolder)),
      m_resizeJustThisTime(resizeJustThisTime), m_prompts(prompts)
{
    setObjectName(u"resizeSettingDialog"_s);
    setWindowTitle(u"Image Resizing Setting"_s);

    m_byWidth = new QRadioButton(u"Scale Proportional to Width"_s, this);
    m_byWidth->setObjectName(u"scaleByWidthRadio"_s);
    m_byHeight = new QRadioButton(u"Scale Proportional to Height"_s, this);
    m_byHeight->setObjectName(u"scaleByHeightRadio"_s);
    m_absolute = new QRadioButton(u"Scale to Absolute Width and Height "_s, this);
    m_absolute->setObjectName(u"scaleAbsoluteRadio"_s);
    auto *scaleGroup = new QButtonGroup(this);
    for (QRadioButton *radio : {m_byWidth, m_byHeight, m_absolute})
        scaleGroup->addButton(radio);

    // Digits only, at most nine so every value stays a 32-bit number.
    auto *digits = new QRegularExpressionValidator(QRegularExpression(u"[0-9]{0,9}"_s), this);
    auto *widthLabel = new QLabel(u"Target Width: "_s, this);
    auto *heightLabel = new QLabel(u"Target Height: "_s, this);
    m_width = new QLineEdit(this);
    m_width->setObjectName(u"targetWidthEdit"_s);
    m_height = new QLineEdit(this);
    m_height->setObjectName(u"targetHeightEdit"_s);
    for (QLineEdit *edit : {m_width, m_height}) {
        edit->setValidator(digits);
        edit->setMaximumWidth(QFontMetrics(font()).horizontalAdvance(u"0"_s) * 10 + 12);
    }
    widthLabel->setBuddy(m_width);
    heightLabel->setBuddy(m_height);
    auto *widthUnit = new QLabel(u"pixel"_s, this);
    auto *heightUnit = new QLabel(u"pixel"_s, this);

    m_justThisTime = new QCheckBox(u"Resize pictures just for this time"_s, this);
    m_justThisTime->setObjectName(u"justThisTimeCheck"_s);
    m_everyTime =
        new QCheckBox(u"Resize pictures every time with this setting from now on"_s, this);
    m_everyTime->setObjectName(u"everyTimeCheck"_s);
    auto *note = new QLabel(u"note: if checked, when you use kelvane watermark to add "
                            u"watermarking next time, the target pictures will be resized "
                            u"automatically."_s,
                            this);
    note->setObjectName(u"resizeNote"_s);
    note->setWordWrap(true);
    QPalette blue = note->palette();
    blue.setColor(QPalette::WindowText, QColor(0, 0, 255));
    note->setPalette(blue);

    auto *sizes = new QGridLayout;
    sizes->setHorizontalSpacing(8);
    sizes->addWidget(widthLabel, 0, 0);
    sizes->addWidget(m_width, 0, 1);
    sizes->addWidget(widthUnit, 0, 2);
    sizes->addWidget(heightLabel, 1, 0);
    sizes->addWidget(m_height, 1, 1);
    sizes->addWidget(heightUnit, 1, 2);
    sizes->setColumnStretch(3, 1);
    auto *noteRow = new QHBoxLayout;
    noteRow->setContentsMargins(22, 0, 0, 0); // under the check box's text
    noteRow->addWidget(note);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(18, 16, 18, 18);
    layout->setSpacing(8);
    layout->addWidget(m_byWidth);
    layout->addWidget(m_byHeight);
    layout->addWidget(m_absolute);
    layout->addSpacing(6);
    layout->addLayout(sizes);
    layout->addSpacing(6);
    layout->addWidget(m_justThisTime);
    layout->addWidget(m_everyTime);
    layout->addLayout(noteRow);
    // Wide enough for the longest line; the note wraps under it.
    setMinimumWidth(layout->sizeHint().width());
    note->setMinimumWidth(m_everyTime->sizeHint().width());

    connect(m_byWidth, &QRadioButton::clicked, this, [this] {
        m_width->setEnabled(true);
        m_height->setEnabled(false);
    });
    connect(m_byHeight, &QRadioButton::clicked, this, [this] {
        m_width->setEnabled(false);
        m_height->setEnabled(true);
    });
    connect(m_absolute, &QRadioButton::clicked, this, [this] {
        m_width->setEnabled(true);
        m_height->setEnabled(true);
    });

    kw::CResizeSetting setting;
    (void)kw::LoadResizeSetting(m_dataFolder, setting); // unreadable: the defaults
    switch (setting.scaleType) {
    case 1:
        m_byWidth->setChecked(true);
        m_height->setEnabled(false);
        break;
    case 2:
        m_byHeight->setChecked(true);
        m_width->setEnabled(false);
        break;
    case 3:
        m_absolute->setChecked(true);
        break;
    default:
        break;
    }
    m_width->setText(QString::number(setting.targetWidth));
    m_height->setText(QString::number(setting.targetHeight));
    m_justThisTime->setChecked(m_resizeJustThisTime);
    m_everyTime->setChecked(setting.resizeEveryTime != 0);
}

CResizeSettingDlg::~CResizeSettingDlg()
{
    save(nullptr);
}

bool CResizeSettingDlg::save(QString *error)
{
    if (m_saved)
        return true;
    m_saved = true;
    kw::ResizeSettingInput input;
    input.scaleType = m_byHeight->isChecked() ? 2 : (m_absolute->isChecked() ? 3 : 1);
    input.targetWidth = m_width->text();
    input.targetHeight = m_height->text();
    input.resizeEveryTime = m_everyTime->isChecked();
    m_resizeJustThisTime = m_justThisTime->isChecked();
    const kw::Status saved = kw::SaveResizeSetting(m_dataFolder, input);
    if (!saved && error)
        *error = saved.error();
    return saved.ok();
}

void CResizeSettingDlg::done(int result)
{
    QString error;
    if (!save(&error)) {
        m_prompts.message(this, u"The resizing setting could not be saved.\n\n"_s + error,
                          kw::MessageIcon::Warning);
    }
    QDialog::done(result);
}
