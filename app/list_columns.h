// The result list's columns as the user arranges them: the default order on screen
// (Status, Change, IP, MAC, Host Name, NetCard Vendor, then the inventory), the header's
// menu that hides and shows columns, dragged columns, and rows that keep their height.
// The model's column order, which Copy, Save and the chart read, never changes.
#pragma once

#include <QObject>
#include <QStyledItemDelegate>

class QPoint;
class QSettings;
class QTreeView;

namespace tessvale {

class ListColumns : public QObject
{
    Q_OBJECT

public:
    explicit ListColumns(QTreeView* view);

    // The Change column shows while a scan has a baseline, unless the user hid it.
    void SetComparing(bool comparing);
    bool ChangeColumnWanted() const { return m_changeWanted; }

    // The header's state and the user's choice for the Change column; a state that
    // does not fit this list is ignored. Returns false when the state was not taken.
    bool Restore(const QSettings& layout);
    void Save(QSettings& layout) const;

    // The header's context menu: one checkable entry per column (IP always stays).
    void ShowMenu(const QPoint& globalPosition);

private:
    void SetColumnWanted(int column, bool shown);
    void ApplyChangeColumn();

    QTreeView* m_view;
    bool m_comparing = false;
    bool m_changeWanted = true;
};

// Every row at least as high as its status icon, whatever column the view measures
// (a list laid out while scrolled right measured a text-only column).
class RowHeightDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    RowHeightDelegate(int minimumHeight, QObject* parent) : QStyledItemDelegate(parent), m_minimum(minimumHeight) {}
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    int m_minimum;
};

} // namespace tessvale
