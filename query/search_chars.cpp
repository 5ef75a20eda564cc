// The characters the search tells apart: their classes and numbers within a class, and the pinyin codes as numbered
// ids.
#include "query/pinyin.h"
#include "query/search_internal.h"

#include <algorithm>
#include <map>
#include <stdexcept>

namespace telvane::query::detail {

namespace {

constexpr std::size_t kClassSize = 256;

bool isGbkPair(unsigned lead, unsigned trail)
{
    return lead >= 0x81 && lead <= 0xFE && trail >= 0x40 && trail <= 0xFE && trail != 0x7F;
}

// A character on its way into a class: its text (as in CharTable::text) and the syllable it is sorted by.
struct Member
{
    std::string_view syllable;
    std::uint16_t text;
    bool operator<(const Member& o) const { return syllable != o.syllable ? syllable < o.syllable : text < o.text; }
};

} // namespace

CharTable::CharTable()
{
    text.fill(kNoText);
    digitOfClass.fill(0xFF);
    // Characters with the same codes, in groups by the pinyin class that holds those codes.
    std::map<int, std::vector<Member>> groups;
    for (unsigned lead = 0x81; lead <= 0xFE; ++lead) {
        for (unsigned trail = 0x40; trail <= 0xFE; ++trail) {
            if (!isGbkPair(lead, trail)) {
                continue;
            }
            // Full-width digits go with their half-width forms below.
            if (lead == 0xA3 && trail >= 0xB0 && trail <= 0xB9) {
                continue;
            }
            const auto syllables =
                pinyinSyllableIds(static_cast<unsigned char>(lead), static_cast<unsigned char>(trail));
            groups[pinyinClass(static_cast<unsigned char>(lead), static_cast<unsigned char>(trail))].push_back(
                {syllables.empty() ? std::string_view() : pinyinSyllable(syllables[0]),
                 static_cast<std::uint16_t>(lead << 8 | trail)});
        }
    }
    // Single-byte letters have their letter's code, as the full-width ones (Ａ A3C1, ａ A3E1) do.
    for (unsigned letter = 0; letter < 26; ++letter) {
        const int cls = pinyinClass(0xA3, static_cast<unsigned char>(0xE1 + letter));
        groups[cls].push_back({{}, static_cast<std::uint16_t>('a' + letter)});
        groups[cls].push_back({{}, static_cast<std::uint16_t>('A' + letter)});
    }
    int next = 1; // the next free class
    const auto place = [&](std::uint16_t t, int cls, int sub) {
        const auto id = static_cast<std::uint16_t>(cls << 8 | sub);
        text[id] = t;
        if (t < 0x100) {
            ofByte[t] = id;
        } else {
            ofPair[t] = id;
        }
        ++classSize[static_cast<std::size_t>(cls)];
    };
    // Each group gets as few classes (rows) as lets every syllable have columns (subs) of its own: the characters of
    // a syllable fill its columns in all the group's rows, and syllables take columns in alphabetical order, so the
    // characters of a syllable, or of all syllables that start with some letters, are the group's classes with a
    // range of subs.
    for (auto& [pinyin, members] : groups) {
        std::sort(members.begin(), members.end());
        std::vector<std::size_t> runs; // the length of each syllable's run
        for (std::size_t i = 0; i < members.size();) {
            std::size_t run = i;
            while (run < members.size() && members[run].syllable == members[i].syllable) {
                ++run;
            }
            runs.push_back(run - i);
            i = run;
        }
        std::size_t rows = std::max<std::size_t>(1, (members.size() + kClassSize - 1) / kClassSize);
        const auto columns = [&](std::size_t r) {
            std::size_t sum = 0;
            for (const std::size_t n : runs) {
                sum += (n + r - 1) / r;
            }
            return sum;
        };
        while (columns(rows) > kClassSize) {
            ++rows;
        }
        std::size_t column = 0;
        std::size_t at = 0;
        for (const std::size_t n : runs) {
            for (std::size_t k = 0; k < n; ++k) {
                place(members[at + k].text, next + static_cast<int>(k % rows), static_cast<int>(column + k / rows));
            }
            at += n;
            column += (n + rows - 1) / rows;
        }
        next += static_cast<int>(rows);
    }
    for (unsigned d = 0; d < 10; ++d, ++next) {
        place(static_cast<std::uint16_t>('0' + d), next, 0);
        place(static_cast<std::uint16_t>(0xA3B0 + d), next, 1);
        digitOfClass[static_cast<std::size_t>(next)] = static_cast<std::uint8_t>(d);
    }
    for (unsigned b = 0; b < 256; ++b) {
        const bool letter = (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z');
        if (!letter && !(b >= '0' && b <= '9')) {
            place(static_cast<std::uint16_t>(b), next, static_cast<int>(b));
        }
    }
    ++next;
    fourClass = static_cast<std::uint8_t>(next);
    classSize[fourClass] = 1;
    ++next;
    if (next > 256) {
        throw std::logic_error("the characters need more than 255 classes");
    }
    classCount = next;

    charsOfSyllable.resize(static_cast<std::size_t>(pinyinSyllableCount()));
    classesOfSyllable.resize(charsOfSyllable.size());
    for (std::size_t id = 0; id < text.size(); ++id) {
        for (const std::uint16_t s : syllables(static_cast<std::uint16_t>(id))) {
            charsOfSyllable[s].push_back(static_cast<std::uint16_t>(id));
            auto& classes = classesOfSyllable[s];
            const auto cls = static_cast<std::uint8_t>(id >> 8);
            if (classes.empty() || classes.back() != cls) {
                classes.push_back(cls);
            }
        }
    }
}

const CharTable& charTable()
{
    static const CharTable table;
    return table;
}

CodeTable::CodeTable()
{
    const CharTable& chars = charTable();
    std::array<bool, 256> seen {};
    for (std::size_t id = 0; id < chars.text.size(); ++id) {
        const std::uint16_t t = chars.text[id];
        const auto cls = static_cast<std::size_t>(id >> 8);
        if (t == CharTable::kNoText || seen[cls]) {
            continue;
        }
        seen[cls] = true;
        // Every character of a class has the codes of the class; a single-byte letter those of its full-width form.
        const std::uint16_t pair = t >= 0x100 ? t : static_cast<std::uint16_t>(0xA3E1 + ((t | 0x20) - 'a'));
        const bool letter = t >= 0x100 || ((t | 0x20) >= 'a' && (t | 0x20) <= 'z');
        if (!letter) {
            continue;
        }
        for (const auto code : pinyinClassCodes(
                 pinyinClass(static_cast<unsigned char>(pair >> 8), static_cast<unsigned char>(pair & 0xFF)))) {
            auto it = std::find(codes.begin(), codes.end(), code);
            if (it == codes.end()) {
                codes.push_back(code);
                it = codes.end() - 1;
            }
            const auto codeId = static_cast<std::size_t>(it - codes.begin());
            idsOfClass[cls][idCount[cls]++] = static_cast<std::uint8_t>(codeId);
            classesOfCode.resize(codes.size());
            classesOfCode[codeId].push_back(static_cast<std::uint8_t>(cls));
        }
    }
    for (std::size_t id = 0; id < codes.size(); ++id) {
        const auto letter = static_cast<std::size_t>(codes[id][0] - 'a');
        if (letter < 26 && byFirstLetterCount[letter] < byFirstLetter[letter].size()) {
            byFirstLetter[letter][byFirstLetterCount[letter]++] = static_cast<std::uint8_t>(id);
        }
    }
}

int CodeTable::idOf(std::string_view code) const
{
    const auto it = std::find(codes.begin(), codes.end(), code);
    return it == codes.end() ? -1 : static_cast<int>(it - codes.begin());
}

const CodeTable& codeTable()
{
    static const CodeTable table;
    return table;
}

} // namespace telvane::query::detail
