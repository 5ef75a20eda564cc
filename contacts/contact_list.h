#pragma once

#include "contacts/encoding.h"
#include "store/record.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

// What the contacts readers give: records of seven one-line texts in field order (name, unit, remark, office, home,
// mobile, PHS), untidied. The import tidies them and applies the widths as it does with pasted columns, so whatever
// is cut is counted there, once, for every source alike.
namespace telvane::contacts {

using store::RecordTexts;

// What reading a file found besides its records, for the import window's label and the command line's messages.
struct ReadReport
{
    TextEncoding encoding = TextEncoding::Utf8; // of a text file (vCard, CSV)
    int skippedEmpty = 0; // cards or rows holding none of the seven fields (an e-mail address only, a blank row)
    int numbersElsewhere = 0; // telephone numbers put into a field their type does not name (or that had no type)
    int numbersInRemark = 0; // telephone numbers appended to the remark because every phone field was taken
    bool header = false; // a table's first row named its columns
    int columnsIgnored = 0; // table columns that feed no field (unknown heading, or beyond the seventh)
};

struct ContactList
{
    QList<RecordTexts> records;
    ReadReport report;
};

// The records as the import window's seven boxes take a multi-column paste: column k holds field k of every record.
QList<QStringList> toColumns(const QList<RecordTexts>& records);

} // namespace telvane::contacts
