#include "query/phonetic.h"

#include "query/pinyin.h"
#include "text/gbk.h"

#include <string>
#include <vector>

namespace telvane::query {

QStringList phoneticReading(QStringView text, bool asSurname)
{
    // Each character on its own, in GBK as the reading table knows it.
    std::vector<std::string> characters;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const qsizetype length = text[i].isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        characters.push_back(text::toGbk(text.sliced(i, length)));
        i += length - 1;
    }
    QStringList syllables;
    for (std::size_t i = 0; i < characters.size(); ++i) {
        if (characters[i].size() != 2) {
            return {};
        }
        std::string_view syllable;
        if (asSurname && i == 0) {
            syllable = pinyinSurname(characters[0], characters.size() > 1 ? characters[1] : std::string_view());
        } else if (const auto readings = pinyinSyllables(characters[i]); !readings.empty()) {
            syllable = readings.front();
        }
        if (syllable.empty()) {
            return {};
        }
        syllables.append(QString::fromLatin1(syllable.data(), static_cast<qsizetype>(syllable.size())));
    }
    return syllables;
}

} // namespace telvane::query
