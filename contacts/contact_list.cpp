#include "contacts/contact_list.h"
#include "contacts/contact_assembly.h"

#include "store/fields.h"
#include "text/gbk.h"

#include <algorithm>
#include <array>

using namespace Qt::StringLiterals;

namespace telvane::contacts {

namespace {

bool isLineBreak(char16_t c)
{
    return c == u'\r' || c == u'\n' || c == 0x0B || c == 0x0C || c == 0x85 || c == 0x2028 || c == 0x2029;
}

// Characters people put between the digits of a telephone number.
bool isPhoneSeparator(QChar c)
{
    switch (c.unicode()) {
        case u'-':
        case u'.':
        case u'(':
        case u')':
        case u'/':
        case 0x2010: // hyphen
        case 0x2011: // non-breaking hyphen
        case 0x2012: // figure dash
        case 0x2013: // en dash
        case 0x2014: // em dash
        case 0xFF08: // full-width brackets, hyphen-minus, full stop and solidus
        case 0xFF09:
        case 0xFF0D:
        case 0xFF0E:
        case 0xFF0F:
            return true;
        default:
            return c.isSpace();
    }
}

} // namespace

QString oneLineCell(QStringView cell)
{
    QString line;
    line.reserve(cell.size());
    for (qsizetype i = 0; i < cell.size(); ++i) {
        const char16_t c = cell[i].unicode();
        if (isLineBreak(c)) {
            while (i + 1 < cell.size() && isLineBreak(cell[i + 1].unicode())) {
                ++i;
            }
            line += u' ';
        } else if (c == u'\t') {
            line += u' ';
        } else if (QChar::isHighSurrogate(c) && i + 1 < cell.size() && cell[i + 1].isLowSurrogate()) {
            line += QChar(c);
            line += cell[++i];
        } else if (QChar::isSurrogate(c)) {
            line += QChar(QChar::ReplacementCharacter); // half a character
        } else if (c >= 0x20 && c != 0x7F) {
            line += QChar(c);
        }
    }
    // The blanks the import's rules trim, and no others: what a record read back holds is what it was written with.
    auto blank = [](QChar c) { return c == u' ' || c == QChar(0x3000); };
    qsizetype start = 0;
    qsizetype end = line.size();
    while (start < end && blank(line[start])) {
        ++start;
    }
    while (end > start && blank(line[end - 1])) {
        --end;
    }
    return line.sliced(start, end - start);
}

QList<QStringList> toColumns(const QList<RecordTexts>& records)
{
    QList<QStringList> columns(static_cast<qsizetype>(store::kFieldCount));
    for (std::size_t k = 0; k < store::kFieldCount; ++k) {
        QStringList& column = columns[static_cast<qsizetype>(k)];
        column.reserve(records.size());
        for (const RecordTexts& record : records) {
            column.append(record[k]);
        }
    }
    return columns;
}

QString fitPhone(QStringView number, std::size_t width)
{
    if (text::byteLength(number) <= width) {
        return number.toString();
    }
    QString compact;
    compact.reserve(number.size());
    for (const QChar c : number) {
        if (!isPhoneSeparator(c)) {
            compact += c;
        }
    }
    qsizetype prefix = 0;
    if (compact.startsWith(u"+86"_s)) {
        prefix = 3;
    } else if (compact.startsWith(u"0086"_s)) {
        prefix = 4;
    }
    if (prefix == 0) {
        return compact;
    }
    const QString rest = compact.mid(prefix);
    // A mobile number is dialled at home as it is; a fixed line (area code, then the number) after the trunk 0,
    // which an international form such as +86 (0)10 … may already show.
    if ((rest.size() == 11 && rest.startsWith(u'1')) || rest.startsWith(u'0')) {
        return rest;
    }
    return u'0' + rest;
}

namespace detail {

bool hasIdeograph(QStringView text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        char32_t c = text[i].unicode();
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(text[i], text[i + 1]);
            ++i;
        }
        if ((c >= 0x3400 && c <= 0x4DBF) || (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0xF900 && c <= 0xFAFF)
            || (c >= 0x20000 && c <= 0x3FFFF)) {
            return true;
        }
    }
    return false;
}

QString joinName(const QString& family, const QString& given)
{
    if (hasIdeograph(family) || hasIdeograph(given)) {
        return family + given;
    }
    if (family.isEmpty() || given.isEmpty()) {
        return family + given;
    }
    return given + u' ' + family;
}

PhoneKind kindFromLabel(QStringView label)
{
    QString l = label.trimmed().toString().toLower();
    // The address book's own labels are written as _$!<Mobile>!$_.
    if (l.startsWith(u"_$!<"_s) && l.endsWith(u">!$_"_s)) {
        l = l.mid(4, l.size() - 8);
    }
    auto any = [&l](std::initializer_list<QStringView> words) {
        return std::any_of(words.begin(), words.end(), [&l](QStringView w) { return l.contains(w); });
    };
    if (any({u"fax", u"传真", u"pager", u"寻呼"})) {
        return PhoneKind::Other;
    }
    if (any({u"cell", u"mobile", u"iphone", u"手机", u"移动"})) {
        return PhoneKind::Mobile;
    }
    if (any({u"小灵通", u"phs"})) {
        return PhoneKind::Phs;
    }
    if (any({u"work", u"business", u"office", u"办公", u"单位", u"工作", u"公司", u"商务"})) {
        return PhoneKind::Office;
    }
    if (any({u"home", u"家", u"住宅"})) {
        return PhoneKind::Home;
    }
    return PhoneKind::Other;
}

RecordTexts assemble(const Contact& contact, ReadReport& report)
{
    RecordTexts record;
    record[store::kName] = oneLineCell(contact.name);
    record[store::kUnit] = oneLineCell(contact.unit);
    QStringList remark;
    for (const QString& part : contact.remarks) {
        if (QString line = oneLineCell(part); !line.isEmpty()) {
            remark.append(line);
        }
    }

    auto fieldOf = [](PhoneKind kind) {
        switch (kind) {
            case PhoneKind::Office:
                return store::kOffice;
            case PhoneKind::Home:
                return store::kHome;
            case PhoneKind::Mobile:
                return store::kMobile;
            case PhoneKind::Phs:
                return store::kPhs;
            case PhoneKind::Other:
                break;
        }
        return store::kName; // no phone field
    };
    auto place = [&record](std::size_t field, const QString& number) {
        record[field] = fitPhone(number, store::kFields[field].width);
    };

    // Numbers with a type first, the preferred ones of a type before the others, each into its own field.
    std::vector<qsizetype> order;
    for (qsizetype i = 0; i < contact.phones.size(); ++i) {
        if (contact.phones[i].kind != PhoneKind::Other) {
            order.push_back(i);
        }
    }
    std::stable_sort(order.begin(), order.end(), [&contact](qsizetype a, qsizetype b) {
        return contact.phones[a].preferred && !contact.phones[b].preferred;
    });
    std::vector<qsizetype> rest;
    for (const qsizetype i : order) {
        const QString number = oneLineCell(contact.phones[i].number);
        const std::size_t field = fieldOf(contact.phones[i].kind);
        if (number.isEmpty()) {
            continue;
        }
        if (record[field].isEmpty()) {
            place(field, number);
        } else {
            rest.push_back(i);
        }
    }
    for (qsizetype i = 0; i < contact.phones.size(); ++i) {
        if (contact.phones[i].kind == PhoneKind::Other) {
            rest.push_back(i);
        }
    }
    std::sort(rest.begin(), rest.end());

    // Then the numbers without a field of their own, in the order the file lists them.
    constexpr std::array kPhoneFields {store::kOffice, store::kHome, store::kMobile, store::kPhs};
    for (const qsizetype i : rest) {
        const QString number = oneLineCell(contact.phones[i].number);
        if (number.isEmpty()) {
            continue;
        }
        const auto* empty = std::find_if(kPhoneFields.begin(), kPhoneFields.end(),
                                         [&record](std::size_t field) { return record[field].isEmpty(); });
        if (empty != kPhoneFields.end()) {
            place(*empty, number);
            ++report.numbersElsewhere;
        } else {
            remark.append(number);
            ++report.numbersInRemark;
        }
    }
    record[store::kRemark] = remark.join(u' ');
    return record;
}

} // namespace detail

} // namespace telvane::contacts
