#include "editor/text_variables_help.h"

#include "render/text_variables.h"

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QStyle>

using namespace Qt::StringLiterals;

namespace kw {

namespace {

QIcon BracesIcon(const QLineEdit *box)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    QFont font = box->font();
    font.setPixelSize(13);
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(box->palette().color(QPalette::Text));
    painter.drawText(pixmap.rect(), Qt::AlignCenter, u"{}"_s);
    return QIcon(pixmap);
}

QString VariablesToolTip()
{
    QString tip = u"The text may hold variables, filled in from each photo:"_s;
    for (const TextVariableInfo &info : TextVariableList())
        tip += u"\n  "_s + info.reference + u"  "_s + info.meaning;
    return tip;
}

} // namespace

void AttachTextVariableHelp(QLineEdit *box)
{
    box->setToolTip(VariablesToolTip());

    auto *menu = new QMenu(box);
    menu->setObjectName(u"textVariablesMenu"_s);
    for (const TextVariableInfo &info : TextVariableList()) {
        if (!info.reference.startsWith(u'{') || info.reference.startsWith(u"{{"))
            continue; // the escapes are explained, not inserted
        QAction *item = menu->addAction(info.reference + u"\t"_s + info.meaning);
        QObject::connect(item, &QAction::triggered, box,
                         [box, reference = info.reference] { box->insert(reference); });
    }
    QAction *open = box->addAction(BracesIcon(box), QLineEdit::TrailingPosition);
    open->setObjectName(u"textVariablesAction"_s);
    open->setToolTip(u"Insert a variable"_s);
    QObject::connect(open, &QAction::triggered, box, [box, menu] {
        menu->popup(box->mapToGlobal(box->rect().bottomRight()) -
                    QPoint(menu->sizeHint().width(), 0));
    });

    QAction *warning =
        box->addAction(QApplication::style()->standardIcon(QStyle::SP_MessageBoxWarning),
                       QLineEdit::TrailingPosition);
    warning->setObjectName(u"unknownVariablesAction"_s);
    const auto update = [box, warning] {
        const QStringList unknown = UnknownTextVariables(box->text());
        warning->setVisible(!unknown.isEmpty());
        QStringList written;
        for (const QString &name : unknown)
            written << u"{"_s + name + u"}"_s;
        warning->setToolTip(unknown.isEmpty()
                                ? QString()
                                : u"Not a variable, drawn as written: "_s + written.join(u", "_s));
    };
    QObject::connect(box, &QLineEdit::textChanged, warning, update);
    update();
}

} // namespace kw
