#include "editor/image_layer_page.h"

#include "controls/artwork.h"
#include "controls/edit_with_button.h"
#include "controls/user_prompts.h"
#include "editor/editor_page_support.h"
#include "editor/editor_session.h"
#include "editor/layer_list_box.h"
#include "editor/number_box.h"
#include "render/loaded_template.h"
#include "render/relative_layout.h"
#include "render/watermark_renderer.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QImageReader>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>

#include <algorithm>
#include <limits>

using namespace Qt::StringLiterals;

namespace kw {
using kw::MakeLabel;
using kw::MakeNumberBox;
using kw::NumberBox;

const QString kImagePickerFilter =
    u"All Supported Files (*.jpg *.jpeg *.png *.bmp *.tif *.tiff *.gif *.svg);;"
    u"Joint Photographic Experts (*.jpg);;"
    u"Windows Bitmap Image (*.bmp);;"
    u"Portable Network Graphics (*.png);;"
    u"Tagged Image File Format (*.tif *.tiff);;"
    u"Scalable Vector Graphics (*.svg)"_s;

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

} // namespace

CImageLayerPage::CImageLayerPage(kw::EditorSession &session, QWidget *parent)
    : LayerPage(session, "imageLayerPage", parent)
{
    QGridLayout *grid = makeGrid();
    int row = 0;
    addLayerRow(grid, row,
                {"imageLayersLabel", "imageLayerList", "imageLayerButton", "imageLayerMenu"});
    // Opening this page's list saves the layer first.
    connect(m_layerList, &kw::LayerListBox::popupAboutToShow, this,
            [this] { m_session.saveRecord(); });
    addPictureRows(grid, row);
    addPlacementRows(grid, row);
    addSizeRow(grid, row);
    grid->setRowStretch(row, 1);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
}

// ---------------------------------------------------------------- builders

void CImageLayerPage::addPictureRows(QGridLayout *grid, int &row)
{
    grid->addWidget(MakeLabel(this, "imagePathLabel", u"Watermark Image Path: "_s), row++, 0, 1, 4);
    m_pathBox = new CEditWithButton(this);
    m_pathBox->setObjectName(u"imagePathBox"_s);
    m_pathBox->setReadOnly(true);
    kw::GreyText(m_pathBox);
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

    connect(m_pathBox, &CEditWithButton::buttonClicked, this, &CImageLayerPage::onClearPath);
    connect(m_browse, &QPushButton::clicked, this, &CImageLayerPage::onBrowse);
}

void CImageLayerPage::addPlacementRows(QGridLayout *grid, int &row)
{
    grid->addWidget(MakeLabel(this, "imageLocationLabel", u"Location: "_s), row, 0);
    m_locationList = makeLocationList("imageLocationList");
    grid->addWidget(m_locationList, row++, 1, 1, 3);

    grid->addWidget(MakeLabel(this, "imageOffsetLabel", u"Offset: "_s), row, 0);
    m_offsetH = MakeNumberBox(this, "imageOffsetHBox", &CWatermarkConf::ImageOffsetH);
    m_offsetV = MakeNumberBox(this, "imageOffsetVBox", &CWatermarkConf::ImageOffsetV);
    grid->addWidget(m_offsetH, row, 1);
    grid->addWidget(m_offsetV, row, 3);
    // In their place while the picture scales with the photo.
    m_offsetHShare = makeShareBox("imageOffsetHShareBox", -100, 100);
    m_offsetVShare = makeShareBox("imageOffsetVShareBox", -100, 100);
    grid->addWidget(m_offsetHShare, row, 1);
    grid->addWidget(m_offsetVShare, row++, 3);
    grid->addWidget(MakeLabel(this, "imageOffsetHLabel", u"Horizontal"_s), row, 1);
    grid->addWidget(MakeLabel(this, "imageOffsetVLabel", u"Vertical"_s), row++, 3);

    grid->addWidget(MakeLabel(this, "imageRotationLabel", u"Rotation: "_s), row, 0);
    m_turnAboutAnchor = makeOptionCheck("imageTurnAboutAnchorCheck", u"Turn about the anchor"_s,
                                        &CWatermarkConf::ImageTurnAboutAnchor);
    m_turnAboutAnchor->setToolTip(
        u"Turn the picture about its centre and keep it at its location: a centred picture "
        u"stays centred, one in a corner stays whole in its corner."_s);
    grid->addWidget(m_turnAboutAnchor, row, 1, 1, 2);
    m_rotation = MakeNumberBox(this, "imageRotationBox", &CWatermarkConf::ImageRotation);
    grid->addWidget(m_rotation, row++, 3);

    grid->addWidget(MakeLabel(this, "imageTransparencyLabel", u"Transparency:"_s), row++, 0, 1, 4);
    m_transparency =
        kw::MakeSlider(this, "imageTransparencySlider", &CWatermarkConf::ImageTransparency);
    grid->addWidget(m_transparency, row++, 1, 1, 3);
    grid->setRowMinimumHeight(row++, 12);

    connect(m_locationList, &QComboBox::activated, this,
            [this](int index) { onLocationChosen(index, anchor()); });
    connect(m_offsetH, &NumberBox::textChanged, this,
            [this] { onNumberTyped(m_offsetH, &CWatermarkConf::ImageOffsetH); });
    connect(m_offsetV, &NumberBox::textChanged, this,
            [this] { onNumberTyped(m_offsetV, &CWatermarkConf::ImageOffsetV); });
    connect(m_rotation, &NumberBox::textChanged, this,
            [this] { onNumberTyped(m_rotation, &CWatermarkConf::ImageRotation); });
    connectShareBox(m_offsetHShare, &CWatermarkConf::ImageRelativeOffsetH, -kMaxRelativeOffset,
                    kMaxRelativeOffset);
    connectShareBox(m_offsetVShare, &CWatermarkConf::ImageRelativeOffsetV, -kMaxRelativeOffset,
                    kMaxRelativeOffset);
    connect(m_transparency, &QSlider::valueChanged, this,
            [this] { onSliderMoved(m_transparency, &CWatermarkConf::ImageTransparency); });
}

void CImageLayerPage::addSizeRow(QGridLayout *grid, int &row)
{
    // The size the picture is drawn at; shown only on a layer with a picture.
    m_widthLabel = MakeLabel(this, "imageWidthLabel", u"Width:"_s);
    m_width = new NumberBox(this);
    m_width->setObjectName(u"imageWidthBox"_s);
    m_heightLabel = MakeLabel(this, "imageHeightLabel", u"Height:"_s);
    m_height = new NumberBox(this);
    m_height->setObjectName(u"imageHeightBox"_s);
    for (NumberBox *box : {m_width, m_height})
        box->setRange(0, kMaxDrawnPictureSide);
    m_width->setToolTip(u"Drawn width in pixels; 0 keeps the picture's own size or "
                        u"proportions"_s);
    m_height->setToolTip(u"Drawn height in pixels; 0 keeps the picture's own size or "
                         u"proportions"_s);
    m_widthShare = makeShareBox("imageWidthShareBox", 0.01, kMaxRelativeSize / 100.0);
    m_widthShare->setToolTip(u"Drawn width as a share of the photo's shorter side"_s);
    m_heightShare = makeShareBox("imageHeightShareBox", 0, kMaxRelativeSize / 100.0);
    m_heightShare->setToolTip(
        u"Drawn height as a share of the photo's shorter side; 0 keeps the proportions"_s);
    m_scaleWithPhoto = new QCheckBox(u"Scale with the photo"_s, this);
    m_scaleWithPhoto->setObjectName(u"imageScaleWithPhotoCheck"_s);
    m_scaleWithPhoto->setToolTip(
        u"Size the picture as a share of each photo's shorter side, and its offsets as shares "
        u"of the photo's width and height, so it looks the same on every photo."_s);
    // Hidden, they keep their room, so the page does not change size when a
    // picture is chosen.
    for (QWidget *widget : {static_cast<QWidget *>(m_widthLabel), static_cast<QWidget *>(m_width),
                            static_cast<QWidget *>(m_heightLabel), static_cast<QWidget *>(m_height),
                            static_cast<QWidget *>(m_scaleWithPhoto)}) {
        QSizePolicy policy = widget->sizePolicy();
        policy.setRetainSizeWhenHidden(true);
        widget->setSizePolicy(policy);
    }
    grid->addWidget(m_widthLabel, row, 0);
    grid->addWidget(m_width, row, 1);
    grid->addWidget(m_widthShare, row, 1);
    grid->addWidget(m_heightLabel, row, 2);
    grid->addWidget(m_height, row, 3);
    grid->addWidget(m_heightShare, row++, 3);
    grid->addWidget(m_scaleWithPhoto, row++, 0, 1, 4);

    const auto storeSize = [this](NumberBox *box, int32_t CWatermarkConf::*field) {
        m_record.*field = std::clamp(box->value(), 0, kMaxDrawnPictureSide);
        commitUnlessShowing();
    };
    connect(m_width, &NumberBox::textChanged, this,
            [this, storeSize] { storeSize(m_width, &CWatermarkConf::ImageDrawWidth); });
    connect(m_height, &NumberBox::textChanged, this,
            [this, storeSize] { storeSize(m_height, &CWatermarkConf::ImageDrawHeight); });
    connectShareBox(m_widthShare, &CWatermarkConf::ImageRelativeWidth, 1, kMaxRelativeSize);
    connectShareBox(m_heightShare, &CWatermarkConf::ImageRelativeHeight, 0, kMaxRelativeSize);
    connect(m_scaleWithPhoto, &QCheckBox::clicked, this, &CImageLayerPage::onScaleWithPhoto);
    setSizeBoxesVisible(false);
}

kw::Anchor CImageLayerPage::anchor() const
{
    return {&CWatermarkConf::ImageLocation,
            &CWatermarkConf::ImageOffsetH,
            &CWatermarkConf::ImageOffsetV,
            m_offsetH,
            m_offsetV,
            &CWatermarkConf::ImageRelativeOffsetH,
            &CWatermarkConf::ImageRelativeOffsetV,
            m_offsetHShare,
            m_offsetVShare};
}

// ---------------------------------------------------------------- showing

void CImageLayerPage::showRecord()
{
    const CWatermarkConf shown = m_record;

    m_pathBox->setText(shown.ImagePathName);
    m_pathBox->setToolTip(shown.ImagePathName);
    m_locationList->setCurrentIndex(shown.ImageLocation);
    const std::pair<NumberBox *, int32_t> numbers[] = {
        {m_offsetH, shown.ImageOffsetH},
        {m_offsetV, shown.ImageOffsetV},
        {m_rotation, shown.ImageRotation},
    };
    for (const auto &[box, value] : numbers) {
        const QSignalBlocker blocker(box);
        box->setNumber(value);
    }
    {
        const QSignalBlocker blocker(m_transparency);
        m_transparency->setValue(shown.ImageTransparency);
    }
    onSliderMoved(m_transparency, &CWatermarkConf::ImageTransparency);
    m_turnAboutAnchor->setChecked(shown.ImageTurnAboutAnchor != 0);
    showSize();
}

void CImageLayerPage::showSize()
{
    const bool relative = m_record.ImageRelativeWidth > 0;
    for (const auto &[box, value] : {std::pair(m_width, m_record.ImageDrawWidth),
                                     std::pair(m_height, m_record.ImageDrawHeight)}) {
        const QSignalBlocker blocker(box);
        box->setNumber(value);
    }
    showShare(m_widthShare, m_record.ImageRelativeWidth);
    showShare(m_heightShare, m_record.ImageRelativeHeight);
    m_scaleWithPhoto->setChecked(relative);
    showOffsets(anchor(), relative);
    setSizeBoxesVisible(!m_record.ImagePathName.isEmpty());
}

void CImageLayerPage::onScaleWithPhoto(bool on)
{
    // Derived on the sample photo, so the preview does not move.
    QString reason;
    const QSize natural =
        PictureSize(LayerPicturePath(m_session.templatesFolder(), m_record.ImagePathName), &reason);
    if (on)
        MakePictureRelative(m_record, natural, PreviewFrame::kSize);
    else
        MakePicturePixels(m_record, natural, PreviewFrame::kSize);
    showSize();
    m_session.requestCommit();
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
    showSize();
    m_session.requestCommit();
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
    showSize();
    m_session.requestCommit();
}

void CImageLayerPage::setSizeBoxesVisible(bool visible)
{
    const bool relative = m_record.ImageRelativeWidth > 0;
    for (QWidget *widget :
         {static_cast<QWidget *>(m_widthLabel), static_cast<QWidget *>(m_heightLabel),
          static_cast<QWidget *>(m_scaleWithPhoto)})
        widget->setVisible(visible);
    m_width->setVisible(visible && !relative);
    m_height->setVisible(visible && !relative);
    m_widthShare->setVisible(visible && relative);
    m_heightShare->setVisible(visible && relative);
}

} // namespace kw
