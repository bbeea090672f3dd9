#include "editor/image_layer_page.h"

#include "controls/artwork.h"
#include "controls/button_bar.h"
#include "controls/edit_with_button.h"
#include "controls/user_prompts.h"
#include "editor/editor_session.h"
#include "editor/layer_list_box.h"
#include "editor/number_box.h"
#include "editor/text_layer_page.h"
#include "i18n/string_table.h"
#include "model/template_file.h"

#include <QComboBox>
#include <QGridLayout>
#include <QImageReader>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>

#include <limits>

using namespace Qt::StringLiterals;
using kw::NumberBox;

namespace kw {

const QString kImagePickerFilter =
    u"All Supported Files (*.jpg *.jpeg *.png *.bmp *.tif *.tiff *.gif);;"
    u"Joint Photographic Experts (*.jpg);;"
    u"Windows Bitmap Image (*.bmp);;"
    u"Portable Network Graphics (*.png);;"
    u"Tagged Image File Format (*.tif *.tiff)"_s;

} // namespace kw

namespace {

// The picture's size in pixels without decoding it where the format allows;
// an empty size when it cannot be read.
QSize PictureSize(const QString &path, QString *reason)
{
    QImageReader reader(path);
    reader.setAutoTransform(false);
    QSize size = reader.size();
    if (!size.isValid()) {
        const QImage picture = reader.read();
        size = picture.size();
        if (picture.isNull())
            *reason = reader.errorString();
    }
    return size.isValid() ? size : QSize(0, 0);
}

int32_t Twice(int value)
{
    return int32_t(std::min<int64_t>(2 * int64_t(value), std::numeric_limits<int32_t>::max()));
}

} // namespace

CImageLayerPage::CImageLayerPage(kw::EditorSession &session, QWidget *parent)
    : QWidget(parent), m_session(session), m_record(session.record()),
      m_commits([this] { CommitChange(); })
{
    setObjectName(u"imageLayerPage"_s);
    kw::StylePage(this);
    buildControls();
}

void CImageLayerPage::buildControls()
{
    using kw::MakeLabel;
    using kw::MakeNumberBox;

    auto *grid = new QGridLayout(this);
    grid->setContentsMargins(6, 8, 6, 8);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(3);
    int row = 0;

    grid->addWidget(kw::MakeLayersLabel(this, "imageLayersLabel"), row, 0);
    m_layerList = new kw::LayerListBox(this);
    m_layerList->setObjectName(u"imageLayerList"_s);
    grid->addWidget(m_layerList, row, 1, 1, 2);
    m_layerButton = kw::MakeLayerButton(this, "imageLayerButton");
    grid->addWidget(m_layerButton, row++, 3, Qt::AlignRight);
    grid->setRowMinimumHeight(row++, 6);

    grid->addWidget(MakeLabel(this, "imagePathLabel", u"Watermark Image Path: "_s), row++, 0, 1, 4);
    m_pathBox = new CEditWithButton(this);
    m_pathBox->setObjectName(u"imagePathBox"_s);
    m_pathBox->setReadOnly(true);
    QPalette grey = m_pathBox->palette();
    grey.setColor(QPalette::Text, QColor(128, 128, 128));
    m_pathBox->setPalette(grey);
    m_pathBox->SetBitmaps(kw::BuiltInImage(kw::kBmpPathBoxEmpty),
                          kw::BuiltInImage(kw::kBmpPathBoxFilled));
    m_pathBox->SetFormatRect(3, 2, 116, 23);
    m_pathBox->SetButtonRect(117, 5, 136, 23);
    grid->addWidget(m_pathBox, row, 0, 1, 3);
    m_browse = new QPushButton(u"Browse"_s, this);
    m_browse->setObjectName(u"browseButton"_s);
    m_browse->setAutoDefault(false);
    grid->addWidget(m_browse, row++, 3);
    grid->setRowMinimumHeight(row++, 6);

    grid->addWidget(MakeLabel(this, "imageLocationLabel", u"Location: "_s), row, 0);
    QStringList locations;
    for (int code = 0; code < kw::kLocationCodeCount; ++code)
        locations << kw::ResourceString(kw::kStrLocationFirst + code);
    m_locationList = new QComboBox(this);
    m_locationList->setObjectName(u"imageLocationList"_s);
    m_locationList->addItems(locations);
    grid->addWidget(m_locationList, row++, 1, 1, 3);

    grid->addWidget(MakeLabel(this, "imageOffsetLabel", u"Offset: "_s), row, 0);
    m_offsetH = MakeNumberBox(this, "imageOffsetHBox", &CWatermarkConf::ImageOffsetH);
    m_offsetV = MakeNumberBox(this, "imageOffsetVBox", &CWatermarkConf::ImageOffsetV);
    grid->addWidget(m_offsetH, row, 1);
    grid->addWidget(m_offsetV, row++, 3);
    grid->addWidget(MakeLabel(this, "imageOffsetHLabel", u"Horizontal"_s), row, 1);
    grid->addWidget(MakeLabel(this, "imageOffsetVLabel", u"Vertical"_s), row++, 3);

    grid->addWidget(MakeLabel(this, "imageRotationLabel", u"Rotation: "_s), row, 0);
    m_rotation = MakeNumberBox(this, "imageRotationBox", &CWatermarkConf::ImageRotation);
    grid->addWidget(m_rotation, row++, 3);

    grid->addWidget(MakeLabel(this, "imageTransparencyLabel", u"Transparency:"_s), row++, 0, 1, 4);
    m_transparency = new QSlider(Qt::Horizontal, this);
    m_transparency->setObjectName(u"imageTransparencySlider"_s);
    const auto [opacityMin, opacityMax] = kw::EditorRange(&CWatermarkConf::ImageTransparency);
    m_transparency->setRange(opacityMin, opacityMax);
    m_transparency->setTickPosition(QSlider::NoTicks);
    grid->addWidget(m_transparency, row++, 1, 1, 3);
    grid->setRowMinimumHeight(row++, 12);

    // The chosen picture's size; shown only after a picture is chosen.
    m_widthLabel = MakeLabel(this, "imageWidthLabel", u"Width:"_s);
    m_width = new NumberBox(this);
    m_width->setObjectName(u"imageWidthBox"_s);
    m_heightLabel = MakeLabel(this, "imageHeightLabel", u"Height:"_s);
    m_height = new NumberBox(this);
    m_height->setObjectName(u"imageHeightBox"_s);
    for (NumberBox *box : {m_width, m_height}) {
        box->setRange(1, 65535);
        box->setReadOnly(true);
    }
    // Hidden, they keep their room, so the page does not change size when a
    // picture is chosen.
    for (QWidget *widget :
         {static_cast<QWidget *>(m_widthLabel), static_cast<QWidget *>(m_width),
          static_cast<QWidget *>(m_heightLabel), static_cast<QWidget *>(m_height)}) {
        QSizePolicy policy = widget->sizePolicy();
        policy.setRetainSizeWhenHidden(true);
        widget->setSizePolicy(policy);
    }
    grid->addWidget(m_widthLabel, row, 0);
    grid->addWidget(m_width, row, 1);
    grid->addWidget(m_heightLabel, row, 2);
    grid->addWidget(m_height, row++, 3);
    setSizeBoxesVisible(false);

    grid->setRowStretch(row, 1);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);

    m_layerMenu = kw::CreateLayerMenu(this);
    m_layerMenu->setObjectName(u"imageLayerMenu"_s);

    connect(m_layerList, &QComboBox::activated, this, [this](int index) {
        if (m_textPage)
            m_textPage->SelectLayer(index);
    });
    connect(m_layerList, &kw::LayerListBox::popupAboutToShow, this, [this] {
        if (m_textPage)
            m_textPage->SaveRecord();
    });
    connect(m_layerButton, &kw::CButtonBar::commandClicked, this, &CImageLayerPage::onLayerButton);
    connect(m_layerMenu, &QMenu::triggered, this, [this](QAction *action) {
        if (m_textPage)
            m_textPage->OnLayerCommand(action->data().toInt());
    });
    connect(m_pathBox, &CEditWithButton::buttonClicked, this, &CImageLayerPage::onClearPath);
    connect(m_browse, &QPushButton::clicked, this, &CImageLayerPage::onBrowse);
    connect(m_locationList, &QComboBox::activated, this, &CImageLayerPage::onLocationChosen);
    for (auto [box, field] : {std::pair{m_offsetH, &CWatermarkConf::ImageOffsetH},
                              std::pair{m_offsetV, &CWatermarkConf::ImageOffsetV},
                              std::pair{m_rotation, &CWatermarkConf::ImageRotation}}) {
        connect(box, &NumberBox::textChanged, this, [this, box, field] { onPlainBox(box, field); });
    }
    connect(m_transparency, &QSlider::valueChanged, this, &CImageLayerPage::onTransparency);
}

void CImageLayerPage::SetUp()
{
    FillLayerList(0);
    ShowRecord(!m_textPage || m_textPage->layerLoaded());
}

void CImageLayerPage::FillLayerList(int index)
{
    const QSignalBlocker blocker(m_layerList);
    m_layerList->clear();
    m_layerList->addItems(
        kw::ReadTemplateLayers(m_session.templatesFolder(), m_session.templateName()));
    m_layerList->setCurrentIndex(index < m_layerList->count() ? index : -1);
}

QString CImageLayerPage::currentLayerName() const
{
    return m_layerList->currentIndex() >= 0 ? m_layerList->currentText() : QString();
}

void CImageLayerPage::ShowRecord(bool save)
{
    kw::CommitBatcher::Scope batch(m_commits);
    if (save)
        m_commits.request();
    const kw::FlagScope showing(m_showing);
    const CWatermarkConf shown = m_record;

    m_pathBox->setText(shown.ImagePathName);
    m_pathBox->setToolTip(shown.ImagePathName);
    m_locationList->setCurrentIndex(shown.ImageLocation);
    for (auto [box, field] : {std::pair{m_offsetH, &CWatermarkConf::ImageOffsetH},
                              std::pair{m_offsetV, &CWatermarkConf::ImageOffsetV},
                              std::pair{m_rotation, &CWatermarkConf::ImageRotation}}) {
        const QSignalBlocker blocker(box);
        box->setNumber(shown.*field);
    }
    {
        const QSignalBlocker blocker(m_transparency);
        m_transparency->setValue(shown.ImageTransparency);
    }
    onTransparency();
    m_width->setNumber(shown.ImageWidth);
    m_height->setNumber(shown.ImageHeight);
}

void CImageLayerPage::CommitChange()
{
    m_session.saveRecord(currentLayerName());
    m_session.redrawPreview();
}

// ---------------------------------------------------------------- handlers

void CImageLayerPage::onBrowse()
{
    kw::OpenFilesRequest request;
    request.caption = u"Open"_s;
    request.filter = kw::kImagePickerFilter;
    request.multiple = false;
    const QStringList chosen = m_session.prompts().openFiles(this, request);
    if (chosen.isEmpty())
        return;
    const QString path = chosen.first();
    m_record.ImagePathName = path;
    m_pathBox->setText(path);
    m_pathBox->setToolTip(path);
    QString reason;
    const QSize size = PictureSize(path, &reason);
    m_width->setNumber(size.width());
    m_height->setNumber(size.height());
    m_width->setRange(1, Twice(size.width()));
    m_height->setRange(1, Twice(size.height()));
    setSizeBoxesVisible(true);
    m_commits.request();
    if (size.isEmpty()) {
        m_session.prompts().message(
            this,
            u"The picture %1 cannot be read (%2). It is kept as the layer's picture, but nothing "
            u"is drawn for it."_s.arg(path, reason),
            kw::MessageIcon::Warning);
    }
}

void CImageLayerPage::onClearPath()
{
    m_pathBox->clear();
    m_pathBox->setToolTip(QString());
    m_record.ImagePathName.clear();
    setSizeBoxesVisible(false);
    m_commits.request();
}

void CImageLayerPage::onLocationChosen(int index)
{
    if (index == m_record.ImageLocation)
        return; // the same anchor keeps its offsets
    kw::CommitBatcher::Scope batch(m_commits);
    m_record.ImageLocation = index;
    m_record.ImageOffsetH = 0;
    m_record.ImageOffsetV = 0;
    m_offsetH->setNumber(0);
    m_offsetV->setNumber(0);
    m_commits.request();
}

void CImageLayerPage::onPlainBox(NumberBox *box, int32_t CWatermarkConf::*field)
{
    m_record.*field = box->value();
    if (!m_showing)
        m_commits.request();
}

void CImageLayerPage::onTransparency()
{
    m_record.ImageTransparency = m_transparency->value();
    if (!m_showing)
        m_commits.request();
}

void CImageLayerPage::onLayerButton(int command)
{
    if (command != kw::kLayerButtonCommand)
        return;
    m_layerMenu->popup(m_layerButton->mapToGlobal(QPoint(0, m_layerButton->height())));
}

void CImageLayerPage::setSizeBoxesVisible(bool visible)
{
    for (QWidget *widget :
         {static_cast<QWidget *>(m_widthLabel), static_cast<QWidget *>(m_width),
          static_cast<QWidget *>(m_heightLabel), static_cast<QWidget *>(m_height)}) {
        widget->setVisible(visible);
    }
}
