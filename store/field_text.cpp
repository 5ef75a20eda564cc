#include "store/field_text.h"

#include "store/fields.h"
#include "text/gbk.h"

using namespace Qt::StringLiterals;

namespace telvane::store {

namespace {

bool isSeparator(char c)
{
    return c == ' ' || c == '-' || c == '.' || c == '(' || c == ')' || c == '[' || c == ']';
}

bool isMobile(std::string_view number)
{
    return number.size() == 11 && number[0] == '1';
}

} // namespace

std::string compactPhone(std::string_view line, std::size_t width)
{
    std::string number;
    number.reserve(line.size());
    for (std::size_t i = 0; i < line.size();) {
        const std::size_t len = text::charLength(line, i);
        if (len == 1 && isSeparator(line[i])) {
            ++i;
            continue;
        }
        number.append(line.substr(i, len));
        i += len;
    }
    if (number.size() <= width) {
        return number;
    }
    for (const std::string_view code : {std::string_view("+86"), std::string_view("0086")}) {
        if (number.starts_with(code)) {
            std::string national = number.substr(code.size());
            // Dialled from within the country a landline needs the trunk prefix before its area code.
            if (!national.empty() && !isMobile(national) && national[0] != '0') {
                national.insert(national.begin(), '0');
            }
            return national;
        }
    }
    return number;
}

std::string fitToField(std::size_t field, std::string_view gbk, bool* cut)
{
    const FieldInfo& info = kFields[field];
    if (gbk.size() <= info.width) {
        return std::string(gbk);
    }
    if (info.tidy == TidyRule::Phone) {
        std::string number = compactPhone(gbk, info.width);
        if (number.size() <= info.width) {
            return number;
        }
    }
    // Cut as it stands: a number followed by an extension or a word keeps the number whole.
    const std::string_view compact = gbk;
    std::size_t kept = 0;
    while (kept < compact.size()) {
        const std::size_t len = text::charLength(compact, kept);
        if (kept + len > info.width) {
            break;
        }
        kept += len;
    }
    if (cut && kept < compact.size()) {
        *cut = true;
    }
    return std::string(compact.substr(0, kept));
}

QString storedText(std::size_t field, QStringView typed, bool* cut)
{
    std::string gbk = text::toGbk(text::oneLine(typed));
    if (kFields[field].fullWidthOnEntry) {
        gbk = text::toFullWidth(gbk);
    }
    const QString stored = text::fromGbk(fitToField(field, gbk, cut));
    // A null text would be bound as SQL NULL; the store keeps empty fields as empty text.
    return stored.isNull() ? u""_s : stored;
}

std::size_t storedLength(std::size_t field, QStringView text)
{
    std::string gbk = text::toGbk(text);
    return kFields[field].fullWidthOnEntry ? text::toFullWidth(gbk).size() : gbk.size();
}

} // namespace telvane::store
