// The Qt face of the result list: a table model over ResultList for the list view.
// The window changes the ResultList and then tells this model what changed.
#pragma once

#include <map>
#include <string>

#include <QAbstractTableModel>
#include <QStringList>

#include "app/logic/result_list.h"

namespace tessvale {

class ResultListModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    explicit ResultListModel(ResultList& list, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    void SetHeaders(const QStringList& headers);
    // The note kept for a MAC, shown with the row's tooltip (none by default).

    // Call around a change of the list.
    void BeginInsert(int row);
    void EndInsert();
    void RowChanged(int row);
    // Around ResultList::MoveRow(row, to).
    void BeginMove(int row, int to);
    void EndMove();
    void BeginReset();
    void EndReset();

    // The notes by MAC (CanonicalMac keys, as ConfigStore::Notes gives them): a row whose
    // MAC has one shows it in its tooltip, on every column.
    void SetNotes(std::map<std::string, std::string> notes);
    // The note of the row's MAC; empty when it has none.
    std::string NoteOfRow(int row) const;

    // The role that carries a row's host-order address.
    static constexpr int kAddressRole = Qt::UserRole + 1;

private:
    ResultList& m_list;
    QStringList m_headers;
    std::map<std::string, std::string> m_notes;
};

// The change column's text in the language shown ("new, conflict" in English).
QString ShownChangeText(const std::string& english);

// The status icon tinted for a change: a coloured ring for new, changed and conflict.
QIcon TintedStatusIcon(int image, ChangeTint tint);

} // namespace tessvale
