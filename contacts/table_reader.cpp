#include "contacts/table_reader.h"

#include "contacts/contact_assembly.h"
#include "store/fields.h"
#include "text/gbk.h"

#include <QRegularExpression>

#include <algorithm>
#include <array>
#include <map>

using namespace Qt::StringLiterals;

namespace telvane::contacts {

namespace {

using detail::Contact;
using detail::Phone;
using detail::PhoneKind;

enum class Target {
    None,
    Name,
    GivenName,
    FamilyName,
    Unit,
    Remark,
    Office,
    Home,
    Mobile,
    Phs,
    OtherPhone,
    PhoneType, // "Phone 1 - Type": the type of the number in the value column of the same number
    PhoneValue,
};

struct Column
{
    Target target = Target::None;
    int phone = 0; // the number of a "Phone n - ..." column
};

// Column names as address books, spreadsheets and this program's own export write them, lower case.
struct Alias
{
    Target target;
    std::initializer_list<std::u16string_view> names;
};
const std::array<Alias, 11> kAliases {{
    {Target::Name,
     {u"姓名", u"名字", u"联系人", u"联系人姓名", u"name", u"full name", u"fullname", u"display name", u"displayname",
      u"contact name", u"显示名称"}},
    {Target::GivenName, {u"first name", u"given name", u"firstname", u"givenname", u"名"}},
    {Target::FamilyName, {u"last name", u"family name", u"surname", u"lastname", u"familyname", u"姓"}},
    {Target::Unit,
     {u"单位", u"单位名", u"单位名称", u"工作单位", u"公司", u"公司名称", u"company", u"company name", u"organization",
      u"organisation", u"organization name", u"organization 1 - name", u"org"}},
    {Target::Remark, {u"备注", u"附注", u"说明", u"notes", u"note", u"remark", u"remarks", u"comment", u"comments"}},
    {Target::Office,
     {u"办公", u"办公电话", u"单位电话", u"工作电话", u"公司电话", u"商务电话", u"work phone", u"business phone",
      u"office phone"}},
    {Target::Home, {u"家里", u"家庭电话", u"住宅电话", u"家里电话", u"家庭", u"home phone"}},
    {Target::Mobile,
     {u"手机", u"手机号", u"手机号码", u"移动电话", u"mobile", u"mobile phone", u"cell", u"cell phone", u"cellphone",
      u"mobile number"}},
    {Target::Phs, {u"小灵通", u"小灵通号码", u"phs"}},
    {Target::OtherPhone,
     {u"电话", u"电话号码", u"联系电话", u"其他电话", u"phone", u"telephone", u"phone number", u"other phone",
      u"primary phone", u"company main phone", u"business phone 2", u"home phone 2", u"car phone", u"商务电话 2",
      u"住宅电话 2", u"主要电话", u"公司代表电话", u"车载电话"}},
    {Target::None, {}},
}};

Column columnOf(const QString& heading)
{
    const QString name = heading.simplified().toLower();
    if (name.isEmpty()) {
        return {};
    }
    static const QRegularExpression googlePhone(u"^phone (\\d+) - (type|label|value)$"_s);
    if (const QRegularExpressionMatch match = googlePhone.match(name); match.hasMatch()) {
        return {match.captured(2) == u"value"_s ? Target::PhoneValue : Target::PhoneType, match.captured(1).toInt()};
    }
    for (const Alias& alias : kAliases) {
        if (std::any_of(alias.names.begin(), alias.names.end(),
                        [&name](std::u16string_view n) { return QStringView(n) == name; })) {
            return {alias.target, 0};
        }
    }
    return {};
}

// A first row names the columns when it names at least one field and holds no telephone number (five digits in a
// row), which a row of data would.
bool isHeader(const QStringList& row, const QList<Column>& columns)
{
    static const QRegularExpression number(u"\\d{5}"_s);
    const bool named =
        std::any_of(columns.begin(), columns.end(), [](const Column& c) { return c.target != Target::None; });
    return named && std::none_of(row.begin(), row.end(), [](const QString& cell) { return cell.contains(number); });
}

bool isEmptyRecord(const RecordTexts& record)
{
    return std::all_of(record.begin(), record.end(), [](const QString& field) { return field.isEmpty(); });
}

ContactList byHeader(const Table& table, const QList<Column>& columns)
{
    ContactList list;
    list.report.header = true;
    for (qsizetype j = 0; j < columns.size(); ++j) {
        if (columns[j].target == Target::None && !table.front()[j].trimmed().isEmpty()) {
            ++list.report.columnsIgnored;
        }
    }
    std::map<int, qsizetype> phoneTypes; // "Phone n - Type" column of each n
    for (qsizetype j = 0; j < columns.size(); ++j) {
        if (columns[j].target == Target::PhoneType) {
            phoneTypes.emplace(columns[j].phone, j);
        }
    }
    for (qsizetype r = 1; r < table.size(); ++r) {
        const QStringList& row = table[r];
        Contact contact;
        QString given;
        QString family;
        for (qsizetype j = 0; j < columns.size() && j < row.size(); ++j) {
            const QString cell = text::cellLine(row[j]);
            if (cell.isEmpty()) {
                continue;
            }
            switch (columns[j].target) {
                case Target::None:
                case Target::PhoneType:
                    break;
                case Target::Name:
                    if (contact.name.isEmpty()) {
                        contact.name = cell;
                    }
                    break;
                case Target::GivenName:
                    given = given.isEmpty() ? cell : given;
                    break;
                case Target::FamilyName:
                    family = family.isEmpty() ? cell : family;
                    break;
                case Target::Unit:
                    if (contact.unit.isEmpty()) {
                        contact.unit = cell;
                    }
                    break;
                case Target::Remark:
                    contact.remarks.append(cell);
                    break;
                case Target::Office:
                    contact.phones.append({cell, PhoneKind::Office, false});
                    break;
                case Target::Home:
                    contact.phones.append({cell, PhoneKind::Home, false});
                    break;
                case Target::Mobile:
                    contact.phones.append({cell, PhoneKind::Mobile, false});
                    break;
                case Target::Phs:
                    contact.phones.append({cell, PhoneKind::Phs, false});
                    break;
                case Target::OtherPhone:
                    contact.phones.append({cell, PhoneKind::Other, false});
                    break;
                case Target::PhoneValue: {
                    const auto type = phoneTypes.find(columns[j].phone);
                    const PhoneKind kind = type != phoneTypes.end() && type->second < row.size()
                                               ? detail::kindFromLabel(row[type->second])
                                               : PhoneKind::Other;
                    // Several numbers of one type share a cell, separated by " ::: ".
                    for (const QString& number : cell.split(u":::"_s)) {
                        contact.phones.append({number.trimmed(), kind, false});
                    }
                    break;
                }
            }
        }
        if (contact.name.isEmpty()) {
            contact.name = detail::joinName(family, given);
        }
        const RecordTexts record = detail::assemble(contact, list.report);
        if (isEmptyRecord(record)) {
            ++list.report.skippedEmpty;
        } else {
            list.records.append(record);
        }
    }
    return list;
}

ContactList inOrder(const Table& table)
{
    ContactList list;
    qsizetype ignored = 0;
    for (const QStringList& row : table) {
        RecordTexts record;
        for (qsizetype j = 0; j < row.size(); ++j) {
            const QString cell = text::cellLine(row[j]);
            if (j >= static_cast<qsizetype>(store::kFieldCount)) {
                if (!cell.isEmpty()) {
                    ignored = std::max(ignored, j + 1 - static_cast<qsizetype>(store::kFieldCount));
                }
                continue;
            }
            const auto k = static_cast<std::size_t>(j);
            record[k] = cell;
        }
        if (isEmptyRecord(record)) {
            ++list.report.skippedEmpty;
        } else {
            list.records.append(record);
        }
    }
    list.report.columnsIgnored = static_cast<int>(ignored);
    return list;
}

} // namespace

ContactList contactsFromTable(const Table& table)
{
    if (table.isEmpty()) {
        return {};
    }
    QList<Column> columns;
    for (const QString& heading : table.front()) {
        columns.append(columnOf(heading));
    }
    return isHeader(table.front(), columns) ? byHeader(table, columns) : inOrder(table);
}

QChar detectSeparator(QStringView text)
{
    constexpr std::array<char16_t, 3> kCandidates {u'\t', u',', u';'};
    constexpr int kLines = 20;
    std::array<QList<int>, 3> counts; // per candidate, its count in each line
    std::array<int, 3> line {};
    bool quoted = false;
    int lines = 0;
    for (qsizetype i = 0; i < text.size() && lines < kLines; ++i) {
        const QChar c = text[i];
        if (c == u'"') {
            quoted = !quoted;
        } else if (!quoted && (c == u'\n' || c == u'\r')) {
            if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') {
                ++i;
            }
            for (std::size_t k = 0; k < kCandidates.size(); ++k) {
                counts[k].append(line[k]);
                line[k] = 0;
            }
            ++lines;
        } else if (!quoted) {
            for (std::size_t k = 0; k < kCandidates.size(); ++k) {
                line[k] += c == kCandidates[k] ? 1 : 0;
            }
        }
    }
    if (lines < kLines) {
        for (std::size_t k = 0; k < kCandidates.size(); ++k) {
            counts[k].append(line[k]);
        }
    }
    // The separator is in the first line, and in as many of the others as often as there; a tie goes to the one
    // found more often in the first line, then to tab, comma, semicolon in this order.
    std::size_t best = 1;
    int bestSame = -1;
    int bestFirst = 0;
    for (std::size_t k = 0; k < kCandidates.size(); ++k) {
        const int first = counts[k].value(0);
        if (first == 0) {
            continue;
        }
        const int same = static_cast<int>(std::count(counts[k].begin(), counts[k].end(), first));
        if (same > bestSame || (same == bestSame && first > bestFirst)) {
            best = k;
            bestSame = same;
            bestFirst = first;
        }
    }
    return QChar(kCandidates[best]);
}

Table parseCsv(QStringView text, QChar separator)
{
    Table rows;
    QStringList row;
    QString cell;
    enum class State { CellStart, Plain, Quoted, AfterQuote } state = State::CellStart;
    auto endCell = [&] {
        row.append(cell);
        cell.clear();
        state = State::CellStart;
    };
    auto endRow = [&] {
        endCell();
        rows.append(row);
        row.clear();
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        const bool lineEnd = c == u'\r' || c == u'\n';
        if (lineEnd && state != State::Quoted) {
            if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') {
                ++i;
            }
            endRow();
            continue;
        }
        switch (state) {
            case State::CellStart:
                if (c == u'"') {
                    state = State::Quoted;
                } else if (c == separator) {
                    endCell();
                } else {
                    cell += c;
                    state = State::Plain;
                }
                break;
            case State::Plain:
            case State::AfterQuote:
                if (c == separator) {
                    endCell();
                } else {
                    cell += c;
                    state = State::Plain;
                }
                break;
            case State::Quoted:
                if (c == u'"') {
                    if (i + 1 < text.size() && text[i + 1] == u'"') {
                        cell += c;
                        ++i;
                    } else {
                        state = State::AfterQuote;
                    }
                } else {
                    cell += c;
                }
                break;
        }
    }
    if (state != State::CellStart || !row.isEmpty() || !cell.isEmpty()) {
        endRow();
    }
    return rows;
}

ContactList readCsv(QByteArrayView file)
{
    TextEncoding encoding;
    QString text = decodeText(file, &encoding);
    QChar separator;
    // A first line sep=; names the separator (spreadsheets write and read it).
    static const QRegularExpression hint(u"^sep=(.)\\r?\\n"_s);
    if (const QRegularExpressionMatch match = hint.match(text); match.hasMatch()) {
        separator = match.captured(1).front();
        text.remove(0, match.capturedLength());
    } else {
        separator = detectSeparator(text);
    }
    ContactList list = contactsFromTable(parseCsv(text, separator));
    list.report.encoding = encoding;
    return list;
}

} // namespace telvane::contacts
