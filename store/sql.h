#pragma once

#include "store/fields.h"

#include <cstddef>
#include <string>
#include <string_view>

// The SQL of table `directory`, every column list, placeholder and condition made from the field table
// (store/fields.h): a field added there reaches every statement.
namespace telvane::store::sql {

// A field's column name, quoted; and all of them in field order.
std::string column(std::size_t field);
std::string columns();
// "?first, ?first+1, ..." for the fields.
std::string placeholders(int first);

// The table as this program makes it, under `name`. AUTOINCREMENT: a key is never given again, not even the key of
// the last record after it was deleted, by any program that writes the file.
std::string createTable(std::string_view name);

// id and the fields of every record, in store order.
std::string selectAll();
// id and the fields of the records after key ?1, in store order; the fields not in `read` as empty texts (SQLite
// then never unpacks them).
std::string selectAfter(const FieldSet& read = kAllFields);
// id and the fields of the records with keys ?1 to ?2, in store order; the same.
std::string selectRange(const FieldSet& read = kAllFields);
// The fields of the record with key ?1.
std::string selectByKey();

// A new record with the fields ?1...
std::string insert();
// A record with key ?1 and the fields ?2...; nothing when the key is taken.
std::string insertWithKey();
// The record with key ?N+1 gets the fields ?1..?N, if it still holds the fields ?N+2... (N fields).
std::string updateExpected();
// The record with key ?1 goes, if it still holds the fields ?2...
std::string deleteExpected();
// Where updateExpected() takes the key: after the new fields.
inline constexpr int kUpdateKey = static_cast<int>(kFieldCount) + 1;

} // namespace telvane::store::sql
