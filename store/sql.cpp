#include "store/sql.h"

#include "store/fields.h"

namespace telvane::store::sql {

namespace {

// "id = ?first AND f1 = ?first+1 ...": the record with that key holds exactly those texts. A field a foreign
// program left NULL reads as the empty text, as the program shows it.
std::string holdsRecord(int first)
{
    std::string s = "id = ?" + std::to_string(first);
    for (std::size_t f = 0; f < kFieldCount; ++f) {
        s += " AND coalesce(" + column(f) + ", '') = ?" + std::to_string(first + 1 + static_cast<int>(f));
    }
    return s;
}

} // namespace

std::string column(std::size_t field)
{
    std::string quoted = "\"";
    quoted += kFields[field].name;
    quoted += '"';
    return quoted;
}

std::string columns()
{
    std::string s;
    for (std::size_t f = 0; f < kFieldCount; ++f) {
        if (f > 0) {
            s += ", ";
        }
        s += column(f);
    }
    return s;
}

std::string placeholders(int first)
{
    std::string s;
    for (std::size_t f = 0; f < kFieldCount; ++f) {
        if (f > 0) {
            s += ", ";
        }
        s += "?" + std::to_string(first + static_cast<int>(f));
    }
    return s;
}

std::string createTable(std::string_view name)
{
    std::string sql = "CREATE TABLE \"";
    sql += name;
    sql += "\" (id INTEGER PRIMARY KEY AUTOINCREMENT";
    for (std::size_t f = 0; f < kFieldCount; ++f) {
        sql += ", " + column(f) + " TEXT NOT NULL DEFAULT ''";
    }
    return sql + ")";
}

std::string selectAll()
{
    return "SELECT id, " + columns() + " FROM directory ORDER BY id";
}

std::string selectAfter()
{
    return "SELECT id, " + columns() + " FROM directory WHERE id > ?1 ORDER BY id";
}

std::string selectRange()
{
    // By key range, never by OFFSET: a read near the end of a million rows costs what one near the start does.
    return "SELECT id, " + columns() + " FROM directory WHERE id BETWEEN ?1 AND ?2 ORDER BY id";
}

std::string selectByKey()
{
    return "SELECT " + columns() + " FROM directory WHERE id = ?1";
}

std::string insert()
{
    return "INSERT INTO directory (" + columns() + ") VALUES (" + placeholders(1) + ")";
}

std::string insertWithKey()
{
    return "INSERT OR IGNORE INTO directory (id, " + columns() + ") VALUES (?1, " + placeholders(2) + ")";
}

std::string updateExpected()
{
    std::string sql = "UPDATE directory SET ";
    for (std::size_t f = 0; f < kFieldCount; ++f) {
        sql += (f ? ", " : "") + column(f) + " = ?" + std::to_string(f + 1);
    }
    return sql + " WHERE " + holdsRecord(kUpdateKey);
}

std::string deleteExpected()
{
    return "DELETE FROM directory WHERE " + holdsRecord(1);
}

} // namespace telvane::store::sql
