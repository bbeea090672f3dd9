#pragma once

#include "controls/user_prompts.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace kw {

// The small dark dialog that asks for a template or layer name: a label, the
// name field (objectName "nameEdit") and OK / Cancel. OK runs the request's
// check; a refused name is told through `prompts` (warning icon) and the
// dialog stays open with the field selected.
class CNameDialog : public QDialog
{
    Q_OBJECT
public:
    CNameDialog(const NameRequest &request, UserPrompts &prompts, QWidget *parent = nullptr);

    QString name() const;

    void accept() override;

private:
    NameRequest m_request;
    UserPrompts &m_prompts;
    QLabel *m_label = nullptr;
    QLineEdit *m_edit = nullptr;
};

} // namespace kw
