#pragma once

#include "editor/layer_page.h"
#include "model/watermark_conf.h"

#include <QString>

#include <cstdint>

class CEditWithButton;
class QComboBox;
class QGridLayout;
class QLabel;
class QPushButton;
class QSlider;

namespace kw {

class EditorSession;
class NumberBox;

// The filter of the picture picker, in Qt's syntax.
extern const QString kImagePickerFilter;

} // namespace kw

// The "Image" page of the template editor: the picture part of a layer (its
// file, location, offsets, rotation and opacity), a view of the editor's
// session like the text page. Every change is written into the record, saved
// at once into the current layer's file and redrawn in the live preview.
// Showing a layer neither shows nor hides the picture size boxes. UI thread
// only.
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
};
