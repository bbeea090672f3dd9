#pragma once

#include <QDialog>

class QCheckBox;

namespace kw {

class CSkinButton;
class UserPrompts;

// The Quick Start dialog: three pictures with their short instructions on a
// dark grey ground, the box "Don't show this dialog next time" and "Thanks".
// Each click on the box writes OpenQuickStartDlg into preference.xml (1 when
// checked, 0 when clear); a write that fails is told through `prompts`. UI
// thread only; `prompts` must outlive the dialog.
class CQuickStartDlg : public QDialog
{
    Q_OBJECT
public:
    CQuickStartDlg(QString dataFolder, kw::UserPrompts &prompts, QWidget *parent = nullptr);

private:
    void onDontShowClicked(bool checked);

    QString m_dataFolder;
    kw::UserPrompts &m_prompts;
    QCheckBox *m_dontShow = nullptr;
    CSkinButton *m_thanks = nullptr;
};

} // namespace kw
