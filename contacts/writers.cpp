#include "contacts/writers.h"

#include "store/fields.h"

#include <algorithm>
#include <array>
#include <iterator>
#include <string_view>

using namespace Qt::StringLiterals;

namespace telvane::contacts {

namespace {

// Compound family names, written as one family name of two characters. A pair is listed when it is a family name
// people bear today and its first character is seldom a family name of its own followed by a given name that starts
// with the second; so 单于 and 宗政 are left out (单 and 宗 are common family names, 于 and 政 common first characters
// of given names), and a two-character name is always one family and one given character.
constexpr std::u16string_view kCompoundFamilyNames[] {
    u"欧阳", u"司马", u"诸葛", u"上官", u"司徒", u"东方", u"皇甫", u"慕容", u"令狐", u"夏侯", u"尉迟", u"长孙",
    u"宇文", u"公孙", u"轩辕", u"端木", u"独孤", u"南宫", u"西门", u"澹台", u"公冶", u"濮阳", u"淳于", u"申屠",
    u"钟离", u"呼延", u"赫连", u"闻人", u"万俟", u"拓跋", u"鲜于", u"东郭", u"百里", u"第五", u"司空", u"左丘",
    u"太史", u"歐陽", u"司馬", u"諸葛", u"尉遲", u"長孫", u"軒轅", u"獨孤", u"東方", u"鍾離",
};

bool isIdeograph(char32_t c)
{
    return (c >= 0x3400 && c <= 0x4DBF) || (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0xF900 && c <= 0xFAFF)
           || (c >= 0x20000 && c <= 0x3FFFF);
}

// Text escaped for a vCard 3.0 text value.
QString escaped(QStringView text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        switch (c.unicode()) {
            case u'\\':
                out += u"\\\\"_s;
                break;
            case u',':
                out += u"\\,"_s;
                break;
            case u';':
                out += u"\\;"_s;
                break;
            case u'\n':
                out += u"\\n"_s;
                break;
            case u'\r':
                break;
            default:
                out += c;
        }
    }
    return out;
}

// One content line, folded: no line longer than 75 octets, a continuation starts with a space, and a UTF-8
// character is never cut.
void appendLine(QByteArray& out, const QString& line)
{
    constexpr qsizetype kLimit = 75;
    const QByteArray bytes = line.toUtf8();
    qsizetype at = 0;
    bool first = true;
    while (true) {
        const qsizetype room = first ? kLimit : kLimit - 1;
        if (bytes.size() - at <= room) {
            if (!first) {
                out += ' ';
            }
            out += QByteArrayView(bytes).sliced(at);
            out += "\r\n";
            return;
        }
        qsizetype cut = at + room;
        while (cut > at && (static_cast<unsigned char>(bytes[cut]) & 0xC0) == 0x80) {
            --cut;
        }
        if (!first) {
            out += ' ';
        }
        out += QByteArrayView(bytes).sliced(at, cut - at);
        out += "\r\n";
        at = cut;
        first = false;
    }
}

QString phonetic(const PhoneticReading& reading, QStringView text, bool asSurname)
{
    if (!reading || text.isEmpty()) {
        return {};
    }
    QString joined = reading(text, asSurname).join(QString()).trimmed();
    if (!joined.isEmpty()) {
        joined[0] = joined[0].toUpper();
    }
    return joined;
}

QString csvCell(const QString& cell)
{
    if (!cell.contains(u',') && !cell.contains(u'"') && !cell.contains(u'\r') && !cell.contains(u'\n')) {
        return cell;
    }
    return u'"' + QString(cell).replace(u"\""_s, u"\"\""_s) + u'"';
}

} // namespace

bool isChineseName(QStringView name)
{
    const QList<uint> codes = name.toUcs4();
    return !codes.isEmpty() && std::all_of(codes.begin(), codes.end(), [](uint c) { return isIdeograph(c); });
}

NameParts splitName(QStringView name)
{
    if (!isChineseName(name)) {
        return {QString(), name.toString()};
    }
    const QList<uint> codes = name.toUcs4();
    qsizetype familyLength = 1;
    if (codes.size() >= 3) {
        const QString firstTwo = QString::fromUcs4(reinterpret_cast<const char32_t*>(codes.constData()), 2);
        if (std::any_of(std::begin(kCompoundFamilyNames), std::end(kCompoundFamilyNames),
                        [&firstTwo](std::u16string_view pair) { return QStringView(pair) == firstTwo; })) {
            familyLength = 2;
        }
    }
    const auto* data = reinterpret_cast<const char32_t*>(codes.constData());
    return {QString::fromUcs4(data, familyLength), QString::fromUcs4(data + familyLength, codes.size() - familyLength)};
}

bool appendVCard(QByteArray& out, const RecordTexts& record, const PhoneticReading& reading)
{
    if (std::all_of(record.begin(), record.end(), [](const QString& field) { return field.isEmpty(); })) {
        return false;
    }
    const QString& name = record[store::kName];
    const NameParts parts = splitName(name);
    out += "BEGIN:VCARD\r\nVERSION:3.0\r\n";
    appendLine(out, u"N:"_s + escaped(parts.family) + u';' + escaped(parts.given) + u";;;"_s);
    appendLine(out, u"FN:"_s + escaped(name));
    if (isChineseName(name)) {
        if (const QString family = phonetic(reading, parts.family, true); !family.isEmpty()) {
            appendLine(out, u"X-PHONETIC-LAST-NAME:"_s + escaped(family));
        }
        if (const QString given = phonetic(reading, parts.given, false); !given.isEmpty()) {
            appendLine(out, u"X-PHONETIC-FIRST-NAME:"_s + escaped(given));
        }
    }
    if (!record[store::kUnit].isEmpty()) {
        appendLine(out, u"ORG:"_s + escaped(record[store::kUnit]));
    }
    if (!record[store::kRemark].isEmpty()) {
        appendLine(out, u"NOTE:"_s + escaped(record[store::kRemark]));
    }
    // A number's separators (a comma pauses, a semicolon waits) are written as dialled; only a backslash, which
    // would start an escape, is doubled.
    auto number = [](const QString& text) { return QString(text).replace(u"\\"_s, u"\\\\"_s); };
    const std::array<std::pair<std::size_t, QStringView>, 3> typed {{
        {store::kOffice, u"TEL;TYPE=WORK,VOICE:"},
        {store::kHome, u"TEL;TYPE=HOME,VOICE:"},
        {store::kMobile, u"TEL;TYPE=CELL,VOICE:"},
    }};
    for (const auto& [field, property] : typed) {
        if (!record[field].isEmpty()) {
            appendLine(out, property.toString() + number(record[field]));
        }
    }
    // vCard has no type for a PHS number: it goes with a label, as address books write a number's own label.
    if (!record[store::kPhs].isEmpty()) {
        appendLine(out, u"item1.TEL;TYPE=VOICE:"_s + number(record[store::kPhs]));
        appendLine(out, u"item1.X-ABLabel:小灵通"_s);
    }
    out += "END:VCARD\r\n";
    return true;
}

QByteArray writeVCards(const QList<RecordTexts>& records, const PhoneticReading& reading, qsizetype* written)
{
    QByteArray out;
    qsizetype cards = 0;
    for (const RecordTexts& record : records) {
        cards += appendVCard(out, record, reading) ? 1 : 0;
    }
    if (written) {
        *written = cards;
    }
    return out;
}

QByteArray csvHeader()
{
    QStringList names;
    for (const store::FieldInfo& field : store::kFields) {
        names.append(QString::fromUtf8(field.name.data(), static_cast<qsizetype>(field.name.size())));
    }
    return "\xEF\xBB\xBF" + names.join(u',').toUtf8() + "\r\n";
}

void appendCsvRow(QByteArray& out, const RecordTexts& record)
{
    QString row;
    for (std::size_t k = 0; k < record.size(); ++k) {
        if (k > 0) {
            row += u',';
        }
        row += csvCell(record[k]);
    }
    out += row.toUtf8();
    out += "\r\n";
}

QByteArray writeCsv(const QList<RecordTexts>& records)
{
    QByteArray out = csvHeader();
    for (const RecordTexts& record : records) {
        appendCsvRow(out, record);
    }
    return out;
}

} // namespace telvane::contacts
