#pragma once

#include "contacts/contact_list.h"

#include <QByteArrayView>
#include <QChar>
#include <QList>
#include <QStringList>
#include <QStringView>

// Contacts from tables: CSV and TXT files as spreadsheets and address books save them, and the rows of a sheet.
namespace telvane::contacts {

using Table = QList<QStringList>;

// Records from a table. When its first row names the columns (姓名, 单位, 备注, 办公/办公电话, 家里/家庭电话, 手机,
// 小灵通, and the names address books and spreadsheets use: Name, First Name + Last Name, Company, Notes, Work Phone,
// Home Phone, Mobile Phone, "Phone 1 - Type" with "Phone 1 - Value", ...; case does not matter), the columns feed the
// fields they name and every other column is left out. Otherwise the columns go in field order: the first is the
// name, the second the unit, and so on; columns beyond the seventh are left out. The report counts the columns left
// out that hold something; rows that hold nothing are left out and counted too.
ContactList contactsFromTable(const Table& table);

// The separator of a CSV text: comma, tab or semicolon, judged from the first lines outside quoted cells (a comma
// when none of them occurs there).
QChar detectSeparator(QStringView text);
// Rows of cells as spreadsheets write them: rows end at CR LF, LF or CR outside quotes; a cell that starts with a
// double quote runs to the next lone quote, "" inside it standing for one quote and line breaks belonging to the
// cell; text after the closing quote is kept. A quoted cell that is never closed runs to the end of the text.
Table parseCsv(QStringView text, QChar separator);

// A CSV or TXT file: encoding as found (byte-order mark, strict UTF-8, GB18030), separator as found (or as a first
// line sep=; names it), then the rows as contactsFromTable() reads them.
ContactList readCsv(QByteArrayView file);

} // namespace telvane::contacts
