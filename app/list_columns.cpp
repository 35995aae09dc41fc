#include "app/list_columns.h"

#include <algorithm>

#include <QAction>
#include <QHeaderView>
#include <QMenu>
#include <QSettings>
#include <QTreeView>

#include "app/logic/result_list.h"
#include "dialogs/ui_text.h"

namespace tessvale {
namespace {

// Keys of the layout file: names in a file, never shown.
constexpr const char* kColumnsKey = "Window/Columns";
constexpr const char* kChangeColumnKey = "Window/ChangeColumn";

} // namespace

ListColumns::ListColumns(QTreeView* view) : QObject(view), m_view(view)
{
    QHeaderView* header = view->header();
    header->setSectionsMovable(true);
    header->setFirstSectionMovable(true);
    header->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(header, &QHeaderView::customContextMenuRequested, this,
            [this, header](const QPoint& at) { ShowMenu(header->mapToGlobal(at)); });
    // What a newcomer reads first: the change beside the status, the vendor beside the
    // name; the inventory columns, often "-" without credentials, come last.
    header->moveSection(header->visualIndex(kColumnChange), 1);
    header->moveSection(header->visualIndex(kColumnNetCardVendor), header->visualIndex(kColumnHostName) + 1);
}

void ListColumns::SetComparing(bool comparing)
{
    m_comparing = comparing;
    ApplyChangeColumn();
}

void ListColumns::ApplyChangeColumn()
{
    m_view->setColumnHidden(kColumnChange, !(m_comparing && m_changeWanted));
}

void ListColumns::SetColumnWanted(int column, bool shown)
{
    if (column == kColumnChange) {
        m_changeWanted = shown;
        ApplyChangeColumn();
        return;
    }
    m_view->setColumnHidden(column, !shown);
}

void ListColumns::ShowMenu(const QPoint& globalPosition)
{
    QMenu menu(m_view);
    menu.setObjectName(QStringLiteral("columnsMenu"));
    QHeaderView* header = m_view->header();
    for (int visual = 0; visual < header->count(); ++visual) {
        const int column = header->logicalIndex(visual);
        if (column == kColumnIp) {
            continue; // the one column a row cannot do without
        }
        QString title = m_view->model()->headerData(column, Qt::Horizontal).toString();
        title.replace(QLatin1Char('&'), QStringLiteral("&&"));
        QAction* action = menu.addAction(title);
        action->setObjectName(QStringLiteral("column%1Action").arg(column));
        action->setCheckable(true);
        action->setChecked(column == kColumnChange ? m_changeWanted : !header->isSectionHidden(column));
        connect(action, &QAction::toggled, this, [this, column](bool shown) { SetColumnWanted(column, shown); });
    }
    menu.exec(globalPosition);
}

bool ListColumns::Restore(const QSettings& layout)
{
    QHeaderView* header = m_view->header();
    m_changeWanted = layout.value(QLatin1String(kChangeColumnKey), true).toBool();
    const QByteArray columns = layout.value(QLatin1String(kColumnsKey)).toByteArray();
    const bool taken = !columns.isEmpty() && header->restoreState(columns);
    if (!columns.isEmpty() && !taken) {
        header->reset();
    }
    // A width a damaged file made unusable comes back to the column's own size; the IP
    // column is never hidden.
    for (int column = 0; column < header->count(); ++column) {
        if (column == kColumnIp) {
            header->showSection(column);
        }
        const int size = header->sectionSize(column);
        if (!header->isSectionHidden(column) && (size < header->minimumSectionSize() || size > 4000)) {
            header->resizeSection(column, column < kColumnCount ? kColumnWidths[static_cast<std::size_t>(column)]
                                                                : kChangeColumnWidth);
        }
    }
    ApplyChangeColumn();
    return taken;
}

void ListColumns::Save(QSettings& layout) const
{
    layout.setValue(QLatin1String(kColumnsKey), m_view->header()->saveState());
    layout.setValue(QLatin1String(kChangeColumnKey), m_changeWanted);
}

QSize RowHeightDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    size.setHeight(std::max(size.height(), m_minimum));
    return size;
}

} // namespace tessvale
