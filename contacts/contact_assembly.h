#pragma once

#include "contacts/contact_list.h"

#include <QList>
#include <QString>

// Internal to the readers: one contact as a file describes it, put into the record's seven fields.
namespace telvane::contacts::detail {

enum class PhoneKind { Office, Home, Mobile, Phs, Other };

struct Phone
{
    QString number;
    PhoneKind kind = PhoneKind::Other;
    bool preferred = false;
};

struct Contact
{
    QString name;
    QString unit;
    QStringList remarks;
    QList<Phone> phones;
};

// A number goes to the field its type names; the preferred numbers of a type first. A number without a type, or one
// whose field is taken, goes to the first empty phone field (office, home, mobile, PHS), and when all four are
// taken it is appended to the remark; both are counted in the report. Every text comes out as one line.
RecordTexts assemble(const Contact& contact, ReadReport& report);

// A number's type from a label a person gave it ("手机", "Work", "_$!<Mobile>!$_", "小灵通", "传真").
PhoneKind kindFromLabel(QStringView label);

// Whether the text holds a CJK ideograph (a Chinese name is written without spaces between its parts).
bool hasIdeograph(QStringView text);
// A name from its parts: family and given name run together for Chinese, "given family" otherwise.
QString joinName(const QString& family, const QString& given);

} // namespace telvane::contacts::detail
