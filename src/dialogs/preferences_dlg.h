#pragma once

#include "dialogs/update_page.h"
#include "settings/preferences.h"

#include <QDialog>
#include <QWidget>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;

namespace kw {

class COutputQualityGroup;

class CAboutPage;

class UserPrompts;

// The General page: where results go, how they are named and their format,
// read from preference.xml when the page opens and written back by save().
//
// The radio buttons follow the stored texts: exactly "0" picks "Save to
// original file's folder" (or "Keep original file's name"), any other text
// the other choice; "Browse" and the suffix field are enabled only with the
// choice that uses them. An element missing from the file leaves its controls
// unset, and it is not written back (the file gains no elements). The format
// list stores each format's OutputFormat number; a stored number it does not
// know shows no selection and is written back unchanged unless the user picks
// one; so does a stored collision policy outside 0 to 2. The output quality
// elements are written only for the settings the user changed.
// UI thread only.
class COutputSettingsPage : public QWidget
{
    Q_OBJECT
public:
    COutputSettingsPage(QString dataFolder, kw::UserPrompts &prompts, QWidget *parent = nullptr);
    // Saves when save() has not run.
    ~COutputSettingsPage() override;

    // Writes the five values into preference.xml in place (JpegQuality and
    // OpenQuickStartDlg untouched), then the collision policy, output quality
    // and JPEG output elements the user changed. Returns false with `problem`
    // set only when
    // a change the user made could not be stored; a file that cannot be
    // written when nothing changed is no problem. Runs once; later calls do
    // nothing and return true.
    bool save(QString *problem = nullptr);

    void OnBrowse();

    // The warning shown while the folder and name choices would make outputs
    // replace their source photos; empty when none is shown.
    QString replaceWarning() const;

private:
    void updateReplaceWarning();
    // The element texts the controls stand for now.
    kw::PreferenceTexts currentTexts() const;
    // The output quality group: the JPEG mode, stored in elements of its own.
    void addJpegModeRows();
    kw::JpegOutputSetting currentJpegOutput() const;
    kw::Status saveJpegOutput() const;
    void load();

    QString m_dataFolder;
    kw::UserPrompts &m_prompts;
    bool m_loaded = false;         // preference.xml could be read
    QString m_loadError;           // why it could not
    kw::PreferenceTexts m_found;   // the elements the file has, as read
    kw::PreferenceTexts m_initial; // currentTexts() right after loading
    bool m_saved = false;

    QRadioButton *m_originalFolder = nullptr;
    QRadioButton *m_anotherFolder = nullptr;
    QLineEdit *m_folder = nullptr;
    QPushButton *m_browse = nullptr;
    QRadioButton *m_keepName = nullptr;
    QRadioButton *m_rename = nullptr;
    QLineEdit *m_suffix = nullptr;
    QComboBox *m_format = nullptr;
    QComboBox *m_jpegMode = nullptr;
    QCheckBox *m_jpegSmallest = nullptr;
    kw::JpegOutputSetting m_jpegInitial; // as read
    // The collision policy: its own element, written only when the user
    // changes the choice (removed again when set back to overwrite).
    QComboBox *m_collision = nullptr;
    int m_initialCollision = 0; // the combo index after loading
    // The output quality elements, each written only when changed.
    kw::COutputQualityGroup *m_quality = nullptr;
    QLabel *m_replaceWarning = nullptr;
    kw::OutputQuality m_storedQuality; // as read
};

// The Preferences dialog: the General, Update and About and Support tabs.
// The dialog takes the size of the page shown. It has no OK button: closing
// it (close box or Escape) saves the General page; a change that could not be
// stored is told through `prompts`. UI thread only; `prompts` must outlive the
// dialog.
class CPreferencesDlg : public QDialog
{
    Q_OBJECT
public:
    CPreferencesDlg(const QString &dataFolder, kw::UserPrompts &prompts, QWidget *parent = nullptr,
                    kw::UpdateCheckSetup updateSetup = {});

    QTabWidget *tabs() const { return m_tabs; }
    COutputSettingsPage *generalPage() const { return m_general; }
    CUpdatePage *updatePage() const { return m_update; }
    CAboutPage *aboutPage() const { return m_about; }

    void done(int result) override;

private:
    void fitPage(int index);

    kw::UserPrompts &m_prompts;
    QTabWidget *m_tabs = nullptr;
    COutputSettingsPage *m_general = nullptr;
    CUpdatePage *m_update = nullptr;
    CAboutPage *m_about = nullptr;
};

} // namespace kw
