#include "editor/store_table_model.h"

#include "text/gbk.h"

#include <QSet>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>

#include <algorithm>
#include <functional>
#include <optional>

#include <sqlite3.h>

using namespace Qt::StringLiterals;

namespace telvane::editor {

namespace {

// Up to this many changed rows are re-read one by one; a larger block reloads the whole grid.
constexpr int kRowRefreshLimit = 256;

QString fieldName(int field)
{
    const auto name = store::kFields[static_cast<std::size_t>(field)].name;
    return QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
}

QString errorText(const QSqlError& error)
{
    const QString text = error.text().trimmed();
    return text.isEmpty() ? u"unknown error"_s : text;
}

} // namespace

StoreTableModel::StoreTableModel(QObject* parent, const QSqlDatabase& db)
    : QSqlTableModel(parent, db)
{
    m_columnOfField.fill(-1);
}

bool StoreTableModel::bind(QString* error)
{
    setTable(u"directory"_s);
    const QSqlRecord columns = record();
    m_idColumn = columns.indexOf(u"id"_s);
    for (std::size_t f = 0; f < store::kFieldCount; ++f) {
        m_columnOfField[static_cast<std::size_t>(f)] = columns.indexOf(fieldName(f));
    }
    const bool complete = m_idColumn >= 0 && std::ranges::none_of(m_columnOfField, [](int c) { return c < 0; });
    if (!complete) {
        if (error) {
            *error = u"table directory lacks the id key or one of the seven fields"_s;
        }
        return false;
    }
    for (std::size_t f = 0; f < store::kFieldCount; ++f) {
        setHeaderData(columnOfField(f), Qt::Horizontal, fieldName(f));
    }
    setEditStrategy(QSqlTableModel::OnFieldChange);
    setSort(m_idColumn, Qt::AscendingOrder);
    if (!selectAll()) {
        if (error) {
            *error = errorText(lastError());
        }
        return false;
    }
    return true;
}

bool StoreTableModel::selectAll()
{
    if (!select()) {
        return false;
    }
    while (canFetchMore()) {
        fetchMore();
    }
    return true;
}

int StoreTableModel::fieldOfColumn(int column) const
{
    const auto it = std::ranges::find(m_columnOfField, column);
    return it == m_columnOfField.end() ? -1 : static_cast<int>(it - m_columnOfField.begin());
}

QString StoreTableModel::fieldText(const QString& text, int field)
{
    QString line = text;
    for (QChar& c : line) {
        if (c == u'\t' || c == u'\r' || c == u'\n') {
            c = u' ';
        }
    }
    QString cut = text::leftBytes(line, static_cast<std::size_t>(store::kFields[static_cast<std::size_t>(field)].width));
    // A null text would be bound as SQL NULL; the store keeps empty fields as empty text.
    return cut.isNull() ? u""_s : cut;
}

bool StoreTableModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    const int field = index.isValid() ? fieldOfColumn(index.column()) : -1;
    if (role != Qt::EditRole || field < 0) {
        return false;
    }
    const QString text = fieldText(value.toString(), field);
    if (text == data(index, Qt::EditRole).toString() && !data(index, Qt::EditRole).isNull()) {
        return true;
    }
    if (QString reason; storeMoved(&reason)) {
        emit writeFailed(reason);
        return false;
    }
    if (!QSqlTableModel::setData(index, text, role)) {
        // Only the edited row went wrong: put back what it held. A reload here would pull the grid from under the
        // cell editor that is committing this value.
        const QString reason = errorText(lastError());
        revertAll();
        emit writeFailed(reason);
        return false;
    }
    checkpoint();
    return true;
}

Qt::ItemFlags StoreTableModel::flags(const QModelIndex& index) const
{
    Qt::ItemFlags f = QSqlTableModel::flags(index);
    if (index.isValid() && index.column() == m_idColumn) {
        f &= ~Qt::ItemIsEditable;
    }
    return f;
}

bool StoreTableModel::writeBlock(const QList<CellWrite>& cells, const QList<QStringList>& newRecords)
{
    if (cells.isEmpty() && newRecords.isEmpty()) {
        return true;
    }
    QSet<int> rows;
    const bool written = writeInTransaction([&](QSqlDatabase& db) {
        QString reason;
        std::array<std::optional<QSqlQuery>, store::kFieldCount> updates;
        for (const CellWrite& cell : cells) {
            if (cell.field < 0 || cell.field >= static_cast<int>(store::kFieldCount) || cell.row < 0 || cell.row >= rowCount()) {
                continue;
            }
            auto& update = updates[static_cast<std::size_t>(cell.field)];
            if (!update) {
                update.emplace(db);
                update->prepare(u"UPDATE directory SET %1 = ? WHERE id = ?"_s.arg(quotedField(cell.field)));
            }
            QSqlQuery& q = *update;
            q.bindValue(0, fieldText(cell.text, cell.field));
            q.bindValue(1, data(index(cell.row, m_idColumn)));
            if (!q.exec()) {
                reason = errorText(q.lastError());
                break;
            }
            rows.insert(cell.row);
        }
        if (reason.isEmpty() && !newRecords.isEmpty()) {
            QStringList names;
            for (std::size_t f = 0; f < store::kFieldCount; ++f) {
                names << quotedField(f);
            }
            QSqlQuery insert(db);
            insert.prepare(u"INSERT INTO directory (%1) VALUES (?, ?, ?, ?, ?, ?, ?)"_s.arg(names.join(u", "_s)));
            for (const QStringList& fields : newRecords) {
                for (std::size_t f = 0; f < store::kFieldCount; ++f) {
                    insert.bindValue(f, fieldText(fields.value(f), f));
                }
                if (!insert.exec()) {
                    reason = errorText(insert.lastError());
                    break;
                }
            }
        }
        return reason;
    });
    if (!written) {
        return false;
    }
    if (!newRecords.isEmpty() || rows.size() > kRowRefreshLimit) {
        selectAll();
    } else {
        for (int row : rows) {
            selectRow(row);
        }
    }
    return true;
}

bool StoreTableModel::removeRecords(const QList<int>& rows)
{
    QList<QVariant> ids;
    for (int row : rows) {
        if (row >= 0 && row < rowCount()) {
            ids << data(index(row, m_idColumn));
        }
    }
    if (ids.isEmpty()) {
        return true;
    }
    const bool written = writeInTransaction([&](QSqlDatabase& db) {
        QSqlQuery remove(db);
        remove.prepare(u"DELETE FROM directory WHERE id = ?"_s);
        for (const QVariant& id : ids) {
            remove.bindValue(0, id);
            if (!remove.exec()) {
                return errorText(remove.lastError());
            }
        }
        return QString();
    });
    if (written) {
        selectAll();
    }
    return written;
}

int StoreTableModel::appendEmpty()
{
    QSqlRecord empty = record();
    empty.setGenerated(m_idColumn, false);
    for (std::size_t f = 0; f < store::kFieldCount; ++f) {
        empty.setValue(columnOfField(f), u""_s);
        empty.setGenerated(columnOfField(f), true);
    }
    if (QString reason; storeMoved(&reason)) {
        fail(reason);
        return -1;
    }
    const int row = rowCount();
    if (!insertRecord(row, empty)) {
        fail(errorText(lastError()));
        return -1;
    }
    checkpoint();
    return row;
}

qint64 StoreTableModel::dataVersion()
{
    QSqlQuery q(database());
    if (!q.exec(u"PRAGMA data_version"_s) || !q.next()) {
        return -1;
    }
    const qint64 version = q.value(0).toLongLong();
    q.finish();
    return version;
}

bool StoreTableModel::writeInTransaction(const std::function<QString(QSqlDatabase&)>& work)
{
    if (QString reason; storeMoved(&reason)) {
        return fail(reason);
    }
    QSqlDatabase db = database();
    if (!db.transaction()) {
        return fail(errorText(db.lastError()));
    }
    QString reason = work(db);
    if (reason.isEmpty() && !db.commit()) {
        reason = errorText(db.lastError());
    }
    if (!reason.isEmpty()) {
        db.rollback();
        return fail(reason);
    }
    checkpoint();
    return true;
}

bool StoreTableModel::fail(const QString& reason)
{
    // Drop whatever the grid holds that is not in the file and show the file as it is.
    revertAll();
    selectAll();
    emit writeFailed(reason);
    return false;
}

bool StoreTableModel::storeMoved(QString* reason) const
{
    const QVariant handle = database().driver()->handle();
    if (qstrcmp(handle.typeName(), "sqlite3*") != 0) {
        return false;
    }
    sqlite3* db = *static_cast<sqlite3* const*>(handle.constData());
    int moved = 0;
    if (db && sqlite3_file_control(db, "main", SQLITE_FCNTL_HAS_MOVED, &moved) == SQLITE_OK && moved) {
        *reason = u"DHB.EDB已被删除或替换，修改未保存"_s;
        return true;
    }
    return false;
}

void StoreTableModel::checkpoint()
{
    QSqlQuery q(database());
    if (q.exec(u"PRAGMA wal_checkpoint(TRUNCATE)"_s)) {
        q.next();
    }
    q.finish();
}

QString StoreTableModel::quotedField(int field) const
{
    return database().driver()->escapeIdentifier(fieldName(field), QSqlDriver::FieldName);
}

} // namespace telvane::editor
