#include "contacts/vcard_reader.h"

#include "contacts/contact_assembly.h"
#include "text/gbk.h"

#include <QByteArray>
#include <QStringDecoder>

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

using namespace Qt::StringLiterals;

namespace telvane::contacts {

namespace {

using detail::Contact;
using detail::Phone;
using detail::PhoneKind;

// The lines of the file at CR LF, LF or CR (neither byte occurs inside a GB18030 or UTF-8 character).
std::vector<std::string_view> physicalLines(std::string_view text)
{
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            lines.push_back(text.substr(start, i - start));
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
                ++i;
            }
            start = i + 1;
        }
    }
    if (start < text.size()) {
        lines.push_back(text.substr(start));
    }
    return lines;
}

bool isCardBoundary(std::string_view line)
{
    const QByteArray start =
        QByteArray(line.data(), static_cast<qsizetype>(std::min<std::size_t>(line.size(), 12))).toUpper();
    return start.startsWith("END:VCARD") || start.startsWith("BEGIN:VCARD");
}

bool isFoldBlank(std::string_view line)
{
    return !line.empty() && (line[0] == ' ' || line[0] == '\t');
}

QByteArray upper(std::string_view bytes)
{
    return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())).trimmed().toUpper();
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

QByteArray decodeQuotedPrintable(std::string_view value)
{
    QByteArray out;
    out.reserve(static_cast<qsizetype>(value.size()));
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '=' && i + 2 < value.size()) {
            const int high = hexValue(value[i + 1]);
            const int low = hexValue(value[i + 2]);
            if (high >= 0 && low >= 0) {
                out += static_cast<char>(high * 16 + low);
                i += 2;
                continue;
            }
        }
        if (value[i] == '=' && i + 1 == value.size()) {
            break; // a soft line break with nothing after it
        }
        out += value[i];
    }
    return out;
}

// One content line: [group.]NAME[;param...]:value.
struct Property
{
    QByteArray group; // upper case
    QByteArray name; // upper case
    QList<QByteArray> types; // upper case: TYPE= values and the bare types of version 2.1
    QStringList labels; // X- types as a person wrote them, without the X-
    QByteArray charset;
    QByteArray encoding;
    bool preferred = false;
    bool uri = false; // VALUE=uri: a telephone number as a tel: address
    std::string_view value;
};

// Splits at `separator` outside double quotes.
std::vector<std::string_view> splitOutsideQuotes(std::string_view text, char separator)
{
    std::vector<std::string_view> parts;
    bool quoted = false;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '"') {
            quoted = !quoted;
        } else if (text[i] == separator && !quoted) {
            parts.push_back(text.substr(start, i - start));
            start = i + 1;
        }
    }
    parts.push_back(text.substr(start));
    return parts;
}

std::string_view unquote(std::string_view v)
{
    while (!v.empty() && (v.front() == ' ' || v.front() == '\t')) {
        v.remove_prefix(1);
    }
    while (!v.empty() && (v.back() == ' ' || v.back() == '\t')) {
        v.remove_suffix(1);
    }
    if (v.size() >= 2 && v.front() == '"' && v.back() == '"') {
        v = v.substr(1, v.size() - 2);
    }
    return v;
}

class Reader
{
public:
    explicit Reader(bool utf8)
        : m_utf8(utf8)
    { }

    ContactList read(std::string_view text);

private:
    bool parse(std::string_view line, Property& property) const;
    void addType(Property& property, std::string_view token) const;
    QString decode(const QByteArray& bytes, const QByteArray& charset) const;
    QString value(const Property& property) const;
    void take(const Property& property);
    void finishCard();

    bool m_utf8; // the file's own text is UTF-8 (else GB18030)
    ContactList m_list;

    // The card being read.
    bool m_inCard = false;
    int m_nested = 0; // cards inside the card (an agent's card in version 2.1), skipped
    bool m_version21 = false;
    QString m_formattedName;
    QStringList m_nameParts;
    QString m_unit;
    bool m_haveUnit = false;
    QStringList m_notes;
    struct GroupedPhone
    {
        Phone phone;
        QByteArray group;
        QStringList labels;
        QList<QByteArray> types;
    };
    QList<GroupedPhone> m_phones;
    QList<QPair<QByteArray, QString>> m_groupLabels; // item1.X-ABLabel
};

bool Reader::parse(std::string_view line, Property& property) const
{
    // The value starts after the first colon outside quoted parameter values.
    bool quoted = false;
    std::size_t colon = std::string_view::npos;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '"') {
            quoted = !quoted;
        } else if (line[i] == ':' && !quoted) {
            colon = i;
            break;
        }
    }
    if (colon == std::string_view::npos) {
        return false; // not a content line: a line of a base64 photo in version 2.1, or noise
    }
    const std::vector<std::string_view> parts = splitOutsideQuotes(line.substr(0, colon), ';');
    std::string_view name = parts.front();
    if (const std::size_t dot = name.rfind('.'); dot != std::string_view::npos) {
        property.group = upper(name.substr(0, dot));
        name = name.substr(dot + 1);
    }
    property.name = upper(name);
    if (property.name.isEmpty()) {
        return false;
    }
    for (std::size_t p = 1; p < parts.size(); ++p) {
        const std::string_view param = parts[p];
        const std::size_t equals = param.find('=');
        if (equals == std::string_view::npos) {
            addType(property, unquote(param));
            continue;
        }
        const QByteArray key = upper(param.substr(0, equals));
        const std::string_view values = unquote(param.substr(equals + 1));
        if (key == "TYPE") {
            for (const std::string_view token : splitOutsideQuotes(values, ',')) {
                addType(property, unquote(token));
            }
        } else if (key == "CHARSET") {
            property.charset = upper(values);
        } else if (key == "ENCODING") {
            property.encoding = upper(values);
        } else if (key == "PREF") {
            property.preferred = true;
        } else if (key == "VALUE") {
            property.uri = upper(values) == "URI";
        }
    }
    property.value = line.substr(colon + 1);
    return true;
}

void Reader::addType(Property& property, std::string_view token) const
{
    const QByteArray type = upper(token);
    if (type.isEmpty()) {
        return;
    }
    if (type == "QUOTED-PRINTABLE" || type == "BASE64" || type == "8BIT" || type == "7BIT") {
        property.encoding = type; // version 2.1 names the encoding without ENCODING=
    } else if (type == "PREF") {
        property.preferred = true;
    } else if (type.startsWith("X-")) {
        property.labels.append(decode(QByteArray(token.data() + 2, static_cast<qsizetype>(token.size() - 2)), {}));
    } else {
        property.types.append(type);
    }
}

QString Reader::decode(const QByteArray& bytes, const QByteArray& charset) const
{
    const bool gbk = charset == "GB2312" || charset == "GBK" || charset == "GB18030" || charset == "CP936"
                     || charset == "EUC-CN" || charset == "X-GBK" || charset == "WINDOWS-936";
    if (gbk || (charset.isEmpty() && !m_utf8)) {
        return text::fromGbk(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
    }
    if (!charset.isEmpty() && charset != "UTF-8" && charset != "UTF8") {
        QStringDecoder decoder(charset.constData(), QStringDecoder::Flag::Stateless);
        if (decoder.isValid()) {
            return decoder.decode(bytes);
        }
        if (!m_utf8) {
            return text::fromGbk(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
        }
    }
    return fromUtf8(bytes);
}

QString Reader::value(const Property& property) const
{
    QByteArray bytes;
    if (property.encoding == "QUOTED-PRINTABLE") {
        bytes = decodeQuotedPrintable(property.value);
    } else if (property.encoding == "BASE64" || property.encoding == "B") {
        bytes =
            QByteArray::fromBase64(QByteArray(property.value.data(), static_cast<qsizetype>(property.value.size())));
    } else {
        bytes = QByteArray(property.value.data(), static_cast<qsizetype>(property.value.size()));
    }
    return decode(bytes, property.charset);
}

// The parts of a structured value (split at unescaped semicolons when `split`), unescaped: \n and \N are line
// breaks, \\ \; \, a backslash, semicolon, comma; any other backslash stays as written.
QStringList unescape(QStringView text, bool split)
{
    QStringList parts;
    QString part;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'\\' && i + 1 < text.size()) {
            const QChar next = text[i + 1];
            if (next == u'n' || next == u'N') {
                part += u'\n';
            } else if (next == u'\\' || next == u';' || next == u',' || next == u':') {
                part += next;
            } else {
                part += c;
                part += next;
            }
            ++i;
        } else if (c == u';' && split) {
            parts.append(part);
            part.clear();
        } else {
            part += c;
        }
    }
    parts.append(part);
    return parts;
}

// A telephone value; a tel: address (VALUE=uri) as its number, an extension after a comma, as phones dial it.
QString telephone(const QString& text, bool uri)
{
    QString number = unescape(text, false).front();
    if (!uri || !number.trimmed().startsWith(u"tel:"_s, Qt::CaseInsensitive)) {
        return number;
    }
    const QStringList parts = number.trimmed().mid(4).split(u';');
    QString dialled = parts.front();
    for (qsizetype i = 1; i < parts.size(); ++i) {
        if (parts[i].startsWith(u"ext="_s, Qt::CaseInsensitive)) {
            dialled += u',' + parts[i].mid(4);
        }
    }
    return dialled;
}

void Reader::take(const Property& property)
{
    const QByteArray& name = property.name;
    if (name == "VERSION") {
        m_version21 = std::string_view(property.value).starts_with("2");
    } else if (name == "FN") {
        if (m_formattedName.trimmed().isEmpty()) {
            m_formattedName = unescape(value(property), false).front();
        }
    } else if (name == "N") {
        if (m_nameParts.isEmpty()) {
            m_nameParts = unescape(value(property), true);
        }
    } else if (name == "ORG") {
        if (!m_haveUnit || m_unit.trimmed().isEmpty()) {
            m_unit = unescape(value(property), true).front();
            m_haveUnit = true;
        }
    } else if (name == "NOTE") {
        m_notes.append(unescape(value(property), false).front());
    } else if (name == "TEL") {
        GroupedPhone grouped;
        grouped.phone.number = telephone(value(property), property.uri);
        grouped.phone.preferred = property.preferred;
        grouped.group = property.group;
        grouped.labels = property.labels;
        grouped.types = property.types;
        m_phones.append(grouped);
    } else if (name == "X-ABLABEL" && !property.group.isEmpty()) {
        m_groupLabels.append({property.group, unescape(value(property), false).front()});
    }
}

PhoneKind kindOf(const QList<QByteArray>& types, const QStringList& labels)
{
    if (types.contains("FAX") || types.contains("PAGER")) {
        return PhoneKind::Other;
    }
    // A label a person gave the number says more than the type a program chose with it.
    for (const QString& label : labels) {
        if (const PhoneKind kind = detail::kindFromLabel(label); kind != PhoneKind::Other) {
            return kind;
        }
    }
    if (types.contains("CELL") || types.contains("MOBILE") || types.contains("IPHONE")) {
        return PhoneKind::Mobile;
    }
    if (types.contains("WORK")) {
        return PhoneKind::Office;
    }
    if (types.contains("HOME")) {
        return PhoneKind::Home;
    }
    return PhoneKind::Other;
}

void Reader::finishCard()
{
    Contact contact;
    contact.name = text::cellLine(m_formattedName);
    if (contact.name.isEmpty() && !m_nameParts.isEmpty()) {
        contact.name = detail::joinName(text::cellLine(m_nameParts.value(0)), text::cellLine(m_nameParts.value(1)));
    }
    contact.unit = m_unit;
    contact.remarks = m_notes;
    for (GroupedPhone& grouped : m_phones) {
        if (!grouped.group.isEmpty()) {
            for (const auto& [group, label] : m_groupLabels) {
                if (group == grouped.group) {
                    grouped.labels.append(label);
                }
            }
        }
        grouped.phone.kind = kindOf(grouped.types, grouped.labels);
        contact.phones.append(grouped.phone);
    }
    const RecordTexts record = detail::assemble(contact, m_list.report);
    if (std::all_of(record.begin(), record.end(), [](const QString& field) { return field.isEmpty(); })) {
        ++m_list.report.skippedEmpty;
    } else {
        m_list.records.append(record);
    }

    m_inCard = false;
    m_nested = 0;
    m_version21 = false;
    m_formattedName.clear();
    m_nameParts.clear();
    m_unit.clear();
    m_haveUnit = false;
    m_notes.clear();
    m_phones.clear();
    m_groupLabels.clear();
}

ContactList Reader::read(std::string_view text)
{
    const std::vector<std::string_view> lines = physicalLines(text);
    std::string logical;
    for (std::size_t i = 0; i < lines.size();) {
        const std::string_view first = lines[i++];
        if (first.empty() || isFoldBlank(first)) {
            continue; // a blank line, or a continuation with no line before it
        }
        // Unfolding: a line that starts with a blank continues the one before. Version 3.0 and 4.0 drop the blank
        // with the line break; version 2.1 keeps it.
        logical.assign(first);
        while (i < lines.size() && isFoldBlank(lines[i])) {
            logical.append(m_version21 ? lines[i] : lines[i].substr(1));
            ++i;
        }
        Property property;
        if (!parse(logical, property)) {
            continue;
        }
        // Quoted-printable soft line breaks: a value that ends in = goes on in the next line as it stands, unless
        // that line ends the card (a stray = at the end of a value must not swallow the rest of the file).
        if (property.encoding == "QUOTED-PRINTABLE" && property.value.ends_with('=') && i < lines.size()) {
            const std::size_t valueAt = static_cast<std::size_t>(property.value.data() - logical.data());
            while (!logical.empty() && logical.back() == '=' && i < lines.size() && !isCardBoundary(lines[i])) {
                logical.pop_back();
                logical.append(lines[i++]);
            }
            property.value = std::string_view(logical).substr(valueAt);
        }

        if (property.name == "BEGIN" || property.name == "END") {
            if (upper(property.value) != "VCARD") {
                continue;
            }
            if (property.name == "BEGIN") {
                if (m_inCard) {
                    ++m_nested;
                } else {
                    m_inCard = true;
                }
            } else if (m_nested > 0) {
                --m_nested;
            } else if (m_inCard) {
                finishCard();
            }
            continue;
        }
        if (m_inCard && m_nested == 0) {
            take(property);
        }
    }
    // A file cut short keeps the card it was reading.
    if (m_inCard) {
        finishCard();
    }
    return std::move(m_list);
}

} // namespace

ContactList readVCards(QByteArrayView file)
{
    const TextEncoding encoding = detectEncoding(file);
    QByteArray converted;
    QByteArrayView body = file.sliced(bomLength(encoding));
    if (encoding == TextEncoding::Utf16Le || encoding == TextEncoding::Utf16Be) {
        converted = decodeText(file).toUtf8();
        body = converted;
    }
    Reader reader(encoding != TextEncoding::Gb18030);
    ContactList list = reader.read(std::string_view(body.data(), static_cast<std::size_t>(body.size())));
    list.report.encoding = encoding;
    return list;
}

} // namespace telvane::contacts
