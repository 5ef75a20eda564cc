#pragma once

#include "contacts/contact_list.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <functional>

// Writes records for phones and spreadsheets.
//
// vCard: one UTF-8 vCard 3.0 text that phones' address books import: N and FN, ORG, NOTE, one TEL per
// telephone field (office as WORK,VOICE; home as HOME,VOICE; mobile as CELL,VOICE; the PHS number grouped with the
// label 小灵通), lines ended by CR LF and folded at 75 octets without splitting a character. A Chinese name is split
// into family and given name, and its pinyin goes into X-PHONETIC-LAST-NAME and X-PHONETIC-FIRST-NAME, by which
// phones sort Chinese names. Reading the text back gives the same records.
namespace telvane::contacts {

// The pinyin of a Chinese text, one syllable per character in lower case without tones ("zhang", "san");
// `asSurname` reads the text as a family name, which some characters read differently (曾 zeng, 单 shan). An empty
// list when the text cannot be read.
using PhoneticReading = std::function<QStringList(QStringView text, bool asSurname)>;

struct NameParts
{
    QString family;
    QString given;
};

// A name written in Chinese characters only (the store keeps names typed in Latin letters as full-width letters).
bool isChineseName(QStringView name);
// A Chinese name's family name: its first two characters when they are a compound family name and a given name
// follows, else its first character. A name that is not Chinese is all given name.
NameParts splitName(QStringView name);

// Appends the card of one record (seven field texts in field order). A record whose seven fields are all empty has
// nothing a phone could show: nothing is appended and the result is false.
bool appendVCard(QByteArray& out, const RecordTexts& record, const PhoneticReading& reading);
// The cards of all records; *written gets the number of cards.
QByteArray writeVCards(const QList<RecordTexts>& records, const PhoneticReading& reading, qsizetype* written = nullptr);

// ---- CSV for spreadsheets -----------------------------------------------------------------------------------------

// A byte-order mark (spreadsheets then read the file as UTF-8) and the row of field names, CR LF.
QByteArray csvHeader();
// One record as a comma-separated row, CR LF; a cell holding a comma, a quote or a line break is quoted.
void appendCsvRow(QByteArray& out, const RecordTexts& record);
QByteArray writeCsv(const QList<RecordTexts>& records);

} // namespace telvane::contacts
