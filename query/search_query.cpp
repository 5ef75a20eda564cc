// The query as the search reads it: spaces dropped, full-width letters and digits read as ASCII, and a Letter search
// compiled into edges over its letter offsets (codes, digits, characters, syllables and starts of syllables).
#include "query/pinyin.h"
#include "query/search_internal.h"

#include <algorithm>

namespace telvane::query {

NormalQuery normalizeQuery(std::string_view query)
{
    NormalQuery q;
    if (query.empty()) {
        return q;
    }
    if (query.front() >= '0' && query.front() <= '9') {
        q.text.assign(query);
        q.kind = QueryKind::Digit;
        return q;
    }
    for (std::size_t i = 0; i < query.size();) {
        const std::size_t length = detail::charLength(query, i);
        const auto lead = static_cast<unsigned char>(query[i]);
        const auto trail = length == 2 ? static_cast<unsigned char>(query[i + 1]) : 0;
        if (length == 1 && lead == ' ') {
            // dropped
        } else if (length == 1) {
            q.text += lead >= 'A' && lead <= 'Z' ? static_cast<char>(lead - 'A' + 'a') : static_cast<char>(lead);
        } else if (lead == 0xA1 && trail == 0xA1) {
            // the ideographic space, dropped
        } else if (lead == 0xA3
                   && ((trail >= 0xB0 && trail <= 0xB9) || (trail >= 0xC1 && trail <= 0xDA)
                       || (trail >= 0xE1 && trail <= 0xFA))) {
            const unsigned ascii = trail - 0x80;
            q.text += static_cast<char>(ascii >= 'A' && ascii <= 'Z' ? ascii - 'A' + 'a' : ascii);
        } else {
            q.text.append(query.substr(i, length));
        }
        i += length;
    }
    if (!q.text.empty()) {
        q.kind = q.text.front() >= '0' && q.text.front() <= '9' ? QueryKind::Digit : QueryKind::Letter;
    }
    return q;
}

QueryKind queryKind(std::string_view query)
{
    return normalizeQuery(query).kind;
}

namespace detail {

namespace {

bool isLetter(char c)
{
    return c >= 'a' && c <= 'z';
}

bool isVowel(char c)
{
    return c == 'a' || c == 'e' || c == 'o';
}

// The code a syllable gives: its first letter, or the whole syllable when it starts with a vowel.
std::string_view codeOfSyllable(std::string_view syllable)
{
    return isVowel(syllable.front()) ? syllable : syllable.substr(0, 1);
}

// The table of what the query's syllables do for each character that has one (see GeneralProgram::readingOf).
void compileReadings(GeneralProgram& g)
{
    const CharTable& chars = charTable();
    g.readingEdges.clear();
    g.charReadings.clear();
    g.readingSlot = {};
    g.readingIndex.clear();
    std::vector<std::uint16_t> ids;
    for (std::size_t s = 0; s < g.syllableAt.size(); ++s) {
        if (g.syllableAt[s] | g.prefixAt[s]) {
            ids.insert(ids.end(), chars.charsOfSyllable[s].begin(), chars.charsOfSyllable[s].end());
        }
    }
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    for (const std::uint16_t id : ids) {
        GeneralProgram::CharReading r;
        r.first = static_cast<std::uint16_t>(g.readingEdges.size());
        for (const std::uint16_t s : chars.syllables(id)) {
            const std::uint64_t at = g.syllableAt[s];
            r.starts |= at | g.prefixAt[s];
            r.prefix |= g.prefixAt[s];
            r.toEnd |= g.prefixAt[s];
            if (g.syllableLength[s] <= g.length) {
                r.toEnd |= at & (std::uint64_t {1} << (g.length - g.syllableLength[s]));
            }
            r.whole = r.whole || g.wholeAlone(s);
            if (at == 0) {
                continue;
            }
            // Syllables of the same length share an edge.
            auto edge = std::find_if(g.readingEdges.begin() + r.first, g.readingEdges.end(),
                                     [&](const auto& e) { return e.length == g.syllableLength[s]; });
            if (edge == g.readingEdges.end()) {
                g.readingEdges.push_back({at, g.syllableLength[s]});
            } else {
                edge->at |= at;
            }
        }
        r.count = static_cast<std::uint16_t>(g.readingEdges.size() - r.first);
        const unsigned cls = id >> 8;
        if (g.readingSlot[cls] == 0) {
            g.readingIndex.resize(g.readingIndex.size() + 256, 0);
            g.readingSlot[cls] = static_cast<std::uint8_t>(g.readingIndex.size() / 256);
        }
        g.charReadings.push_back(r);
        g.readingIndex[(g.readingSlot[cls] - 1u) * 256 + (id & 0xFF)] =
            static_cast<std::uint16_t>(g.charReadings.size());
    }
}

} // namespace

bool compileGeneral(std::string_view query, GeneralProgram& g)
{
    const std::size_t length = query.size();
    if (length == 0 || length > kMaxFastLetters) {
        return false;
    }
    const CharTable& chars = charTable();
    const CodeTable& codes = codeTable();
    g.query.assign(query);
    g.length = length;
    g.step.assign(static_cast<std::size_t>(chars.classCount) * (length + 1), 0);
    g.stepClass = {};
    g.charEdges.clear();
    g.charClass = {};
    g.syllableAt.assign(static_cast<std::size_t>(pinyinSyllableCount()), 0);
    g.prefixAt.assign(g.syllableAt.size(), 0);
    g.syllableLength.resize(g.syllableAt.size());
    g.readingClass = {};
    g.readings = false;
    g.canStart = {};
    g.pureLetters = true;
    g.runEnd.assign(length + 1, 0);

    // The query's characters: letters in runs, digits, others as themselves; and the allowed widths, counted as the
    // initials count them (each vowel final in a run of letters stands for one character fewer, and ao an en er
    // ang each allow one more).
    static constexpr std::array<std::string_view, 7> kFinals {"ai", "ei", "ao", "ou", "an", "en", "er"};
    static constexpr std::array<bool, 7> kWidens {false, false, true, false, true, true, true};
    int elements = 0;
    int n = 0;
    int k = 1;
    std::vector<std::pair<std::size_t, std::size_t>> runs;
    for (std::size_t i = 0; i < length;) {
        const std::size_t charBytes = charLength(query, i);
        ++elements;
        if (charBytes == 1 && isLetter(query[i])) {
            std::size_t end = i;
            while (end < length && isLetter(query[end])) {
                ++end;
            }
            runs.emplace_back(i, end);
            elements += static_cast<int>(end - i) - 1;
            for (std::size_t o = i; o < end; ++o) {
                g.runEnd[o] = static_cast<std::uint8_t>(end);
                if (o + 1 < end) {
                    for (std::size_t f = 0; f < kFinals.size(); ++f) {
                        if (query.substr(o, 2) == kFinals[f]) {
                            --n;
                            k += kWidens[f] ? 1 : 0;
                        }
                    }
                }
                if (o + 2 < end && query.substr(o, 3) == "ang") {
                    --n;
                    ++k;
                }
            }
            i = end;
            continue;
        }
        g.runEnd[i] = static_cast<std::uint8_t>(i);
        g.pureLetters = false;
        const std::uint64_t at = std::uint64_t {1} << i;
        if (charBytes == 1 && query[i] >= '0' && query[i] <= '9') {
            const auto cls = static_cast<std::size_t>(chars.ofByte[static_cast<unsigned char>(query[i])] >> 8);
            g.step[cls * (length + 1) + i] |= at << 1;
            g.stepClass[cls] = true;
        } else {
            std::uint32_t four = 0;
            for (std::size_t b = 0; b < charBytes; ++b) {
                four = four << 8 | static_cast<unsigned char>(query[i + b]);
            }
            const std::uint16_t id = chars.idOf(query.data() + i, charBytes);
            auto same = std::find_if(g.charEdges.begin(), g.charEdges.end(), [&](const auto& e) {
                return e.id == id && e.four == (charBytes == 4 ? four : 0);
            });
            if (same == g.charEdges.end()) {
                g.charEdges.push_back({id, charBytes == 4 ? four : 0, 0, static_cast<unsigned>(charBytes)});
                same = g.charEdges.end() - 1;
            }
            same->from |= at;
            g.charClass[id >> 8] = true;
        }
        i += charBytes;
    }
    g.runEnd[length] = static_cast<std::uint8_t>(length);
    n += elements;
    g.widthLo = std::max(n, 1);
    g.widthHi = std::min(n + k - 1, elements);

    // Codes within the runs of letters.
    for (const auto& [from, end] : runs) {
        for (std::size_t o = from; o < end; ++o) {
            const auto letter = static_cast<std::size_t>(query[o] - 'a');
            for (std::size_t i = 0; i < codes.byFirstLetterCount[letter]; ++i) {
                const std::size_t id = codes.byFirstLetter[letter][i];
                const std::string_view code = codes.codes[id];
                if (o + code.size() <= end && query.substr(o, code.size()) == code) {
                    for (const std::uint8_t cls : codes.classesOfCode[id]) {
                        g.step[cls * (length + 1) + o] |= std::uint64_t {1} << (o + code.size());
                        g.stepClass[cls] = true;
                    }
                }
            }
        }
        // Whole syllables, and the start of one in the letters that end the query.
        for (int s = 0; s < pinyinSyllableCount(); ++s) {
            const std::string_view syllable = pinyinSyllable(s);
            g.syllableLength[static_cast<std::size_t>(s)] = static_cast<std::uint8_t>(syllable.size());
            const bool isCode = codeOfSyllable(syllable) == syllable;
            for (std::size_t o = from; o < end; ++o) {
                if (!isCode && o + syllable.size() <= end && query.substr(o, syllable.size()) == syllable) {
                    g.syllableAt[static_cast<std::size_t>(s)] |= std::uint64_t {1} << o;
                }
                // A start of one consonant is that code; a whole syllable the code reads too is the code.
                if (end == length && syllable.starts_with(query.substr(o)) && !(length - o == 1 && !isVowel(query[o]))
                    && !(isCode && syllable.size() == length - o)) {
                    g.prefixAt[static_cast<std::size_t>(s)] |= std::uint64_t {1} << o;
                }
            }
        }
    }
    for (std::size_t s = 0; s < g.syllableAt.size(); ++s) {
        if (g.syllableAt[s] | g.prefixAt[s]) {
            g.readings = true;
            for (const std::uint8_t cls : chars.classesOfSyllable[s]) {
                g.readingClass[cls] = true;
            }
        }
    }
    compileReadings(g);

    // Which classes can start a window, and how many characters can lead to each offset.
    g.before.assign(length + 1, 0);
    g.before[0] = 1;
    std::vector<std::uint64_t> reachable(length + 1, 0); // the offsets one character leads to, from each offset
    for (std::size_t cls = 1; cls < static_cast<std::size_t>(chars.classCount); ++cls) {
        if (!g.stepClass[cls]) {
            continue;
        }
        g.canStart[cls] = g.step[cls * (length + 1)] != 0;
        for (std::size_t o = 0; o < length; ++o) {
            reachable[o] |= g.step[cls * (length + 1) + o];
        }
    }
    for (const auto& e : g.charEdges) {
        if (e.from & 1u) {
            g.canStart[e.id >> 8] = true;
        }
        for (std::uint64_t m = e.from; m; m &= m - 1) {
            reachable[static_cast<std::size_t>(std::countr_zero(m))] |= (m & -m) << e.length;
        }
    }
    for (std::size_t s = 0; s < g.syllableAt.size(); ++s) {
        if ((g.syllableAt[s] | g.prefixAt[s]) & 1u) {
            for (const std::uint8_t cls : chars.classesOfSyllable[s]) {
                g.canStart[cls] = true;
            }
        }
        for (std::uint64_t m = g.syllableAt[s]; m; m &= m - 1) {
            reachable[static_cast<std::size_t>(std::countr_zero(m))] |= (m & -m) << g.syllableLength[s];
        }
    }
    for (std::size_t o = 0; o < length; ++o) {
        for (std::uint64_t to = reachable[o]; to; to &= to - 1) {
            g.before[static_cast<std::size_t>(std::countr_zero(to))] |= g.before[o] << 1;
        }
    }
    return true;
}

} // namespace detail

} // namespace telvane::query
