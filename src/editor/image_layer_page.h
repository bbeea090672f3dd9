#pragma once

#include "editor/layer_page.h"
#include "model/watermark_conf.h"

#include <QString>

#include <cstdint>

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QGridLayout;
class QLabel;
class QPushButton;
class QSlider;

namespace kw {

class CEditWithButton;

class EditorSession;
class NumberBox;

// The filter of the picture picker, in Qt's syntax.
extern const QString kImagePickerFilter;

// The "Image" page of the template editor: the picture part of a layer (its
// file, location, offsets, rotation and opacity), a view of the editor's
// session like the text page. Every change is written into the record, saved
// at once into the current layer's file and redrawn in the live preview.
// The Width and Height boxes, shown on a layer with a picture, set the size
// the picture is drawn at (0: its natural size, or in its proportions when
// the other is set); while "Scale with the photo" is on they hold shares of
// the photo's shorter side and the offsets shares of its width and height.
// UI thread only.
class CImageLayerPage : public kw::LayerPage
{
    Q_OBJECT
public:
    explicit CImageLayerPage(kw::EditorSession &session, QWidget *parent = nullptr);

private:
    void showRecord() override;

    // One builder per group of controls, top to bottom.
    void addPictureRows(QGridLayout *grid, int &row);
    void addPlacementRows(QGridLayout *grid, int &row);
    void addSizeRow(QGridLayout *grid, int &row);

    void onBrowse();
    void onClearPath();
    void setSizeBoxesVisible(bool visible);
    void onScaleWithPhoto(bool on);
    // Shows the size boxes and offsets in pixels or as shares of the photo,
    // and the size boxes only when the layer has a picture.
    void showSize();
    kw::Anchor anchor() const;

    CEditWithButton *m_pathBox = nullptr;
    QPushButton *m_browse = nullptr;
    QComboBox *m_locationList = nullptr;
    kw::NumberBox *m_offsetH = nullptr;
    kw::NumberBox *m_offsetV = nullptr;
    kw::NumberBox *m_rotation = nullptr;
    QSlider *m_transparency = nullptr;
    QLabel *m_widthLabel = nullptr;
    kw::NumberBox *m_width = nullptr;
    QLabel *m_heightLabel = nullptr;
    kw::NumberBox *m_height = nullptr;
    QCheckBox *m_turnAboutAnchor = nullptr;
    QCheckBox *m_scaleWithPhoto = nullptr;
    QDoubleSpinBox *m_widthShare = nullptr;
    QDoubleSpinBox *m_heightShare = nullptr;
    QDoubleSpinBox *m_offsetHShare = nullptr;
    QDoubleSpinBox *m_offsetVShare = nullptr;
};

} // namespace kw
