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

// A cell as one line of valid text: each run of line breaks (CR, LF, VT, FF, U+0085, U+2028, U+2029) becomes one
// space, a tab becomes a space, other control characters go, half a surrogate pair becomes U+FFFD, and spaces
// (also ideographic ones) at both ends go.
QString oneLineCell(QStringView cell);

// The records as the import window's seven boxes take a multi-column paste: column k holds field k of every record.
QList<QStringList> toColumns(const QList<RecordTexts>& records);

// A telephone number for a field `width` GBK bytes wide: as written when it fits; otherwise without its separators
// (spaces, hyphens, dots, brackets, slashes) and with a Chinese country prefix (+86, 0086) replaced by the number as
// dialled at home (a mobile as it is, a fixed line after its trunk 0). Phones write numbers for people
// ("+86 139 1234 5678"), which would otherwise lose their last digits to the field's width.
QString fitPhone(QStringView number, std::size_t width);

} // namespace telvane::contacts
