#include "app/template_list.h"

#include "app/list_style.h"
#include "controls/user_prompts.h"
#include "model/template_library.h"
#include "settings/template_selection.h"

#include <QAction>
#include <QHeaderView>
#include <QMouseEvent>

#include <utility>

namespace kw {

namespace {

const QString kAddCaption = QStringLiteral("Add New Template");
const QString kRenameCaption = QStringLiteral("Rename Template");
const QString kNameLabel = QStringLiteral("Input Template Name:");
const QString kEmptyName = QStringLiteral("Please input a valid template name.");
const QString kSelectToRemove =
    QStringLiteral("Please select a watermark template first to remove!");
const QString kConfirmRemove = QStringLiteral("Are you sure to remove this template?");
const QString kSelectToRename = QStringLiteral("Please select a template to rename!");

} // namespace

CTemplateList::CTemplateList(QString templatesFolder, UserPrompts &prompts, QWidget *parent)
    : QTreeWidget(parent), m_folder(std::move(templatesFolder)), m_prompts(prompts)
{
    setObjectName(QStringLiteral("templateList"));
    setColumnCount(1);
    setHeaderLabels({QStringLiteral("Watermark Templates")});
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setTextElideMode(Qt::ElideRight);
    header()->setStretchLastSection(true);
    header()->setSectionsMovable(false);
    StyleReportList(this);
    // Until the index is read the list shows the first-run template.
    addTopLevelItem(new QTreeWidgetItem(QStringList{kFirstRunTemplateName.toString()}));

    const auto command = [this](const QString &text, const QString &name) {
        auto *action = new QAction(text, this);
        action->setObjectName(name);
        return action;
    };
    m_commands.add =
        command(QStringLiteral("Add New Template"), QStringLiteral("addTemplateAction"));
    m_commands.edit =
        command(QStringLiteral("Edit Selected Template"), QStringLiteral("editTemplateAction"));
    m_commands.rename =
        command(QStringLiteral("Rename Selected Template"), QStringLiteral("renameTemplateAction"));
    m_commands.remove =
        command(QStringLiteral("Remove Selected Template"), QStringLiteral("removeTemplateAction"));
    connect(m_commands.add, &QAction::triggered, this, [this] { addTemplate(); });
    connect(m_commands.edit, &QAction::triggered, this, &CTemplateList::editRequested);
    connect(m_commands.rename, &QAction::triggered, this, [this] { renameSelected(); });
    connect(m_commands.remove, &QAction::triggered, this, [this] { removeSelected(); });

    // Keyboard moves change the selected template as clicks do; the
    // selection itself is never left empty while an item exists.
    connect(this, &QTreeWidget::itemSelectionChanged, this, [this] {
        const QList<QTreeWidgetItem *> selected = selectedItems();
        if (!selected.isEmpty())
            m_selectedIndex = indexOfTopLevelItem(selected.first());
    });
}

void CTemplateList::loadTemplateList(const QString &dataFolder)
{
    clear();
    const Result<QStringList> names = LoadTemplateIndex(m_folder);
    if (!names)
        return;
    for (const QString &name : *names)
        addTopLevelItem(new QTreeWidgetItem(QStringList{name}));
    m_selectedIndex = LoadSelectedTemplateIndex(dataFolder).valueOr(kDefaultTemplateIndex);
    selectIndex(m_selectedIndex);
}

void CTemplateList::setCommandsEnabled(bool enabled)
{
    for (QAction *action : {m_commands.add, m_commands.edit, m_commands.rename, m_commands.remove})
        action->setEnabled(enabled);
}

bool CTemplateList::commandsEnabled() const
{
    return m_commands.edit->isEnabled();
}

QString CTemplateList::selectedTemplateName() const
{
    const QList<QTreeWidgetItem *> selected = selectedItems();
    return selected.isEmpty() ? QString() : selected.first()->text(0);
}

QStringList CTemplateList::names() const
{
    QStringList list;
    for (int i = 0; i < topLevelItemCount(); ++i)
        list << topLevelItem(i)->text(0);
    return list;
}

void CTemplateList::selectIndex(int index)
{
    QTreeWidgetItem *item = topLevelItem(index);
    if (!item) {
        // An index beyond the list selects nothing, and is kept.
        const int kept = m_selectedIndex;
        clearSelection();
        m_selectedIndex = kept;
        return;
    }
    setCurrentItem(item);
    item->setSelected(true);
    scrollToItem(item);
}

void CTemplateList::applyClickRule(QTreeWidgetItem *hit)
{
    if (hit) {
        m_selectedIndex = indexOfTopLevelItem(hit);
        selectIndex(m_selectedIndex);
    } else {
        selectIndex(m_selectedIndex);
    }
}

void CTemplateList::mousePressEvent(QMouseEvent *event)
{
    QTreeWidgetItem *hit = itemAt(event->position().toPoint());
    if (hit)
        QTreeWidget::mousePressEvent(event);
    else
        setFocus(Qt::MouseFocusReason);
    // A click never leaves the list without a selection (a Ctrl-click on the
    // selected item would).
    applyClickRule(hit);
}

void CTemplateList::mouseDoubleClickEvent(QMouseEvent *event)
{
    QTreeWidgetItem *hit = itemAt(event->position().toPoint());
    applyClickRule(hit);
    if (hit && event->button() == Qt::LeftButton)
        m_commands.edit->trigger(); // nothing while the commands are disabled
}

QString CTemplateList::checkName(const QString &name, const QString &renamedFrom) const
{
    if (name.isEmpty())
        return kEmptyName;
    return CheckNewTemplateName(m_folder, name, renamedFrom);
}

bool CTemplateList::addTemplate()
{
    NameRequest request;
    request.caption = kAddCaption;
    request.label = kNameLabel;
    request.check = [this](const QString &name) { return checkName(name, {}); };
    const std::optional<QString> name = m_prompts.askName(window(), request);
    if (!name)
        return false;
    const LibraryChange result = AddTemplate(m_folder, *name);
    if (!result) {
        m_prompts.message(window(), result.error(), MessageIcon::Warning);
        return false;
    }
    // Appended without touching the selection.
    addTopLevelItem(new QTreeWidgetItem(QStringList{*name}));
    if (!result->isEmpty())
        m_prompts.message(window(), *result, MessageIcon::Information);
    return true;
}

bool CTemplateList::renameSelected()
{
    QList<QTreeWidgetItem *> selected = selectedItems();
    if (selected.isEmpty()) {
        m_prompts.message(window(), kSelectToRename, MessageIcon::Information);
        return false;
    }
    QTreeWidgetItem *item = selected.first();
    const QString oldName = item->text(0);
    NameRequest request;
    request.caption = kRenameCaption;
    request.label = kNameLabel;
    request.check = [this, oldName](const QString &name) { return checkName(name, oldName); };
    const std::optional<QString> newName = m_prompts.askName(window(), request);
    if (!newName)
        return false;
    const LibraryChange result = RenameTemplate(m_folder, oldName, *newName);
    if (!result) {
        m_prompts.message(window(), result.error(), MessageIcon::Warning);
        return false;
    }
    item->setText(0, *newName);
    if (!result->isEmpty())
        m_prompts.message(window(), *result, MessageIcon::Information);
    return true;
}

bool CTemplateList::removeSelected()
{
    QList<QTreeWidgetItem *> selected = selectedItems();
    if (selected.isEmpty()) {
        m_prompts.message(window(), kSelectToRemove, MessageIcon::Information);
        return false;
    }
    if (m_prompts.message(window(), kConfirmRemove, MessageIcon::Question,
                          MessageButtons::YesNoDefaultNo) != MessageAnswer::Yes)
        return false;
    QTreeWidgetItem *item = selected.first();
    const LibraryChange result = RemoveTemplate(m_folder, item->text(0));
    if (!result) {
        m_prompts.message(window(), result.error(), MessageIcon::Warning);
        return false;
    }
    delete item;
    m_selectedIndex = 0;
    selectIndex(0);
    if (!result->isEmpty())
        m_prompts.message(window(), *result, MessageIcon::Information);
    return true;
}

} // namespace kw
