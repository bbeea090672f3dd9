#include "editor/text_layer_page.h"

#include "controls/user_prompts.h"
#include "editor/color_swatch.h"
#include "editor/editor_fonts.h"
#include "editor/editor_page_support.h"
#include "editor/editor_session.h"
#include "editor/number_box.h"
#include "editor/text_variables_help.h"
#include "render/font_mapping.h"
#include "render/relative_layout.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>

#include <limits>

using namespace Qt::StringLiterals;

namespace kw {
using kw::ColorSwatch;
using kw::MakeLabel;
using kw::MakeNumberBox;
using kw::NumberBox;

namespace {

constexpr int kIndent = 14;

// Sets a box's text without running its change handler.
template <typename Box>
void SetTextQuietly(Box *box, const QString &text)
{
    const QSignalBlocker blocker(box);
    box->setText(text);
}

QCheckBox *MakeCheckBox(QWidget *page, const char *objectName, const QString &text)
{
    auto *box = new QCheckBox(text, page);
    box->setObjectName(QString::fromLatin1(objectName));
    return box;
}

QComboBox *MakeList(QWidget *page, const char *objectName, const QStringList &entries)
{
    auto *list = new QComboBox(page);
    list->setObjectName(QString::fromLatin1(objectName));
    list->addItems(entries);
    return list;
}

ColorSwatch *MakeSwatch(QWidget *page, const char *objectName, int width)
{
    auto *swatch = new ColorSwatch(page);
    swatch->setObjectName(QString::fromLatin1(objectName));
    swatch->setFixedSize(width, 16);
    return swatch;
}

// Two captions under the boxes of columns 1 and 3.
void AddCaptions(QGridLayout *grid, int &row, QLabel *left, QLabel *right)
{
    grid->addWidget(left, row, 1);
    grid->addWidget(right, row++, 3);
}

} // namespace

CTextLayerPage::CTextLayerPage(kw::EditorSession &session, QWidget *parent)
    : LayerPage(session, "textLayerPage", parent)
{
    QGridLayout *grid = makeGrid();
    int row = 0;
    addLayerRow(grid, row, {"layersLabel", "layerList", "layerButton", "layerMenu"});
    addTextRows(grid, row);
    addPlacementRows(grid, row);
    addShadowRows(grid, row);
    addFillRow(grid, row);
    addEdgeRows(grid, row);
    addThreeDRows(grid, row);
    addGradientRows(grid, row);
    addCoverRow(grid, row);
    grid->setRowStretch(row, 1);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
}

// ---------------------------------------------------------------- builders

void CTextLayerPage::addTextRows(QGridLayout *grid, int &row)
{
    grid->addWidget(MakeLabel(this, "textLabel", u"Text: "_s), row, 0);
    m_textBox = new QLineEdit(this);
    m_textBox->setObjectName(u"textBox"_s);
    m_textBox->setMaxLength(std::numeric_limits<int>::max()); // never cut a stored text
    kw::AttachTextVariableHelp(m_textBox);
    grid->addWidget(m_textBox, row++, 1, 1, 3);

    grid->addWidget(MakeLabel(this, "fontLabel", u"Font: "_s), row, 0);
    m_fontBox = new QLineEdit(this);
    m_fontBox->setObjectName(u"fontBox"_s);
    m_fontBox->setReadOnly(true);
    m_fontBox->setFocusPolicy(Qt::NoFocus);
    kw::GreyText(m_fontBox);
    grid->addWidget(m_fontBox, row, 1, 1, 2);
    m_chooseFont = new QPushButton(u"Choose"_s, this);
    m_chooseFont->setObjectName(u"chooseFontButton"_s);
    m_chooseFont->setAutoDefault(false);
    grid->addWidget(m_chooseFont, row++, 3);

    connect(m_textBox, &QLineEdit::textChanged, this, &CTextLayerPage::onTextChanged);
    connect(m_chooseFont, &QPushButton::clicked, this, &CTextLayerPage::onChooseFont);
}

void CTextLayerPage::addPlacementRows(QGridLayout *grid, int &row)
{
    grid->addWidget(MakeLabel(this, "locationLabel", u"Location: "_s), row, 0);
    m_locationList = makeLocationList("locationList");
    grid->addWidget(m_locationList, row++, 1, 1, 3);

    grid->addWidget(MakeLabel(this, "offsetLabel", u"Offset: "_s), row, 0);
    m_offsetH = MakeNumberBox(this, "offsetHBox", &CWatermarkConf::OffsetH);
    m_offsetV = MakeNumberBox(this, "offsetVBox", &CWatermarkConf::OffsetV);
    grid->addWidget(m_offsetH, row, 1);
    grid->addWidget(m_offsetV, row, 3);
    // In their place while the text scales with the photo.
    m_offsetHShare = makeShareBox("offsetHShareBox", -100, 100);
    m_offsetVShare = makeShareBox("offsetVShareBox", -100, 100);
    grid->addWidget(m_offsetHShare, row, 1);
    grid->addWidget(m_offsetVShare, row++, 3);
    AddCaptions(grid, row, MakeLabel(this, "offsetHLabel", u"Horizontal"_s),
                MakeLabel(this, "offsetVLabel", u"Vertical"_s));

    grid->addWidget(MakeLabel(this, "rotationLabel", u"Rotation: "_s), row, 0);
    m_turnAboutAnchor = makeOptionCheck("turnAboutAnchorCheck", u"Turn about the anchor"_s,
                                        &CWatermarkConf::TurnAboutAnchor);
    m_turnAboutAnchor->setToolTip(
        u"Turn the text about its centre and keep it at its location: centred text stays "
        u"centred, text in a corner stays whole in its corner."_s);
    grid->addWidget(m_turnAboutAnchor, row, 1, 1, 2);
    m_rotation = MakeNumberBox(this, "rotationBox", &CWatermarkConf::Rotation);
    grid->addWidget(m_rotation, row++, 3);

    m_scaleWithPhoto = new QCheckBox(u"Scale with the photo"_s, this);
    m_scaleWithPhoto->setObjectName(u"scaleWithPhotoCheck"_s);
    m_scaleWithPhoto->setToolTip(
        u"Size the text as a share of each photo's shorter side, and its offsets as shares of "
        u"the photo's width and height, so it looks the same on every photo."_s);
    grid->addWidget(m_scaleWithPhoto, row, 0, 1, 3);
    m_sizeShare = makeShareBox("sizeShareBox", 0.01, kMaxRelativeSize / 100.0);
    m_sizeShare->setToolTip(u"Text height as a share of the photo's shorter side"_s);
    grid->addWidget(m_sizeShare, row++, 3);

    grid->addWidget(MakeLabel(this, "transparencyLabel", u"Transparency:"_s), row++, 0, 1, 4);
    m_transparency = kw::MakeSlider(this, "transparencySlider", &CWatermarkConf::Transparency);
    grid->addWidget(m_transparency, row++, 1, 1, 3);

    connect(m_locationList, &QComboBox::activated, this,
            [this](int index) { onLocationChosen(index, anchor()); });
    connect(m_offsetH, &NumberBox::textChanged, this,
            [this] { onNumberTyped(m_offsetH, &CWatermarkConf::OffsetH); });
    connect(m_offsetV, &NumberBox::textChanged, this,
            [this] { onNumberTyped(m_offsetV, &CWatermarkConf::OffsetV); });
    connect(m_rotation, &NumberBox::textChanged, this, &CTextLayerPage::onRotationBox);
    connect(m_scaleWithPhoto, &QCheckBox::clicked, this, &CTextLayerPage::onScaleWithPhoto);
    connectShareBox(m_sizeShare, &CWatermarkConf::RelativeSize, 1, kMaxRelativeSize);
    connectShareBox(m_offsetHShare, &CWatermarkConf::RelativeOffsetH, -kMaxRelativeOffset,
                    kMaxRelativeOffset);
    connectShareBox(m_offsetVShare, &CWatermarkConf::RelativeOffsetV, -kMaxRelativeOffset,
                    kMaxRelativeOffset);
    connect(m_transparency, &QSlider::valueChanged, this,
            [this] { onSliderMoved(m_transparency, &CWatermarkConf::Transparency); });
}

void CTextLayerPage::addShadowRows(QGridLayout *grid, int &row)
{
    m_addShadow = MakeCheckBox(this, "addShadowCheck", u"Add Shadow"_s);
    grid->addWidget(m_addShadow, row++, 0, 1, 4);
    m_shadowH = MakeNumberBox(this, "shadowHBox", &CWatermarkConf::ShadowH);
    m_shadowV = MakeNumberBox(this, "shadowVBox", &CWatermarkConf::ShadowV);
    grid->addWidget(m_shadowH, row, 1);
    grid->addWidget(m_shadowV, row++, 3);
    AddCaptions(grid, row, MakeLabel(this, "shadowHLabel", u"Horizontal"_s),
                MakeLabel(this, "shadowVLabel", u"Vertical"_s));
    m_shadowBlur = MakeNumberBox(this, "shadowBlurBox", &CWatermarkConf::ShadowBR);
    m_shadowAlpha = MakeNumberBox(this, "shadowAlphaBox", &CWatermarkConf::ShadowAlpha, true);
    grid->addWidget(m_shadowBlur, row, 1);
    grid->addWidget(m_shadowAlpha, row++, 3);
    AddCaptions(grid, row, MakeLabel(this, "shadowBlurLabel", u"Blur radius"_s),
                MakeLabel(this, "shadowAlphaLabel", u"Alpha"_s));

    connectFlag(m_addShadow, &CWatermarkConf::BAddShadow);
    connectClamped(m_shadowH, &CWatermarkConf::ShadowH);
    connectClamped(m_shadowV, &CWatermarkConf::ShadowV);
    connectClamped(m_shadowBlur, &CWatermarkConf::ShadowBR);
    connectClamped(m_shadowAlpha, &CWatermarkConf::ShadowAlpha);
}

void CTextLayerPage::addFillRow(QGridLayout *grid, int &row)
{
    m_fillText = MakeCheckBox(this, "fillTextCheck", u"Fill Text"_s);
    grid->addWidget(m_fillText, row, 0, 1, 2);
    grid->addWidget(MakeLabel(this, "textColorLabel", u"Color: "_s), row, 2);
    m_textColor = MakeSwatch(this, "textColorSwatch", 37);
    grid->addWidget(m_textColor, row++, 3);

    connectFlag(m_fillText, &CWatermarkConf::BFillText);
    connectSwatch(m_textColor, &CWatermarkConf::TextColor);
}

CTextLayerPage::EffectRows CTextLayerPage::addEffectRows(QGridLayout *grid, int &row,
                                                         const EffectRowsPlan &plan)
{
    EffectRows rows;
    rows.check = MakeCheckBox(this, plan.checkName, plan.checkText);
    grid->addWidget(rows.check, row++, 0, 1, 4);
    grid->addWidget(MakeLabel(this, plan.colorLabelName, u"Color: "_s, kIndent), row, 0);
    rows.color = MakeSwatch(this, plan.colorName, 31);
    grid->addWidget(rows.color, row, 1);
    grid->addWidget(MakeLabel(this, plan.numberLabelName, plan.numberLabel), row, 2);
    rows.number = MakeNumberBox(this, plan.numberName, plan.number, true);
    grid->addWidget(rows.number, row++, 3);
    grid->addWidget(MakeLabel(this, plan.listLabelName, plan.listLabel, kIndent), row, 0, 1, 2);
    rows.list = MakeList(this, plan.listName, plan.entries);
    grid->addWidget(rows.list, row++, 2, 1, 2);

    connectFlag(rows.check, plan.flag);
    connectSwatch(rows.color, plan.color);
    connectClamped(rows.number, plan.number);
    connectList(rows.list, plan.listField, plan.listOffset);
    return rows;
}

void CTextLayerPage::addEdgeRows(QGridLayout *grid, int &row)
{
    QStringList thicknesses;
    const auto [thinnest, thickest] = kw::EditorRange(&CWatermarkConf::EdgeLineThickness);
    for (int width = thinnest; width <= thickest; ++width)
        thicknesses << QString::number(width);
    const EffectRows edge = addEffectRows(
        grid, row,
        {"drawEdgeCheck", u"Draw Edge"_s, &CWatermarkConf::BDrawEdge, "edgeColorLabel",
         "edgeColorSwatch", &CWatermarkConf::EdgeColor, "edgeAlphaLabel", u"Alpha:"_s,
         "edgeAlphaBox", &CWatermarkConf::EdgeAlpha, "lineThicknessLabel", u"Line Thickness: "_s,
         "lineThicknessList", thicknesses, &CWatermarkConf::EdgeLineThickness, thinnest});
    m_drawEdge = edge.check;
    m_edgeColor = edge.color;
    m_edgeAlpha = edge.number;
    m_lineThickness = edge.list;
}

void CTextLayerPage::addThreeDRows(QGridLayout *grid, int &row)
{
    QStringList positions;
    for (int code = 0; code < kw::kTDTextPosCodeCount; ++code)
        positions << kw::TDTextPosName(kw::TDTextPosCode(code));
    const EffectRows threeD = addEffectRows(
        grid, row,
        {"threeDTextCheck", u"3D Text"_s, &CWatermarkConf::B3DText, "threeDColorLabel",
         "threeDColorSwatch", &CWatermarkConf::TDTextColor, "threeDOffsetLabel", u"Offset:"_s,
         "threeDOffsetBox", &CWatermarkConf::TDTextOffset, "threeDPositionLabel", u"Position: "_s,
         "threeDPositionList", positions, &CWatermarkConf::TDTextPos, 0});
    m_threeD = threeD.check;
    m_threeDColor = threeD.color;
    m_threeDOffset = threeD.number;
    m_threeDPosition = threeD.list;
}

void CTextLayerPage::addGradientRows(QGridLayout *grid, int &row)
{
    m_gradient = MakeCheckBox(this, "gradientTextCheck", u"Gradient Text"_s);
    grid->addWidget(m_gradient, row++, 0, 1, 4);
    grid->addWidget(MakeLabel(this, "gradientBeginLabel", u"Begin: "_s, kIndent), row, 0);
    m_gradientBegin = MakeSwatch(this, "gradientBeginSwatch", 31);
    grid->addWidget(m_gradientBegin, row, 1);
    grid->addWidget(MakeLabel(this, "gradientEndLabel", u"End: "_s), row, 2);
    m_gradientEnd = MakeSwatch(this, "gradientEndSwatch", 31);
    grid->addWidget(m_gradientEnd, row++, 3);

    connectFlag(m_gradient, &CWatermarkConf::BGradientText);
    connectSwatch(m_gradientBegin, &CWatermarkConf::GradientBeginColor);
    connectSwatch(m_gradientEnd, &CWatermarkConf::GradientEndColor);
}

void CTextLayerPage::addCoverRow(QGridLayout *grid, int &row)
{
    m_coverImage = MakeCheckBox(this, "coverImageCheck", u"Repeat to cover image"_s);
    grid->addWidget(m_coverImage, row, 0, 1, 3);
    QStringList methods;
    for (int code = 0; code < kw::kCoverImgMethodCodeCount; ++code)
        methods << kw::CoverImgMethodName(kw::CoverImgMethodCode(code));
    m_coverMethod = MakeList(this, "coverMethodList", methods);
    grid->addWidget(m_coverMethod, row++, 3);

    connectFlag(m_coverImage, &CWatermarkConf::BCoverImage);
    connectList(m_coverMethod, &CWatermarkConf::coverImgMethod);
}

// ---------------------------------------------------------------- connections

void CTextLayerPage::connectFlag(QCheckBox *box, int32_t CWatermarkConf::*field)
{
    connect(box, &QCheckBox::clicked, this, [this, box, field] {
        m_record.*field = box->isChecked() ? 1 : 0;
        m_session.requestCommit();
    });
}

void CTextLayerPage::connectClamped(NumberBox *box, int32_t CWatermarkConf::*field)
{
    connect(box, &NumberBox::textChanged, this, [this, box, field] { onClampedBox(box, field); });
    // A number left below the range while typing is shown clamped when
    // typing ends.
    connect(box, &NumberBox::editingFinished, this, [this, box, field] {
        if (box->value() != m_record.*field)
            box->setNumber(m_record.*field);
    });
}

void CTextLayerPage::connectSwatch(ColorSwatch *swatch, kw::ColorRef CWatermarkConf::*field)
{
    connect(swatch, &ColorSwatch::clicked, this,
            [this, swatch, field] { onSwatchClicked(swatch, field); });
}

void CTextLayerPage::connectList(QComboBox *list, int32_t CWatermarkConf::*field, int offset)
{
    connect(list, &QComboBox::activated, this, [this, field, offset](int index) {
        m_record.*field = index + offset;
        m_session.requestCommit();
    });
}

kw::Anchor CTextLayerPage::anchor() const
{
    return {&CWatermarkConf::Location,
            &CWatermarkConf::OffsetH,
            &CWatermarkConf::OffsetV,
            m_offsetH,
            m_offsetV,
            &CWatermarkConf::RelativeOffsetH,
            &CWatermarkConf::RelativeOffsetV,
            m_offsetHShare,
            m_offsetVShare};
}

// ---------------------------------------------------------------- showing

void CTextLayerPage::showRecord()
{
    // Each control is set quietly and its handler then runs once, so values
    // out of range are clamped and the boxes show what is stored.
    const CWatermarkConf shown = m_record;

    SetTextQuietly(m_textBox, shown.textContent);
    m_fontBox->setText(shown.Font.faceName());
    m_locationList->setCurrentIndex(shown.Location);
    SetTextQuietly(m_offsetH, QString::number(shown.OffsetH));
    SetTextQuietly(m_offsetV, QString::number(shown.OffsetV));
    SetTextQuietly(m_rotation, QString::number(shown.Rotation));
    onRotationBox();
    m_turnAboutAnchor->setChecked(shown.TurnAboutAnchor != 0);
    showScale();
    {
        const QSignalBlocker blocker(m_transparency);
        m_transparency->setValue(shown.Transparency);
    }
    onSliderMoved(m_transparency, &CWatermarkConf::Transparency);
    m_addShadow->setChecked(shown.BAddShadow != 0);
    const std::pair<NumberBox *, int32_t CWatermarkConf::*> clamped[] = {
        {m_shadowH, &CWatermarkConf::ShadowH},     {m_shadowV, &CWatermarkConf::ShadowV},
        {m_shadowBlur, &CWatermarkConf::ShadowBR}, {m_shadowAlpha, &CWatermarkConf::ShadowAlpha},
        {m_edgeAlpha, &CWatermarkConf::EdgeAlpha}, {m_threeDOffset, &CWatermarkConf::TDTextOffset},
    };
    for (const auto &[box, field] : clamped) {
        SetTextQuietly(box, QString::number(shown.*field));
        onClampedBox(box, field);
    }
    m_fillText->setChecked(shown.BFillText != 0);
    m_textColor->setColor(kw::ColorFromRef(shown.TextColor));
    m_drawEdge->setChecked(shown.BDrawEdge != 0);
    m_edgeColor->setColor(kw::ColorFromRef(shown.EdgeColor));
    // The entry for the stored thickness; none when no entry matches.
    m_lineThickness->setCurrentIndex(
        m_lineThickness->findText(QString::number(shown.EdgeLineThickness)));
    m_threeD->setChecked(shown.B3DText != 0);
    m_threeDColor->setColor(kw::ColorFromRef(shown.TDTextColor));
    m_threeDPosition->setCurrentIndex(shown.TDTextPos);
    m_gradient->setChecked(shown.BGradientText != 0);
    m_gradientBegin->setColor(kw::ColorFromRef(shown.GradientBeginColor));
    m_gradientEnd->setColor(kw::ColorFromRef(shown.GradientEndColor));
    m_coverImage->setChecked(shown.BCoverImage != 0);
    m_coverMethod->setCurrentIndex(shown.coverImgMethod);
}

// ---------------------------------------------------------------- handlers

void CTextLayerPage::onTextChanged()
{
    m_record.textContent = m_textBox->text();
    commitUnlessShowing();
}

void CTextLayerPage::onChooseFont()
{
    const std::optional<QFont> chosen =
        m_session.prompts().pickFont(this, kw::PickerFontFromLogFont(m_record.Font));
    if (!chosen)
        return;
    m_record.Font = kw::LogFontFromPickerFont(*chosen, m_record.Font);
    m_fontBox->setText(m_record.Font.faceName());
    if (m_record.RelativeSize > 0) {
        // The chosen size is the size on the sample photo.
        m_record.RelativeSize =
            HundredthsOfPercent(FontFromLogFont(m_record.Font).pixelSize(),
                                std::min(PreviewFrame::kSize.width(), PreviewFrame::kSize.height()),
                                1, kMaxRelativeSize);
        showShare(m_sizeShare, m_record.RelativeSize);
    }
    m_session.requestCommit();
}

void CTextLayerPage::onScaleWithPhoto(bool on)
{
    // Derived on the sample photo, so the preview does not move.
    if (on)
        MakeTextRelative(m_record, PreviewFrame::kSize);
    else
        MakeTextPixels(m_record, PreviewFrame::kSize);
    showScale();
    m_session.requestCommit();
}

void CTextLayerPage::showScale()
{
    const bool relative = m_record.RelativeSize > 0;
    m_scaleWithPhoto->setChecked(relative);
    showShare(m_sizeShare, relative ? m_record.RelativeSize : 0);
    m_sizeShare->setEnabled(relative);
    showOffsets(anchor(), relative);
}

void CTextLayerPage::onRotationBox()
{
    // A full turn is stored as no turn.
    const int32_t degrees = m_rotation->value();
    m_record.Rotation = degrees == 360 ? 0 : degrees;
    commitUnlessShowing();
}

void CTextLayerPage::onClampedBox(NumberBox *box, int32_t CWatermarkConf::*field)
{
    const kw::ClampedEntry entry =
        kw::ClampEntry(box->value(), box->minimum(), box->maximum(), m_showing);
    m_record.*field = entry.stored;
    if (entry.replaceText) {
        box->setNumber(entry.stored); // runs this handler again, which commits
        return;
    }
    commitUnlessShowing();
}

void CTextLayerPage::onSwatchClicked(ColorSwatch *swatch, kw::ColorRef CWatermarkConf::*field)
{
    const std::optional<QColor> chosen =
        m_session.prompts().pickColor(this, kw::ColorFromRef(m_record.*field));
    if (!chosen || !chosen->isValid())
        return;
    m_record.*field = kw::RefFromColor(*chosen);
    swatch->setColor(kw::ColorFromRef(m_record.*field));
    m_session.requestCommit();
}

} // namespace kw
