#include "editor/record_table_model.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace telvane::editor {

RecordTableModel::RecordTableModel(store::RecordTable& table, QObject* parent)
    : QAbstractTableModel(parent)
    , m_table(table)
{ }

int RecordTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_table.rowCount();
}

int RecordTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(store::kFieldCount);
}

QVariant RecordTableModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::EditRole)) {
        return {};
    }
    return m_table.cell(index.row(), static_cast<std::size_t>(index.column()));
}

QVariant RecordTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole) {
        return {};
    }
    if (orientation == Qt::Vertical) {
        return section + 1; // the record number
    }
    if (section < 0 || section >= static_cast<int>(store::kFieldCount)) {
        return {};
    }
    const auto name = store::kFields[static_cast<std::size_t>(section)].name;
    return QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
}

Qt::ItemFlags RecordTableModel::flags(const QModelIndex& index) const
{
    return index.isValid() ? Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsEditable : Qt::NoItemFlags;
}

bool RecordTableModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (!index.isValid() || role != Qt::EditRole) {
        return false;
    }
    return writeBlock({{index.row(), static_cast<std::size_t>(index.column()), value.toString()}}, {});
}

bool RecordTableModel::record(store::Change&& change)
{
    if (change.isEmpty()) {
        return true;
    }
    m_undo.push_back(std::move(change));
    if (m_undo.size() == 1) {
        emit undoAvailable(true);
    }
    return true;
}

bool RecordTableModel::writeBlock(const std::vector<store::RecordTable::CellWrite>& cells,
                                  const std::vector<store::RecordTexts>& newRecords)
{
    const int before = m_table.rowCount();
    const std::uint64_t numbering = m_table.numbering();
    store::Change change;
    QString error;
    if (!m_table.write(cells, newRecords, &change, &error)) {
        if (m_table.numbering() != numbering) {
            // The table caught up with another writer before it refused: show the file as it is.
            beginResetModel();
            endResetModel();
        }
        emit writeFailed(error);
        return false;
    }
    if (m_table.numbering() != numbering) {
        // Caught up with another writer on the way: the rows are numbered anew.
        beginResetModel();
        endResetModel();
    } else {
        if (!change.added.empty()) {
            beginInsertRows({}, before, m_table.rowCount() - 1);
            endInsertRows();
        }
        for (const auto& c : cells) {
            const QModelIndex i = index(c.row, static_cast<int>(c.field));
            emit dataChanged(i, i, {Qt::DisplayRole, Qt::EditRole});
        }
    }
    return record(std::move(change));
}

bool RecordTableModel::removeRecords(const std::vector<int>& rows)
{
    store::Change change;
    QString error;
    beginResetModel();
    const bool ok = m_table.removeRows(rows, &change, &error);
    endResetModel();
    if (!ok) {
        emit writeFailed(error);
        return false;
    }
    return record(std::move(change));
}

int RecordTableModel::appendEmpty()
{
    if (!writeBlock({}, {store::RecordTexts {}})) {
        return -1;
    }
    return m_table.rowCount() - 1;
}

bool RecordTableModel::undo(std::vector<int>* rows)
{
    if (m_undo.empty()) {
        return false;
    }
    const store::Change& change = m_undo.back();
    QString error;
    int moved = 0;
    beginResetModel();
    const bool ok = m_table.undo(change, &error, &moved);
    endResetModel();
    if (!ok) {
        emit writeFailed(error);
        return false;
    }
    if (rows) {
        rows->clear();
        for (const auto& c : change.cells) {
            rows->push_back(m_table.rowOf(c.id));
        }
        for (const auto& [id, texts] : change.removed) {
            rows->push_back(m_table.rowOf(id));
        }
        std::erase(*rows, -1);
        std::ranges::sort(*rows);
    }
    if (moved > 0) {
        emit writeFailed(u"%1条记录原来的位置已被其他程序占用，已放回表格末尾"_s.arg(moved));
    }
    m_undo.pop_back();
    if (m_undo.empty()) {
        emit undoAvailable(false);
    }
    return true;
}

bool RecordTableModel::followOtherWriters()
{
    if (!m_table.isStale()) {
        return false;
    }
    beginResetModel();
    m_table.refresh();
    endResetModel();
    return true;
}

} // namespace telvane::editor
