#include "query/pinyin.h"

#include <algorithm>
#include <string>
#include <vector>

namespace telvane::query {

namespace {

#include "query/pinyin_table.inc"

constexpr int kTrailsPerLead = 190;

constexpr int trailIndex(unsigned trail)
{
    if (trail >= 0x40 && trail <= 0x7E) {
        return static_cast<int>(trail - 0x40);
    }
    if (trail >= 0x80 && trail <= 0xFE) {
        return static_cast<int>(trail - 0x80 + 63);
    }
    return -1;
}

// The index of a GBK double-byte code in the generated tables, or -1.
int gbkIndex(unsigned lead, unsigned trail)
{
    const int t = trailIndex(trail);
    if (lead < 0x81 || lead > 0xFE || t < 0) {
        return -1;
    }
    return static_cast<int>(lead - 0x81) * kTrailsPerLead + t;
}

int gbkIndex(std::string_view gbkChar)
{
    return gbkChar.size() < 2
               ? -1
               : gbkIndex(static_cast<unsigned char>(gbkChar[0]), static_cast<unsigned char>(gbkChar[1]));
}

struct Tables
{
    std::array<std::uint8_t, 65536> classOf {};
    std::vector<std::vector<std::string_view>> codes;
    std::array<std::string_view, kPinyinSyllableCount> syllables;
    // Per list start in kPinyinReadingLists: the syllables as text, built once for the lists characters have.
    std::vector<std::vector<std::string_view>> syllableTexts;

    Tables()
    {
        for (unsigned lead = 0x81; lead <= 0xFE; ++lead) {
            for (unsigned trail = 0; trail < 256; ++trail) {
                const int t = trailIndex(trail);
                if (t >= 0) {
                    classOf[lead * 256 + trail] = kPinyinClassOfGbk[(lead - 0x81) * kTrailsPerLead + t];
                }
            }
        }
        codes.resize(kPinyinClassCount);
        for (int c = 0; c < kPinyinClassCount; ++c) {
            std::string_view list = kPinyinClassCodes[c];
            while (!list.empty()) {
                const auto blank = list.find(' ');
                codes[c].push_back(list.substr(0, blank));
                list = blank == std::string_view::npos ? std::string_view() : list.substr(blank + 1);
            }
        }
        for (int i = 0; i < kPinyinSyllableCount; ++i) {
            syllables[static_cast<std::size_t>(i)] = kPinyinSyllables[i];
        }
        syllableTexts.resize(std::size(kPinyinReadingLists));
        for (std::size_t at = 0; at < std::size(kPinyinReadingLists); at += 1u + kPinyinReadingLists[at]) {
            for (unsigned i = 1; i <= kPinyinReadingLists[at]; ++i) {
                syllableTexts[at].push_back(syllables[kPinyinReadingLists[at + i]]);
            }
        }
    }
};

const Tables& tables()
{
    static const Tables t;
    return t;
}

} // namespace

std::uint8_t pinyinClass(unsigned char lead, unsigned char trail)
{
    return tables().classOf[lead * 256u + trail];
}

const std::array<std::uint8_t, 65536>& pinyinClassTable()
{
    return tables().classOf;
}

int pinyinClassCount()
{
    return kPinyinClassCount;
}

std::span<const std::string_view> pinyinClassCodes(int classId)
{
    if (classId < 0 || classId >= kPinyinClassCount) {
        return {};
    }
    return tables().codes[static_cast<std::size_t>(classId)];
}

std::span<const std::string_view> pinyinCodes(std::string_view gbkChar)
{
    if (gbkChar.size() < 2) {
        return {};
    }
    return pinyinClassCodes(
        pinyinClass(static_cast<unsigned char>(gbkChar[0]), static_cast<unsigned char>(gbkChar[1])));
}

std::span<const std::string_view> pinyinSyllables(std::string_view gbkChar)
{
    const int index = gbkIndex(gbkChar);
    return index < 0 ? std::span<const std::string_view>() : tables().syllableTexts[kPinyinReadingOfGbk[index]];
}

std::string_view pinyinSurname(std::string_view gbkChar, std::string_view nextGbkChar)
{
    const int index = gbkIndex(gbkChar);
    if (index < 0) {
        return {};
    }
    const int next = gbkIndex(nextGbkChar);
    for (const auto& compound : kPinyinCompoundSurnames) {
        if (compound[0] == index && compound[1] == next) {
            return tables().syllables[compound[2]];
        }
    }
    const auto* end = std::end(kPinyinSurnames);
    const auto* it =
        std::lower_bound(std::begin(kPinyinSurnames), end, index, [](const auto& row, int i) { return row[0] < i; });
    if (it != end && (*it)[0] == index) {
        return tables().syllables[(*it)[1]];
    }
    const auto usual = pinyinSyllables(gbkChar);
    return usual.empty() ? std::string_view() : usual.front();
}

int pinyinSyllableCount()
{
    return kPinyinSyllableCount;
}

std::string_view pinyinSyllable(int id)
{
    return id < 0 || id >= kPinyinSyllableCount ? std::string_view() : tables().syllables[static_cast<std::size_t>(id)];
}

std::span<const std::uint16_t> pinyinSyllableIds(unsigned char lead, unsigned char trail)
{
    const int index = gbkIndex(lead, trail);
    if (index < 0) {
        return {};
    }
    const std::size_t at = kPinyinReadingOfGbk[index];
    return {kPinyinReadingLists + at + 1, kPinyinReadingLists[at]};
}

int pinyinCompare(std::string_view letters, std::string_view candidate, bool foldCase, int mode)
{
    if (mode != kPinyinInitials) {
        return -1;
    }
    if (letters.empty() || candidate.size() % 2 != 0) {
        return 0;
    }
    std::string folded;
    if (foldCase) {
        folded.assign(letters);
        for (char& ch : folded) {
            if (ch >= 'A' && ch <= 'Z') {
                ch = static_cast<char>(ch - 'A' + 'a');
            }
        }
        letters = folded;
    }
    if (!std::all_of(letters.begin(), letters.end(), [](char ch) { return ch >= 'a' && ch <= 'z'; })) {
        return 0;
    }
    const std::size_t length = letters.size();
    const std::size_t chars = candidate.size() / 2;
    // Every character takes at least one letter.
    if (chars > length) {
        return 0;
    }
    // reach[o]: the characters read so far can spell the first o letters. Queries are short; a long one takes the
    // same steps on a heap copy.
    std::array<char, 72> small0 {};
    std::array<char, 72> small1 {};
    std::vector<char> large0;
    std::vector<char> large1;
    char* reach = small0.data();
    char* next = small1.data();
    if (length + 1 > small0.size()) {
        large0.assign(length + 1, 0);
        large1.assign(length + 1, 0);
        reach = large0.data();
        next = large1.data();
    }
    reach[0] = 1;
    for (std::size_t i = 0; i < chars; ++i) {
        const auto codes = pinyinClassCodes(pinyinClass(static_cast<unsigned char>(candidate[2 * i]),
                                                        static_cast<unsigned char>(candidate[2 * i + 1])));
        if (codes.empty()) {
            return 0;
        }
        std::fill(next, next + length + 1, 0);
        bool any = false;
        for (std::size_t o = 0; o < length; ++o) {
            if (!reach[o]) {
                continue;
            }
            for (const auto code : codes) {
                if (letters.substr(o, code.size()) == code) {
                    next[o + code.size()] = 1;
                    any = true;
                }
            }
        }
        if (!any) {
            return 0;
        }
        std::swap(reach, next);
    }
    return reach[length] ? 1 : 0;
}

} // namespace telvane::query
