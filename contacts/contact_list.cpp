#include "contacts/contact_list.h"
#include "contacts/contact_assembly.h"

#include "store/fields.h"
#include "text/gbk.h"

#include <algorithm>
#include <array>

using namespace Qt::StringLiterals;

namespace telvane::contacts {

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
    record[store::kName] = text::cellLine(contact.name);
    record[store::kUnit] = text::cellLine(contact.unit);
    QStringList remark;
    for (const QString& part : contact.remarks) {
        if (QString line = text::cellLine(part); !line.isEmpty()) {
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
    // A number goes in as written: the import's tidying fits it to its field (store::compactPhone) as it fits a
    // pasted one.
    auto place = [&record](std::size_t field, const QString& number) { record[field] = number; };

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
        const QString number = text::cellLine(contact.phones[i].number);
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
        const QString number = text::cellLine(contact.phones[i].number);
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
