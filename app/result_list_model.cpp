#include "app/result_list_model.h"

#include <QTextDocument>

#include "app/icons.h"
#include "app/qt_text.h"
#include "app/ui_text.h"
#include "common/text_util.h"

namespace tessvale {

ResultListModel::ResultListModel(ResultList& list, QObject* parent) : QAbstractTableModel(parent), m_list(list) {}

int ResultListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_list.Count();
}

int ResultListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant ResultListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_list.Count() || index.column() >= kColumnCount) {
        return {};
    }
    const ResultRow& row = m_list.Row(index.row());
    switch (role) {
    case Qt::DisplayRole:
        if (index.column() == kColumnStatus) {
            return {};
        }
        return ToQString(row.text[index.column()]);
    case Qt::ToolTipRole: {
        // Host texts and notes are shown as they are: "<b>PC-1</b>" is no markup.
        const std::string note = NoteOfRow(index.row());
        const std::string& cell = row.text[index.column()];
        if (note.empty()) {
            if (index.column() == kColumnStatus) {
                return {};
            }
            return Qt::convertFromPlainText(ToQString(cell), Qt::WhiteSpaceNormal);
        }
        const QString noteLine = QUiText("Comment:") + QLatin1Char(' ') + ToQString(note);
        const QString text =
            cell.empty() || index.column() == kColumnStatus ? noteLine : ToQString(cell) + QLatin1Char('\n') + noteLine;
        return Qt::convertFromPlainText(text, Qt::WhiteSpaceNormal);
    }
    case Qt::DecorationRole:
        return index.column() == kColumnStatus ? QVariant(StatusIcon(row.image)) : QVariant();
    case kAddressRole:
        return row.address;
    default:
        return {};
    }
}

QVariant ResultListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < m_headers.size()) {
        return m_headers[section];
    }
    return QAbstractTableModel::headerData(section, orientation, role);
}

void ResultListModel::SetNotes(std::map<std::string, std::string> notes)
{
    m_notes = std::move(notes);
    if (m_list.Count() > 0) {
        emit dataChanged(index(0, 0), index(m_list.Count() - 1, kColumnCount - 1), {Qt::ToolTipRole});
    }
}

std::string ResultListModel::NoteOfRow(int row) const
{
    if (m_notes.empty() || row < 0 || row >= m_list.Count()) {
        return {};
    }
    const auto found = m_notes.find(CanonicalMac(m_list.Row(row).text[kColumnMac]));
    return found == m_notes.end() ? std::string() : found->second;
}

void ResultListModel::SetHeaders(const QStringList& headers)
{
    m_headers = headers;
    emit headerDataChanged(Qt::Horizontal, 0, kColumnCount - 1);
}

void ResultListModel::BeginInsert(int row)
{
    beginInsertRows(QModelIndex(), row, row);
}

void ResultListModel::EndInsert()
{
    endInsertRows();
}

void ResultListModel::RowChanged(int row)
{
    emit dataChanged(index(row, 0), index(row, kColumnCount - 1));
}

void ResultListModel::BeginReset()
{
    beginResetModel();
}

void ResultListModel::EndReset()
{
    endResetModel();
}

} // namespace tessvale
