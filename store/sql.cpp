#include "store/sql.h"

#include "store/fields.h"

#include <initializer_list>

namespace telvane::store::sql {

namespace {

// The pieces one after the other. Statements are built by appending only: GCC 12 at -O3 takes a text inserted
// before a temporary string ("a" + s) for an overlapping copy and warns.
std::string cat(std::initializer_list<std::string_view> pieces)
{
    std::string s;
    for (const std::string_view piece : pieces) {
        s += piece;
    }
    return s;
}

// "id = ?first AND f1 = ?first+1 ...": the record with that key holds exactly those texts. A field a foreign
// program left NULL reads as the empty text, as the program shows it.
std::string holdsRecord(int first)
{
    std::string s = cat({"id = ?", std::to_string(first)});
    for (std::size_t f = 0; f < kFieldCount; ++f) {
        s += cat({" AND coalesce(", column(f), ", '') = ?", std::to_string(first + 1 + static_cast<int>(f))});
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

namespace {

std::string columnsRead(const FieldSet& read)
{
    std::string s;
    for (std::size_t f = 0; f < kFieldCount; ++f) {
        if (f > 0) {
            s += ", ";
        }
        s += read[f] ? column(f) : std::string("''");
    }
    return s;
}

} // namespace

std::string placeholders(int first)
{
    std::string s;
    for (std::size_t f = 0; f < kFieldCount; ++f) {
        if (f > 0) {
            s += ", ";
        }
        s += '?';
        s += std::to_string(first + static_cast<int>(f));
    }
    return s;
}

std::string createTable(std::string_view name)
{
    std::string sql = "CREATE TABLE \"";
    sql += name;
    sql += "\" (id INTEGER PRIMARY KEY AUTOINCREMENT";
    for (std::size_t f = 0; f < kFieldCount; ++f) {
        sql += cat({", ", column(f), " TEXT NOT NULL DEFAULT ''"});
    }
    return sql + ")";
}

std::string selectAll()
{
    return cat({"SELECT id, ", columns(), " FROM directory ORDER BY id"});
}

std::string selectAfter(const FieldSet& read)
{
    return cat({"SELECT id, ", columnsRead(read), " FROM directory WHERE id > ?1 ORDER BY id"});
}

std::string selectRange(const FieldSet& read)
{
    // By key range, never by OFFSET: a read near the end of a million rows costs what one near the start does.
    return cat({"SELECT id, ", columnsRead(read), " FROM directory WHERE id BETWEEN ?1 AND ?2 ORDER BY id"});
}

std::string selectByKey()
{
    return cat({"SELECT ", columns(), " FROM directory WHERE id = ?1"});
}

std::string insert()
{
    return cat({"INSERT INTO directory (", columns(), ") VALUES (", placeholders(1), ")"});
}

std::string insertWithKey()
{
    return cat({"INSERT OR IGNORE INTO directory (id, ", columns(), ") VALUES (?1, ", placeholders(2), ")"});
}

std::string updateExpected()
{
    std::string sql = "UPDATE directory SET ";
    for (std::size_t f = 0; f < kFieldCount; ++f) {
        sql += cat({f ? ", " : "", column(f), " = ?", std::to_string(f + 1)});
    }
    return cat({sql, " WHERE ", holdsRecord(kUpdateKey)});
}

std::string deleteExpected()
{
    return cat({"DELETE FROM directory WHERE ", holdsRecord(1)});
}

} // namespace telvane::store::sql
