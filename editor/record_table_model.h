#pragma once

#include "store/record_table.h"

#include <QAbstractTableModel>

#include <vector>

namespace telvane::editor {

// The grid's data source: the store's records, one row each in store order, seven columns in field order. Rows are
// read from the file as the grid shows them. Every change is written at once and can be taken back, several steps
// deep, for the life of the model. A failed write leaves the store and the grid as they were and says why through
// writeFailed().
class RecordTableModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    // The model shows `table`, which outlives it; open the table first.
    explicit RecordTableModel(store::RecordTable& table, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

    // Writes the cells (row, field 0..6, text) and adds the records after the last row, as one undoable step.
    bool writeBlock(const std::vector<store::RecordTable::CellWrite>& cells,
                    const std::vector<store::RecordTexts>& newRecords);
    // Removes the records in the given rows, as one undoable step.
    bool removeRecords(const std::vector<int>& rows);
    // Adds one empty record after the last row; its row, or -1.
    int appendEmpty();
    // Takes back the latest step; false when there is none or it could not be taken back. A step that another
    // program's write stands in the way of is dropped (it could never be taken back). The rows it touched are
    // returned in *rows (first of them first) so the grid can show them.
    bool undo(std::vector<int>* rows = nullptr);
    bool canUndo() const { return !m_undo.empty(); }
    // The rows of the records the last successful write wrote or added, in order.
    std::vector<int> lastWrittenRows() const;

    // Reads the store again when another connection wrote since the last look; true when it did.
    bool followOtherWriters();
    // The row of a record id, or -1; the id in a row.
    int rowOf(std::int64_t id) const { return m_table.rowOf(id); }
    std::int64_t idAt(int row) const { return m_table.idAt(row); }
    // The record in a row as the grid shows it.
    store::RecordTexts recordAt(int row) const { return m_table.record(row); }

signals:
    // A write, an undo or a reading of other writers' changes is about to start: the rows are still numbered as
    // shown (they may be numbered anew by the time the model is reset).
    void aboutToWrite();
    // A write refused or failed: nothing of it was written.
    void writeFailed(const QString& reason);
    // A write went in, with something the user must know (cells cut to their width, the file not yet complete).
    void notice(const QString& text);
    void undoAvailable(bool available);

private:
    bool record(store::Change&& change);
    // Shows the rows as the table now numbers them and tells what the outcome says.
    void report(const store::WriteOutcome& outcome, std::uint64_t numbering, bool written);

    store::RecordTable& m_table;
    std::vector<store::Change> m_undo;
    std::vector<std::int64_t> m_lastWritten;
};

} // namespace telvane::editor
