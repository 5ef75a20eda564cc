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

std::vector<int> RecordTableModel::lastWrittenRows() const
{
    std::vector<int> rows;
    for (const std::int64_t id : m_lastWritten) {
        if (const int row = m_table.rowOf(id); row >= 0) {
            rows.push_back(row);
        }
    }
    return rows;
}

void RecordTableModel::report(const store::WriteOutcome& outcome, std::uint64_t numbering, bool written)
{
    if (m_table.numbering() != numbering) {
        // The table caught up with another writer on the way, or read the file again after a conflict.
        beginResetModel();
        endResetModel();
    }
    if (!written) {
        emit writeFailed(outcome.error);
        return;
    }
    QStringList notes;
    if (outcome.cut > 0) {
        notes << u"%1个单元格的内容超过了字段的宽度，超出的部分没有保存"_s.arg(outcome.cut);
    }
    if (!outcome.warning.isEmpty()) {
        notes << outcome.warning;
    }
    if (!notes.isEmpty()) {
        emit notice(notes.join(u"；"_s));
    }
}

bool RecordTableModel::writeBlock(const std::vector<store::RecordTable::CellWrite>& cells,
                                  const std::vector<store::RecordTexts>& newRecords)
{
    emit aboutToWrite();
    const std::uint64_t numbering = m_table.numbering();
    store::Change change;
    store::WriteOutcome outcome;
    // The new records' rows are announced just before the table counts them.
    bool inserting = false;
    m_table.setAppendHook([&](int first, int last) {
        beginInsertRows({}, first, last);
        inserting = true;
    });
    const bool written = m_table.write(cells, newRecords, &change, &outcome);
    m_table.setAppendHook({});
    if (inserting) {
        endInsertRows();
    }
    if (written) {
        m_lastWritten = outcome.records;
    }
    if (written && m_table.numbering() == numbering) {
        for (const auto& c : cells) {
            const QModelIndex i = index(c.row, static_cast<int>(c.field));
            emit dataChanged(i, i, {Qt::DisplayRole, Qt::EditRole});
        }
    }
    report(outcome, numbering, written);
    return written && record(std::move(change));
}

bool RecordTableModel::removeRecords(const std::vector<int>& rows)
{
    emit aboutToWrite();
    store::Change change;
    store::WriteOutcome outcome;
    beginResetModel();
    const bool written = m_table.removeRows(rows, &change, &outcome);
    endResetModel();
    report(outcome, m_table.numbering(), written);
    return written && record(std::move(change));
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
    const store::Change change = m_undo.back();
    store::WriteOutcome outcome;
    emit aboutToWrite();
    beginResetModel();
    const bool written = m_table.undo(change, &outcome);
    endResetModel();
    if (!written) {
        if (outcome.conflict) {
            // Another program's write stands in its way, and always will: the step goes, older ones stay.
            m_undo.pop_back();
            if (m_undo.empty()) {
                emit undoAvailable(false);
            }
            outcome.error = u"这一步没有撤销：%1"_s.arg(outcome.error);
        }
        report(outcome, m_table.numbering(), false);
        return false;
    }
    m_undo.pop_back();
    // A record that came back under a new key is followed by the older steps that name it.
    for (const auto& [from, to] : outcome.rekeyed) {
        for (store::Change& older : m_undo) {
            older.rekey(from, to);
        }
    }
    if (rows) {
        rows->clear();
        for (const std::int64_t id : change.ids()) {
            rows->push_back(m_table.rowOf(id));
        }
        for (const auto& [from, to] : outcome.rekeyed) {
            rows->push_back(m_table.rowOf(to));
        }
        std::erase(*rows, -1);
        std::ranges::sort(*rows);
    }
    if (!outcome.rekeyed.empty()) {
        outcome.warning = u"%1条记录原来的位置已被其他程序占用，已放回表格末尾"_s.arg(outcome.rekeyed.size());
    }
    report(outcome, m_table.numbering(), true);
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
    emit aboutToWrite();
    beginResetModel();
    m_table.refresh();
    endResetModel();
    return true;
}

} // namespace telvane::editor
