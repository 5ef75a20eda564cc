#pragma once

#include "store/record.h"

#include <QList>
#include <QSqlDatabase>
#include <QSqlTableModel>
#include <QStringList>

#include <array>
#include <functional>

namespace telvane::editor {

// One cell to write: grid row and field (0-based, in field order) and the new text.
struct CellWrite
{
    int row = 0;
    int field = 0;
    QString text;
};

// The grid's data source: table `directory` of the store, rows in id order, every row fetched after each select so
// that no read stays open on the connection. Single cell edits are written at once (OnFieldChange); block edits,
// appends and deletes go through one transaction each. After every write the WAL is checkpointed so the store file
// alone is complete while the program is idle. A failed write is reported by writeFailed() and the grid is reloaded
// from the file, so it never shows a value that is not stored.
class StoreTableModel : public QSqlTableModel
{
    Q_OBJECT
public:
    StoreTableModel(QObject* parent, const QSqlDatabase& db);

    // Binds to table `directory` and loads every record. False, with the reason, when the table is not usable.
    bool bind(QString* error);
    // select() followed by fetchMore() until every row is in.
    bool selectAll();

    int idColumn() const { return m_idColumn; }
    // Model column of field 0..6, and the field shown in a model column (-1 for the id column).
    int columnOfField(int field) const { return m_columnOfField[static_cast<std::size_t>(field)]; }
    int fieldOfColumn(int column) const;

    // A field text as it may be stored: line breaks and tabs become spaces (a field is one line), cut to the
    // field's width in GB18030 bytes at a character boundary, never null.
    static QString fieldText(const QString& text, int field);

    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // Writes the cells and appends the new records (seven texts each, field order) in one transaction.
    bool writeBlock(const QList<CellWrite>& cells, const QList<QStringList>& newRecords);
    // Removes the records shown in the given rows, in one transaction.
    bool removeRecords(const QList<int>& rows);
    // Appends one empty record; its row, or -1.
    int appendEmpty();

    // The store's change counter for writes by other connections (PRAGMA data_version); -1 when unknown.
    qint64 dataVersion();

signals:
    void writeFailed(const QString& reason);

private:
    bool fail(const QString& reason);
    // Runs `work` in one transaction and checkpoints; `work` returns the reason of a failure, or empty text. Any
    // failure rolls everything back, reloads the grid from the file and reports the reason.
    bool writeInTransaction(const std::function<QString(QSqlDatabase&)>& work);
    // Whether DHB.EDB was deleted or renamed over since this connection opened it. SQLite would go on writing into
    // the old, unlinked file, and the edits would be lost while the grid showed them as saved.
    bool storeMoved(QString* reason) const;
    void checkpoint();
    QString quotedField(int field) const;

    std::array<int, store::kFieldCount> m_columnOfField {};
    int m_idColumn = -1;
};

} // namespace telvane::editor
