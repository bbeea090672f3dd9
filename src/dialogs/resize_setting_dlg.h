#pragma once

#include <QDialog>

#include <cstdint>

class QCheckBox;
class QLineEdit;
class QRadioButton;

namespace kw {

class UserPrompts;

// The Image Resizing Setting dialog: how photos are resized before they are
// watermarked. It reads resizing_config.ini when it opens and, however it is
// closed (close box or Escape; it has no buttons), writes the scale type of
// the checked radio button (1 when none is; the stored one when the long edge
// is checked), the sizes exactly as typed (digits only; an empty field is
// stored empty; the long edge only when its button is checked), the "never
// enlarge" box (stored only when ticked) and the "every time" box, and
// sets `resizeJustThisTime` (the program's flag for this run) from the "just
// for this time" box. A setting that cannot be written is told through
// `prompts`. UI thread only; `resizeJustThisTime` and `prompts` must outlive
// the dialog.
class CResizeSettingDlg : public QDialog
{
    Q_OBJECT
public:
    CResizeSettingDlg(QString dataFolder, bool &resizeJustThisTime, kw::UserPrompts &prompts,
                      QWidget *parent = nullptr);
    // Saves when the dialog was not closed through done().
    ~CResizeSettingDlg() override;

    void done(int result) override;

private:
    // Writes the setting once; false with `error` when it could not.
    bool save(QString *error);

    QString m_dataFolder;
    bool &m_resizeJustThisTime;
    kw::UserPrompts &m_prompts;
    bool m_saved = false;

    QRadioButton *m_byWidth = nullptr;
    QRadioButton *m_byHeight = nullptr;
    QRadioButton *m_absolute = nullptr;
    QRadioButton *m_byLongEdge = nullptr;
    QLineEdit *m_width = nullptr;
    QLineEdit *m_height = nullptr;
    QLineEdit *m_longEdge = nullptr;
    QCheckBox *m_neverEnlarge = nullptr;
    // The file's scale type, written back while the long edge is chosen, so
    // that a program that does not know the long edge resizes as before.
    int32_t m_storedScaleType = 0;
    QCheckBox *m_justThisTime = nullptr;
    QCheckBox *m_everyTime = nullptr;
};

} // namespace kw
