#pragma once

#include "editor/editor_page_support.h"
#include "model/watermark_conf.h"

#include <QString>
#include <QWidget>

#include <cstdint>

class CEditWithButton;
class QComboBox;
class QLabel;
class QMenu;
class QPushButton;
class QSlider;

namespace kw {

class EditorSession;
class CButtonBar;
class LayerListBox;
class NumberBox;

// The filter of the picture picker, in Qt's syntax.
extern const QString kImagePickerFilter;

} // namespace kw

class CTextLayerPage;

// The "Image" page of the template editor: the picture part of a layer (its
// file, location, offsets, rotation and opacity). It shows the same editing
// record and layer list as the text page, and leaves selecting, loading and
// the layer commands to it. Every change is written into the record, saved
// at once into the current layer's file and redrawn in the live preview.
// UI thread only.
class CImageLayerPage : public QWidget
{
    Q_OBJECT
public:
    CImageLayerPage(kw::EditorSession &session, QWidget *parent = nullptr);

    void setTextPage(CTextLayerPage *page) { m_textPage = page; }

    // Fills the layer list, selects its first entry and shows the record.
    // Called once by the editor, after the text page's set-up.
    void SetUp();

    // Refills the layer list from the template file and selects `index`.
    void FillLayerList(int index);
    // Sets every control from the editing record; then, with `save`, saves
    // and redraws once. Neither shows nor hides the picture size boxes.
    void ShowRecord(bool save = true);
    // Saves the editing record into the selected layer's file, then redraws.
    void CommitChange();

private:
    void buildControls();
    QString currentLayerName() const;

    void onBrowse();
    void onClearPath();
    void onLocationChosen(int index);
    void onPlainBox(kw::NumberBox *box, int32_t CWatermarkConf::*field);
    void onTransparency();
    void onLayerButton(int command);
    void setSizeBoxesVisible(bool visible);

    kw::EditorSession &m_session;
    CWatermarkConf &m_record;
    CTextLayerPage *m_textPage = nullptr;
    kw::CommitBatcher m_commits;
    bool m_showing = false;

    kw::LayerListBox *m_layerList = nullptr;
    kw::CButtonBar *m_layerButton = nullptr;
    QMenu *m_layerMenu = nullptr;
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
