#pragma once

#include "contacts/contact_list.h"
#include "contacts/table_reader.h"

#include <QByteArrayView>
#include <QString>

// Spreadsheet files (.xlsx, .ods): the cells of the first sheet as text, read with liborcus. A number appears as a
// sheet shows it in its general format: a whole number in all its digits (a mobile number stored as a number is
// 13912345678, not 1.3912345678E10), a fraction with up to 15 significant digits. A formula gives the result the
// file stored with it; a date is written year-month-day.
namespace telvane::contacts {

enum class SheetFormat { None, Xlsx, Ods };

// Which spreadsheet format the bytes are (by their content, not a file name).
SheetFormat detectSheetFormat(QByteArrayView file);

// The first sheet as rows of cells, up to its last row and column that hold something (at most 1,024 columns).
// False, with the reason, when the file cannot be read as a spreadsheet.
bool readSheetTable(QByteArrayView file, Table* table, QString* error = nullptr);

// The first sheet's rows as contactsFromTable() reads them.
bool readSheet(QByteArrayView file, ContactList* list, QString* error = nullptr);

} // namespace telvane::contacts
