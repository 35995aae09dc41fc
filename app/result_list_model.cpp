#include "app/result_list_model.h"

#include <map>
#include <utility>

#include <QPainter>
#include <QTextDocument>

#include "app/icons.h"
#include "common/text_util.h"
#include "dialogs/qt_text.h"
#include "dialogs/ui_text.h"

namespace tessvale {

QString ShownChangeText(const std::string& english)
{
    // The words the comparison writes, each translated on its own.
    const std::map<std::string, QString, std::less<>> words = {
        {"new", QUiText("new")},
        {"gone", QUiText("gone")},
        {"MAC changed", QUiText("MAC changed")},
        {"name changed", QUiText("name changed")},
        {"conflict", QUiText("conflict")},
    };
    QStringList shown;
    std::size_t from = 0;
    while (from <= english.size() && !english.empty()) {
        const std::size_t comma = english.find(", ", from);
        const std::string word = english.substr(from, comma == std::string::npos ? std::string::npos : comma - from);
        const auto it = words.find(word);
        shown << (it != words.end() ? it->second : ToQString(word));
        if (comma == std::string::npos) {
            break;
        }
        from = comma + 2;
    }
    return shown.join(QStringLiteral(", "));
}

QIcon TintedStatusIcon(int image, ChangeTint tint)
{
    if (tint == ChangeTint::None || tint == ChangeTint::Gone) {
        return StatusIcon(image);
    }
    static std::map<std::pair<int, ChangeTint>, QIcon> cache;
    const auto key = std::pair{image, tint};
    if (const auto it = cache.find(key); it != cache.end()) {
        return it->second;
    }
    QPixmap pixmap = StatusIcon(image).pixmap(32, 32);
    {
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        QColor color(0x1e, 0x6f, 0xd9); // new: blue
        if (tint == ChangeTint::Changed) {
            color = QColor(0xf0, 0x9a, 0x00); // orange
        } else if (tint == ChangeTint::Conflict) {
            color = QColor(0xd7, 0x26, 0x26); // red
        }
        painter.setPen(QPen(color, 4.0));
        painter.setBrush(Qt::NoBrush);
        painter.drawEllipse(QRectF(2, 2, 28, 28));
        painter.setPen(QPen(Qt::white, 1.5));
        painter.setBrush(color);
        painter.drawEllipse(QRectF(19, 19, 12, 12));
    }
    return cache.emplace(key, QIcon(pixmap)).first->second;
}

ResultListModel::ResultListModel(ResultList& list, QObject* parent) : QAbstractTableModel(parent), m_list(list) {}

int ResultListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_list.Count();
}

int ResultListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : kListColumnCount;
}

QVariant ResultListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_list.Count() || index.column() >= kListColumnCount) {
        return {};
    }
    const ResultRow& row = m_list.Row(index.row());
    const QString cell = index.column() == kColumnChange ? ShownChangeText(row.change)
                         : index.column() == kColumnStatus
                             ? QString()
                             : ToQString(row.text[static_cast<std::size_t>(index.column())]);
    switch (role) {
    case Qt::DisplayRole:
        return index.column() == kColumnStatus ? QVariant() : QVariant(cell);
    case Qt::ToolTipRole: {
        // Host texts and notes are shown as they are: "<b>PC-1</b>" is no markup.
        const std::string note = NoteOfRow(index.row());
        if (note.empty()) {
            return cell.isEmpty() ? QVariant() : QVariant(Qt::convertFromPlainText(cell, Qt::WhiteSpaceNormal));
        }
        const QString noteLine = QUiText("Comment:") + QLatin1Char(' ') + ToQString(note);
        return Qt::convertFromPlainText(cell.isEmpty() ? noteLine : cell + QLatin1Char('\n') + noteLine,
                                        Qt::WhiteSpaceNormal);
    }
    case Qt::DecorationRole:
        return index.column() == kColumnStatus ? QVariant(TintedStatusIcon(row.image, row.tint)) : QVariant();
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
    emit headerDataChanged(Qt::Horizontal, 0, kListColumnCount - 1);
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
    emit dataChanged(index(row, 0), index(row, kListColumnCount - 1));
}

void ResultListModel::BeginMove(int row, int to)
{
    // Qt counts the destination before the move: a row moved down goes before to + 1.
    beginMoveRows(QModelIndex(), row, row, QModelIndex(), to > row ? to + 1 : to);
}

void ResultListModel::EndMove()
{
    endMoveRows();
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
