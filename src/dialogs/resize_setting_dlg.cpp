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

namespace kw {

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
    m_byLongEdge = new QRadioButton(u"Scale the Long Edge, Keeping the Proportions"_s, this);
    m_byLongEdge->setObjectName(u"scaleLongEdgeRadio"_s);
    auto *scaleGroup = new QButtonGroup(this);
    for (QRadioButton *radio : {m_byWidth, m_byHeight, m_absolute, m_byLongEdge})
        scaleGroup->addButton(radio);

    // Digits only, at most nine so every value stays a 32-bit number.
    auto *digits = new QRegularExpressionValidator(QRegularExpression(u"[0-9]{0,9}"_s), this);
    auto *widthLabel = new QLabel(u"Target Width: "_s, this);
    auto *heightLabel = new QLabel(u"Target Height: "_s, this);
    m_width = new QLineEdit(this);
    m_width->setObjectName(u"targetWidthEdit"_s);
    m_height = new QLineEdit(this);
    m_height->setObjectName(u"targetHeightEdit"_s);
    auto *longEdgeLabel = new QLabel(u"Long Edge: "_s, this);
    m_longEdge = new QLineEdit(this);
    m_longEdge->setObjectName(u"targetLongEdgeEdit"_s);
    longEdgeLabel->setBuddy(m_longEdge);
    auto *longEdgeUnit = new QLabel(u"pixel"_s, this);
    for (QLineEdit *edit : {m_width, m_height, m_longEdge}) {
        edit->setValidator(digits);
        edit->setMaximumWidth(QFontMetrics(font()).horizontalAdvance(u"0"_s) * 10 + 12);
    }
    widthLabel->setBuddy(m_width);
    heightLabel->setBuddy(m_height);
    auto *widthUnit = new QLabel(u"pixel"_s, this);
    auto *heightUnit = new QLabel(u"pixel"_s, this);

    m_neverEnlarge = new QCheckBox(u"Never enlarge pictures smaller than the target"_s, this);
    m_neverEnlarge->setObjectName(u"neverEnlargeCheck"_s);
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
    sizes->addWidget(longEdgeLabel, 2, 0);
    sizes->addWidget(m_longEdge, 2, 1);
    sizes->addWidget(longEdgeUnit, 2, 2);
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
    layout->addWidget(m_byLongEdge);
    layout->addSpacing(6);
    layout->addLayout(sizes);
    layout->addWidget(m_neverEnlarge);
    layout->addSpacing(6);
    layout->addWidget(m_justThisTime);
    layout->addWidget(m_everyTime);
    layout->addLayout(noteRow);
    // Wide enough for the longest line; the note wraps under it.
    setMinimumWidth(layout->sizeHint().width());
    note->setMinimumWidth(m_everyTime->sizeHint().width());

    // Each button enables the fields it reads.
    const auto enableFields = [this](bool width, bool height, bool longEdge) {
        m_width->setEnabled(width);
        m_height->setEnabled(height);
        m_longEdge->setEnabled(longEdge);
    };
    connect(m_byWidth, &QRadioButton::clicked, this,
            [enableFields] { enableFields(true, false, false); });
    connect(m_byHeight, &QRadioButton::clicked, this,
            [enableFields] { enableFields(false, true, false); });
    connect(m_absolute, &QRadioButton::clicked, this,
            [enableFields] { enableFields(true, true, false); });
    connect(m_byLongEdge, &QRadioButton::clicked, this,
            [enableFields] { enableFields(false, false, true); });

    kw::CResizeSetting setting;
    (void)kw::LoadResizeSetting(m_dataFolder, setting); // unreadable: the defaults
    m_storedScaleType = setting.scaleType;
    m_longEdge->setEnabled(false);
    m_longEdge->setText(QString::number(setting.targetLongEdge.value_or(kDefaultTargetLongEdge)));
    m_neverEnlarge->setChecked(setting.neverEnlarge);
    if (setting.targetLongEdge) {
        m_byLongEdge->setChecked(true);
        enableFields(false, false, true);
    } else {
        switch (setting.scaleType) {
        case kw::Code(kw::ScaleType::ToWidth):
            m_byWidth->setChecked(true);
            m_height->setEnabled(false);
            break;
        case kw::Code(kw::ScaleType::ToHeight):
            m_byHeight->setChecked(true);
            m_width->setEnabled(false);
            break;
        case kw::Code(kw::ScaleType::Exact):
            m_absolute->setChecked(true);
            break;
        default:
            break;
        }
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
    input.scaleType = kw::Code(m_byHeight->isChecked()   ? kw::ScaleType::ToHeight
                               : m_absolute->isChecked() ? kw::ScaleType::Exact
                                                         : kw::ScaleType::ToWidth);
    input.targetWidth = m_width->text();
    input.targetHeight = m_height->text();
    input.resizeEveryTime = m_everyTime->isChecked();
    input.toLongEdge = m_byLongEdge->isChecked();
    if (input.toLongEdge) {
        const bool known = m_storedScaleType >= kw::Code(kw::ScaleType::ToWidth) &&
                           m_storedScaleType <= kw::Code(kw::ScaleType::Exact);
        input.scaleType = known ? m_storedScaleType : kw::kDefaultScaleType;
        input.targetLongEdge = m_longEdge->text();
    }
    input.neverEnlarge = m_neverEnlarge->isChecked();
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

} // namespace kw
