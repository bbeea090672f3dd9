#include "editor/text_layer_page.h"

#include "controls/button_bar.h"
#include "controls/user_prompts.h"
#include "editor/color_swatch.h"
#include "editor/editor_fonts.h"
#include "editor/editor_session.h"
#include "editor/image_layer_page.h"
#include "editor/layer_commands.h"
#include "editor/number_box.h"
#include "i18n/string_table.h"
#include "model/layer_file.h"
#include "model/template_file.h"
#include "model/template_library.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>

#include <algorithm>
#include <limits>

using namespace Qt::StringLiterals;
using kw::ColorSwatch;
using kw::NumberBox;

namespace kw {

QMenu *CreateLayerMenu(QWidget *owner)
{
    auto *menu = new QMenu(owner);
    menu->setObjectName(u"layerMenu"_s);
    const auto add = [menu](const char *name, const QString &text, LayerCommand command) {
        QAction *action = menu->addAction(text);
        action->setObjectName(QString::fromLatin1(name));
        action->setData(int(command));
    };
    add("addLayerAction", u"Add New Layer"_s, LayerCommand::Add);
    menu->addSeparator();
    add("renameLayerAction", u"Rename This Layer"_s, LayerCommand::Rename);
    menu->addSeparator();
    add("removeLayerAction", u"Remove This Layer"_s, LayerCommand::Remove);
    return menu;
}

} // namespace kw

namespace {

// Sets a line edit's text without running its change handler.
void SetTextQuietly(QLineEdit *box, const QString &text)
{
    const QSignalBlocker blocker(box);
    box->setText(text);
}

void SetTextQuietly(NumberBox *box, const QString &text)
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

} // namespace

CTextLayerPage::CTextLayerPage(kw::EditorSession &session, QWidget *parent)
    : QWidget(parent), m_session(session), m_record(session.record()),
      m_commits([this] { CommitChange(); })
{
    setObjectName(u"textLayerPage"_s);
    kw::StylePage(this);
    buildControls();
}

void CTextLayerPage::buildControls()
{
    using kw::MakeLabel;
    using kw::MakeNumberBox;
    constexpr int kIndent = 14;

    auto *grid = new QGridLayout(this);
    grid->setContentsMargins(6, 8, 6, 8);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(3);
    int row = 0;
    const auto captions = [&](QLabel *left, QLabel *right) {
        grid->addWidget(left, row, 1);
        grid->addWidget(right, row, 3);
        ++row;
    };

    // Layer list and the layer button.
    grid->addWidget(kw::MakeLayersLabel(this, "layersLabel"), row, 0);
    m_layerList = new QComboBox(this);
    m_layerList->setObjectName(u"layerList"_s);
    grid->addWidget(m_layerList, row, 1, 1, 2);
    m_layerButton = kw::MakeLayerButton(this, "layerButton");
    grid->addWidget(m_layerButton, row, 3, Qt::AlignRight);
    ++row;
    grid->setRowMinimumHeight(row++, 6);

    grid->addWidget(MakeLabel(this, "textLabel", u"Text: "_s), row, 0);
    m_textBox = new QLineEdit(this);
    m_textBox->setObjectName(u"textBox"_s);
    m_textBox->setMaxLength(std::numeric_limits<int>::max()); // never cut a stored text
    grid->addWidget(m_textBox, row++, 1, 1, 3);

    grid->addWidget(MakeLabel(this, "fontLabel", u"Font: "_s), row, 0);
    m_fontBox = new QLineEdit(this);
    m_fontBox->setObjectName(u"fontBox"_s);
    m_fontBox->setReadOnly(true);
    m_fontBox->setFocusPolicy(Qt::NoFocus);
    QPalette grey = m_fontBox->palette();
    grey.setColor(QPalette::Text, QColor(128, 128, 128));
    m_fontBox->setPalette(grey);
    grid->addWidget(m_fontBox, row, 1, 1, 2);
    m_chooseFont = new QPushButton(u"Choose"_s, this);
    m_chooseFont->setObjectName(u"chooseFontButton"_s);
    m_chooseFont->setAutoDefault(false);
    grid->addWidget(m_chooseFont, row++, 3);

    grid->addWidget(MakeLabel(this, "locationLabel", u"Location: "_s), row, 0);
    QStringList locations;
    for (int code = 0; code < kw::kLocationCodeCount; ++code)
        locations << kw::ResourceString(kw::kStrLocationFirst + code);
    m_locationList = MakeList(this, "locationList", locations);
    grid->addWidget(m_locationList, row++, 1, 1, 3);

    grid->addWidget(MakeLabel(this, "offsetLabel", u"Offset: "_s), row, 0);
    m_offsetH = MakeNumberBox(this, "offsetHBox", &CWatermarkConf::OffsetH);
    m_offsetV = MakeNumberBox(this, "offsetVBox", &CWatermarkConf::OffsetV);
    grid->addWidget(m_offsetH, row, 1);
    grid->addWidget(m_offsetV, row++, 3);
    captions(MakeLabel(this, "offsetHLabel", u"Horizontal"_s),
             MakeLabel(this, "offsetVLabel", u"Vertical"_s));

    grid->addWidget(MakeLabel(this, "rotationLabel", u"Rotation: "_s), row, 0);
    m_rotation = MakeNumberBox(this, "rotationBox", &CWatermarkConf::Rotation);
    grid->addWidget(m_rotation, row++, 3);

    grid->addWidget(MakeLabel(this, "transparencyLabel", u"Transparency:"_s), row++, 0, 1, 4);
    m_transparency = new QSlider(Qt::Horizontal, this);
    m_transparency->setObjectName(u"transparencySlider"_s);
    const auto [alphaMin, alphaMax] = kw::EditorRange(&CWatermarkConf::Transparency);
    m_transparency->setRange(alphaMin, alphaMax);
    m_transparency->setTickPosition(QSlider::NoTicks);
    grid->addWidget(m_transparency, row++, 1, 1, 3);

    m_addShadow = MakeCheckBox(this, "addShadowCheck", u"Add Shadow"_s);
    grid->addWidget(m_addShadow, row++, 0, 1, 4);
    m_shadowH = MakeNumberBox(this, "shadowHBox", &CWatermarkConf::ShadowH);
    m_shadowV = MakeNumberBox(this, "shadowVBox", &CWatermarkConf::ShadowV);
    grid->addWidget(m_shadowH, row, 1);
    grid->addWidget(m_shadowV, row++, 3);
    captions(MakeLabel(this, "shadowHLabel", u"Horizontal"_s),
             MakeLabel(this, "shadowVLabel", u"Vertical"_s));
    m_shadowBlur = MakeNumberBox(this, "shadowBlurBox", &CWatermarkConf::ShadowBR);
    m_shadowAlpha = MakeNumberBox(this, "shadowAlphaBox", &CWatermarkConf::ShadowAlpha, true);
    grid->addWidget(m_shadowBlur, row, 1);
    grid->addWidget(m_shadowAlpha, row++, 3);
    captions(MakeLabel(this, "shadowBlurLabel", u"Blur radius"_s),
             MakeLabel(this, "shadowAlphaLabel", u"Alpha"_s));

    m_fillText = MakeCheckBox(this, "fillTextCheck", u"Fill Text"_s);
    grid->addWidget(m_fillText, row, 0, 1, 2);
    grid->addWidget(MakeLabel(this, "textColorLabel", u"Color: "_s), row, 2);
    m_textColor = MakeSwatch(this, "textColorSwatch", 37);
    grid->addWidget(m_textColor, row++, 3);

    m_drawEdge = MakeCheckBox(this, "drawEdgeCheck", u"Draw Edge"_s);
    grid->addWidget(m_drawEdge, row++, 0, 1, 4);
    grid->addWidget(MakeLabel(this, "edgeColorLabel", u"Color: "_s, kIndent), row, 0);
    m_edgeColor = MakeSwatch(this, "edgeColorSwatch", 31);
    grid->addWidget(m_edgeColor, row, 1);
    grid->addWidget(MakeLabel(this, "edgeAlphaLabel", u"Alpha:"_s), row, 2);
    m_edgeAlpha = MakeNumberBox(this, "edgeAlphaBox", &CWatermarkConf::EdgeAlpha, true);
    grid->addWidget(m_edgeAlpha, row++, 3);
    grid->addWidget(MakeLabel(this, "lineThicknessLabel", u"Line Thickness: "_s, kIndent), row, 0,
                    1, 2);
    QStringList thicknesses;
    const auto [thinnest, thickest] = kw::EditorRange(&CWatermarkConf::EdgeLineThickness);
    for (int width = thinnest; width <= thickest; ++width)
        thicknesses << QString::number(width);
    m_lineThickness = MakeList(this, "lineThicknessList", thicknesses);
    grid->addWidget(m_lineThickness, row++, 2, 1, 2);

    m_threeD = MakeCheckBox(this, "threeDTextCheck", u"3D Text"_s);
    grid->addWidget(m_threeD, row++, 0, 1, 4);
    grid->addWidget(MakeLabel(this, "threeDColorLabel", u"Color: "_s, kIndent), row, 0);
    m_threeDColor = MakeSwatch(this, "threeDColorSwatch", 31);
    grid->addWidget(m_threeDColor, row, 1);
    grid->addWidget(MakeLabel(this, "threeDOffsetLabel", u"Offset:"_s), row, 2);
    m_threeDOffset = MakeNumberBox(this, "threeDOffsetBox", &CWatermarkConf::TDTextOffset, true);
    grid->addWidget(m_threeDOffset, row++, 3);
    grid->addWidget(MakeLabel(this, "threeDPositionLabel", u"Position: "_s, kIndent), row, 0, 1, 2);
    QStringList positions;
    for (int code = 0; code < kw::kTDTextPosCodeCount; ++code)
        positions << kw::TDTextPosName(code);
    m_threeDPosition = MakeList(this, "threeDPositionList", positions);
    grid->addWidget(m_threeDPosition, row++, 2, 1, 2);

    m_gradient = MakeCheckBox(this, "gradientTextCheck", u"Gradient Text"_s);
    grid->addWidget(m_gradient, row++, 0, 1, 4);
    grid->addWidget(MakeLabel(this, "gradientBeginLabel", u"Begin: "_s, kIndent), row, 0);
    m_gradientBegin = MakeSwatch(this, "gradientBeginSwatch", 31);
    grid->addWidget(m_gradientBegin, row, 1);
    grid->addWidget(MakeLabel(this, "gradientEndLabel", u"End: "_s), row, 2);
    m_gradientEnd = MakeSwatch(this, "gradientEndSwatch", 31);
    grid->addWidget(m_gradientEnd, row++, 3);

    m_coverImage = MakeCheckBox(this, "coverImageCheck", u"Repeat to cover image"_s);
    grid->addWidget(m_coverImage, row, 0, 1, 3);
    QStringList methods;
    for (int code = 0; code < kw::kCoverImgMethodCodeCount; ++code)
        methods << kw::CoverImgMethodName(code);
    m_coverMethod = MakeList(this, "coverMethodList", methods);
    grid->addWidget(m_coverMethod, row++, 3);

    grid->setRowStretch(row, 1);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);

    m_layerMenu = kw::CreateLayerMenu(this);

    // Handlers.
    connect(m_layerList, &QComboBox::activated, this, &CTextLayerPage::SelectLayer);
    connect(m_layerButton, &kw::CButtonBar::commandClicked, this, &CTextLayerPage::onLayerButton);
    connect(m_layerMenu, &QMenu::triggered, this,
            [this](QAction *action) { OnLayerCommand(action->data().toInt()); });
    connect(m_textBox, &QLineEdit::textChanged, this, &CTextLayerPage::onTextChanged);
    connect(m_chooseFont, &QPushButton::clicked, this, &CTextLayerPage::onChooseFont);
    connect(m_locationList, &QComboBox::activated, this, &CTextLayerPage::onLocationChosen);
    for (auto [box, field] : {std::pair{m_offsetH, &CWatermarkConf::OffsetH},
                              std::pair{m_offsetV, &CWatermarkConf::OffsetV}}) {
        connect(box, &NumberBox::textChanged, this, [this, box, field] { onPlainBox(box, field); });
    }
    connect(m_rotation, &NumberBox::textChanged, this, &CTextLayerPage::onRotationBox);
    connect(m_transparency, &QSlider::valueChanged, this, &CTextLayerPage::onTransparency);
    for (auto [box, field] : {std::pair{m_addShadow, &CWatermarkConf::BAddShadow},
                              std::pair{m_fillText, &CWatermarkConf::BFillText},
                              std::pair{m_drawEdge, &CWatermarkConf::BDrawEdge},
                              std::pair{m_threeD, &CWatermarkConf::B3DText},
                              std::pair{m_gradient, &CWatermarkConf::BGradientText},
                              std::pair{m_coverImage, &CWatermarkConf::BCoverImage}}) {
        connect(box, &QCheckBox::clicked, this, [this, box, field] { onFlagClicked(box, field); });
    }
    for (auto [box, field] : {std::pair{m_shadowH, &CWatermarkConf::ShadowH},
                              std::pair{m_shadowV, &CWatermarkConf::ShadowV},
                              std::pair{m_shadowBlur, &CWatermarkConf::ShadowBR},
                              std::pair{m_shadowAlpha, &CWatermarkConf::ShadowAlpha},
                              std::pair{m_edgeAlpha, &CWatermarkConf::EdgeAlpha},
                              std::pair{m_threeDOffset, &CWatermarkConf::TDTextOffset}}) {
        connect(box, &NumberBox::textChanged, this,
                [this, box, field] { onClampedBox(box, field); });
        // A number left below the range while typing is shown clamped when
        // typing ends.
        connect(box, &NumberBox::editingFinished, this, [this, box, field] {
            if (box->value() != m_record.*field)
                box->setNumber(m_record.*field);
        });
    }
    connect(m_lineThickness, &QComboBox::activated, this, [this](int index) {
        m_record.EdgeLineThickness = index + 1;
        m_commits.request();
    });
    connect(m_threeDPosition, &QComboBox::activated, this, [this](int index) {
        m_record.TDTextPos = index;
        m_commits.request();
    });
    connect(m_coverMethod, &QComboBox::activated, this, [this](int index) {
        m_record.coverImgMethod = index;
        m_commits.request();
    });
    for (auto [swatch, field] : {std::pair{m_textColor, &CWatermarkConf::TextColor},
                                 std::pair{m_edgeColor, &CWatermarkConf::EdgeColor},
                                 std::pair{m_threeDColor, &CWatermarkConf::TDTextColor},
                                 std::pair{m_gradientBegin, &CWatermarkConf::GradientBeginColor},
                                 std::pair{m_gradientEnd, &CWatermarkConf::GradientEndColor}}) {
        connect(swatch, &ColorSwatch::clicked, this,
                [this, swatch, field] { onSwatchClicked(swatch, field); });
    }
}

void CTextLayerPage::SetUp()
{
    FillLayerList();
    bool loaded = true;
    if (layerCount() > 0) {
        CWatermarkConf layer;
        const kw::ModelResult result =
            kw::LoadLayerOverDefaults(m_session.templatesFolder(), currentLayerName(), layer);
        if (result)
            m_record = layer;
        else
            m_session.showStatus(
                u"The layer \"%1\" cannot be read: %2"_s.arg(currentLayerName(), result.reason));
        loaded = bool(result);
    }
    m_layerLoaded = loaded;
    ShowRecord(loaded);
}

void CTextLayerPage::FillLayerList()
{
    const QSignalBlocker blocker(m_layerList);
    m_layerList->clear();
    m_layerList->addItems(
        kw::ReadTemplateLayers(m_session.templatesFolder(), m_session.templateName()));
    m_layerList->setCurrentIndex(m_layerList->count() > 0 ? 0 : -1);
}

QString CTextLayerPage::currentLayerName() const
{
    return m_layerList->currentIndex() >= 0 ? m_layerList->currentText() : QString();
}

int CTextLayerPage::currentLayerIndex() const
{
    return m_layerList->currentIndex();
}

int CTextLayerPage::layerCount() const
{
    return m_layerList->count();
}

void CTextLayerPage::ShowRecord(bool save)
{
    // Each control is set quietly and its handler then runs once, so values
    // out of range are clamped and the boxes show what is stored; the record
    // is saved and drawn once at the end.
    kw::CommitBatcher::Scope batch(m_commits);
    if (save)
        m_commits.request();
    const kw::FlagScope showing(m_showing);
    const CWatermarkConf shown = m_record;

    SetTextQuietly(m_textBox, shown.textContent);
    m_fontBox->setText(shown.Font.faceName());
    m_locationList->setCurrentIndex(shown.Location);
    for (auto [box, value] :
         {std::pair{m_offsetH, shown.OffsetH}, std::pair{m_offsetV, shown.OffsetV}}) {
        SetTextQuietly(box, QString::number(value));
    }
    SetTextQuietly(m_rotation, QString::number(shown.Rotation));
    onRotationBox();
    {
        const QSignalBlocker blocker(m_transparency);
        m_transparency->setValue(shown.Transparency);
    }
    onTransparency();
    m_addShadow->setChecked(shown.BAddShadow != 0);
    for (auto [box, field] : {std::pair{m_shadowH, &CWatermarkConf::ShadowH},
                              std::pair{m_shadowV, &CWatermarkConf::ShadowV},
                              std::pair{m_shadowBlur, &CWatermarkConf::ShadowBR},
                              std::pair{m_shadowAlpha, &CWatermarkConf::ShadowAlpha},
                              std::pair{m_edgeAlpha, &CWatermarkConf::EdgeAlpha},
                              std::pair{m_threeDOffset, &CWatermarkConf::TDTextOffset}}) {
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

void CTextLayerPage::CommitChange()
{
    m_session.saveRecord(currentLayerName());
    m_session.redrawPreview();
}

void CTextLayerPage::SaveRecord()
{
    m_session.saveRecord(currentLayerName());
}

void CTextLayerPage::SelectLayer(int index)
{
    m_layerList->setCurrentIndex(index);
    bool loaded = true;
    const QString name = currentLayerName();
    if (!name.isEmpty()) {
        CWatermarkConf layer;
        const kw::ModelResult result =
            kw::LoadLayerOverDefaults(m_session.templatesFolder(), name, layer);
        if (result)
            m_record = layer;
        else
            m_session.showStatus(u"The layer \"%1\" cannot be read: %2"_s.arg(name, result.reason));
        loaded = bool(result);
    }
    m_layerLoaded = loaded;
    // A layer that cannot be read is shown with the values held before but
    // not saved over, so its file is left as it is until the user changes
    // something.
    ShowRecord(loaded);
    if (m_imagePage) {
        m_imagePage->FillLayerList(m_layerList->currentIndex());
        m_imagePage->ShowRecord(loaded);
    }
}

// ---------------------------------------------------------------- handlers

void CTextLayerPage::onTextChanged()
{
    m_record.textContent = m_textBox->text();
    if (!m_showing)
        m_commits.request();
}

void CTextLayerPage::onChooseFont()
{
    const std::optional<QFont> chosen =
        m_session.prompts().pickFont(this, kw::PickerFontFromLogFont(m_record.Font));
    if (!chosen)
        return;
    m_record.Font = kw::LogFontFromPickerFont(*chosen, m_record.Font);
    m_fontBox->setText(m_record.Font.faceName());
    m_commits.request();
}

void CTextLayerPage::onLocationChosen(int index)
{
    if (index == m_record.Location)
        return; // the same anchor keeps its offsets
    kw::CommitBatcher::Scope batch(m_commits);
    m_record.Location = index;
    m_record.OffsetH = 0;
    m_record.OffsetV = 0;
    m_offsetH->setNumber(0);
    m_offsetV->setNumber(0);
    m_commits.request();
}

void CTextLayerPage::onPlainBox(NumberBox *box, int32_t CWatermarkConf::*field)
{
    m_record.*field = box->value();
    if (!m_showing)
        m_commits.request();
}

void CTextLayerPage::onRotationBox()
{
    // A full turn is stored as no turn.
    const int32_t degrees = m_rotation->value();
    m_record.Rotation = degrees == 360 ? 0 : degrees;
    if (!m_showing)
        m_commits.request();
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
    if (!m_showing)
        m_commits.request();
}

void CTextLayerPage::onTransparency()
{
    m_record.Transparency = m_transparency->value();
    if (!m_showing)
        m_commits.request();
}

void CTextLayerPage::onFlagClicked(QCheckBox *box, int32_t CWatermarkConf::*field)
{
    m_record.*field = box->isChecked() ? 1 : 0;
    m_commits.request();
}

void CTextLayerPage::onSwatchClicked(ColorSwatch *swatch, kw::ColorRef CWatermarkConf::*field)
{
    const std::optional<QColor> chosen =
        m_session.prompts().pickColor(this, kw::ColorFromRef(m_record.*field));
    if (!chosen || !chosen->isValid())
        return;
    m_record.*field = kw::RefFromColor(*chosen);
    swatch->setColor(kw::ColorFromRef(m_record.*field));
    m_commits.request();
}

void CTextLayerPage::onLayerButton(int command)
{
    if (command != kw::kLayerButtonCommand)
        return;
    m_layerMenu->popup(m_layerButton->mapToGlobal(QPoint(0, m_layerButton->height())));
}

// ---------------------------------------------------------------- layer commands

void CTextLayerPage::OnLayerCommand(int command)
{
    switch (kw::LayerCommand(command)) {
    case kw::LayerCommand::Add:
        addLayer();
        break;
    case kw::LayerCommand::Rename:
        renameLayer();
        break;
    case kw::LayerCommand::Remove:
        removeLayer();
        break;
    }
}

namespace {

kw::MessageIcon IconFor(const kw::LibraryResult &result)
{
    return result.outcome == kw::LibraryResult::Outcome::Refused ? kw::MessageIcon::Warning
                                                                 : kw::MessageIcon::Critical;
}

} // namespace

void CTextLayerPage::addLayer()
{
    const QString folder = m_session.templatesFolder();
    kw::NameRequest request;
    request.caption = u"Add New Layer"_s;
    request.label = u"Input New Layer Name: "_s;
    request.check = [folder](const QString &name) { return kw::CheckNewLayerName(folder, name); };
    const std::optional<QString> name = m_session.prompts().askName(this, request);
    if (!name)
        return;
    const kw::LibraryResult result = kw::AddTemplateLayer(folder, m_session.templateName(), *name);
    if (!result.done()) {
        m_session.prompts().message(this, result.message, IconFor(result));
        return;
    }
    FillLayerList();
    SelectLayer(layerCount() - 1);
}

void CTextLayerPage::renameLayer()
{
    const int index = currentLayerIndex();
    if (index < 0)
        return;
    const QString folder = m_session.templatesFolder();
    const QString oldName = currentLayerName();
    kw::NameRequest request;
    request.caption = u"Rename This Layer"_s;
    request.label = u"Input New Layer Name: "_s;
    request.initialText = oldName;
    request.check = [folder, oldName](const QString &name) {
        return name == oldName ? QString() : kw::CheckNewLayerName(folder, name);
    };
    const std::optional<QString> name = m_session.prompts().askName(this, request);
    if (!name || *name == oldName)
        return;
    // The file about to move holds every change already; save once more so
    // nothing typed since is left behind.
    SaveRecord();
    const kw::LibraryResult result =
        kw::RenameTemplateLayer(folder, m_session.templateName(), index, *name);
    if (!result.done()) {
        m_session.prompts().message(this, result.message, IconFor(result));
        return;
    }
    FillLayerList();
    SelectLayer(index);
}

void CTextLayerPage::removeLayer()
{
    const int index = currentLayerIndex();
    if (index < 0)
        return;
    if (layerCount() == 1) {
        m_session.prompts().message(
            this, u"A template needs at least one layer, so its last layer cannot be removed."_s,
            kw::MessageIcon::Warning);
        return;
    }
    const QString name = currentLayerName();
    if (m_session.prompts().message(this, u"Do you want to remove the layer \"%1\"?"_s.arg(name),
                                    kw::MessageIcon::Question,
                                    kw::MessageButtons::YesNo) != kw::MessageAnswer::Yes)
        return;
    const kw::LibraryResult result =
        kw::RemoveTemplateLayer(m_session.templatesFolder(), m_session.templateName(), index);
    if (!result.done()) {
        m_session.prompts().message(this, result.message, IconFor(result));
        return;
    }
    if (!result.message.isEmpty())
        m_session.prompts().message(this, result.message, kw::MessageIcon::Information);
    FillLayerList();
    SelectLayer(std::min(index, layerCount() - 1));
}
