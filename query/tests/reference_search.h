#pragma once

#include "query/pinyin.h"
#include "store/directory_store.h"
#include "text/gbk.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Search written out step by step, for tests that compare the fast search with it. The query is read as Search reads
// it; digits are looked for at every start of the remark and the four telephone fields; for letters, the windows of
// consecutive characters of the name, unit and remark, from every character, are read against the query with plain
// string comparisons, keeping every letter offset they can reach. The fast search must give exactly these lists.
namespace telvane::query::reference {

// The characters of a GBK text: GB18030 four-byte characters, GBK double-byte ones, single bytes.
inline std::vector<std::string> characters(std::string_view text)
{
    std::vector<std::string> out;
    const auto at = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    for (std::size_t i = 0; i < text.size();) {
        std::size_t length = 1;
        if (at(i) >= 0x81 && at(i) <= 0xFE && i + 1 < text.size()) {
            if (at(i + 1) >= 0x30 && at(i + 1) <= 0x39) {
                if (i + 3 < text.size() && at(i + 2) >= 0x81 && at(i + 2) <= 0xFE && at(i + 3) >= 0x30
                    && at(i + 3) <= 0x39) {
                    length = 4;
                }
            } else if (at(i + 1) >= 0x40 && at(i + 1) <= 0xFE && at(i + 1) != 0x7F) {
                length = 2;
            }
        }
        out.emplace_back(text.substr(i, length));
        i += length;
    }
    return out;
}

inline bool isLetter(const std::string& c)
{
    return c.size() == 1 && c[0] >= 'a' && c[0] <= 'z';
}

// The query as Search reads it: a query starting with a digit as it is; any other without spaces, full-width
// letters and digits as ASCII, letters in lower case.
inline std::string readQuery(std::string_view q)
{
    if (q.empty() || (q[0] >= '0' && q[0] <= '9')) {
        return std::string(q);
    }
    std::string out;
    for (const std::string& c : characters(q)) {
        if (c == " " || c == "\xA1\xA1") {
            continue;
        }
        const auto trail = c.size() == 2 ? static_cast<unsigned char>(c[1]) : 0u;
        if (c.size() == 2 && static_cast<unsigned char>(c[0]) == 0xA3
            && ((trail >= 0xB0 && trail <= 0xB9) || (trail >= 0xC1 && trail <= 0xDA)
                || (trail >= 0xE1 && trail <= 0xFA))) {
            out += static_cast<char>(trail - 0x80);
        } else {
            out += c;
        }
    }
    // Only single-byte characters are lowered: a GBK trail byte may look like a letter.
    std::string lowered;
    for (const std::string& c : characters(out)) {
        if (c.size() == 1 && c[0] >= 'A' && c[0] <= 'Z') {
            lowered += static_cast<char>(c[0] - 'A' + 'a');
        } else {
            lowered += c;
        }
    }
    return lowered;
}

inline std::vector<std::string> codesOf(const std::string& c)
{
    if (c.size() == 1) {
        const char lower = c[0] >= 'A' && c[0] <= 'Z' ? static_cast<char>(c[0] - 'A' + 'a') : c[0];
        return lower >= 'a' && lower <= 'z' ? std::vector<std::string> {std::string(1, lower)}
                                            : std::vector<std::string> {};
    }
    std::vector<std::string> out;
    if (c.size() == 2) {
        for (const auto code : query::pinyinCodes(c)) {
            out.emplace_back(code);
        }
    }
    return out;
}

inline std::vector<std::string> syllablesOf(const std::string& c)
{
    std::vector<std::string> out;
    if (c.size() == 2) {
        for (const auto s : query::pinyinSyllables(c)) {
            out.emplace_back(s);
        }
    }
    return out;
}

inline int digitOf(const std::string& c)
{
    if (c.size() == 1 && c[0] >= '0' && c[0] <= '9') {
        return c[0] - '0';
    }
    if (c.size() == 2 && static_cast<unsigned char>(c[0]) == 0xA3 && static_cast<unsigned char>(c[1]) >= 0xB0
        && static_cast<unsigned char>(c[1]) <= 0xB9) {
        return static_cast<unsigned char>(c[1]) - 0xB0;
    }
    return -1;
}

inline std::vector<std::int32_t> digitSearch(std::string_view q, const store::Columns& columns)
{
    std::vector<std::int32_t> out;
    const long long length = static_cast<long long>(q.size());
    for (int i = 1; i <= static_cast<int>(columns.size()); ++i) {
        bool matched = false;
        for (int f = 3; f <= 7 && !matched; ++f) {
            const auto field = columns.field(i, f);
            const long long fl = static_cast<long long>(field.size());
            for (long long s = 1; s <= fl - length + 1 && !matched; ++s) {
                matched = field.substr(static_cast<std::size_t>(s - 1), static_cast<std::size_t>(length)) == q;
            }
        }
        if (matched) {
            out.push_back(i);
        }
    }
    return out;
}

// The widths at which a window matches the initials: n .. n+k-1 characters, where n counts the query's characters
// less one for every vowel final in a run of its letters, and k is one more for every ao an en er ang.
inline std::pair<long long, long long> initialsWidths(const std::vector<std::string>& q)
{
    long long n = static_cast<long long>(q.size());
    long long k = 1;
    const char* finals[] = {"ai", "ei", "ao", "ou", "an", "en", "er"};
    const bool widens[] = {false, false, true, false, true, true, true};
    for (std::size_t i = 0; i < q.size(); ++i) {
        std::string run;
        for (std::size_t j = i; j < q.size() && j < i + 3 && isLetter(q[j]); ++j) {
            run += q[j];
        }
        for (int t = 0; t < 7; ++t) {
            if (run.substr(0, 2) == finals[t]) {
                --n;
                k += widens[t] ? 1 : 0;
            }
        }
        if (run == "ang") {
            --n;
            ++k;
        }
    }
    return {std::max(n, 1LL), std::min(n + k - 1, static_cast<long long>(q.size()))};
}

// Reads the windows of `field` that start at character `start`, one character more at a time: 1 when one matches the
// initials, 2 when one matches only by a reading, 0 when none matches.
inline int readFrom(const std::vector<std::string>& q, const std::vector<std::string>& field, std::size_t start,
                    std::pair<long long, long long> widths)
{
    // reach[o][r]: letter offset o of the query (an index into q, one character a letter) is reached, with (r = 1)
    // or without a reading taken on the way.
    std::vector<std::array<bool, 2>> reach(q.size() + 1, {false, false});
    reach[0][0] = true;
    int best = 0;
    for (std::size_t at = start; at < field.size(); ++at) {
        const std::string& c = field[at];
        const auto width = static_cast<long long>(at - start + 1);
        std::vector<std::array<bool, 2>> next(q.size() + 1, {false, false});
        bool any = false;
        for (std::size_t o = 0; o < q.size(); ++o) {
            for (int reading = 0; reading < 2; ++reading) {
                if (!reach[o][static_cast<std::size_t>(reading)]) {
                    continue;
                }
                const auto go = [&](std::size_t to, bool read) {
                    next[to][read || reading ? 1 : 0] = true;
                    any = true;
                };
                if (isLetter(q[o])) {
                    std::string letters; // the query's letters from o to the end of their run
                    for (std::size_t j = o; j < q.size() && isLetter(q[j]); ++j) {
                        letters += q[j];
                    }
                    const bool toEnd = o + letters.size() == q.size();
                    for (const std::string& code : codesOf(c)) {
                        if (letters.compare(0, code.size(), code) == 0) {
                            go(o + code.size(), false);
                        }
                    }
                    for (const std::string& syllable : syllablesOf(c)) {
                        if (letters.compare(0, syllable.size(), syllable) == 0) {
                            go(o + syllable.size(), true);
                        }
                        if (toEnd && syllable.compare(0, letters.size(), letters) == 0) {
                            best = std::max(best, 2);
                        }
                    }
                } else if (q[o].size() == 1 && q[o][0] >= '0' && q[o][0] <= '9') {
                    if (digitOf(c) == q[o][0] - '0') {
                        go(o + 1, false);
                    }
                } else if (q[o] == c) {
                    go(o + 1, false);
                }
            }
        }
        if (next[q.size()][0] && width >= widths.first && width <= widths.second) {
            return 1;
        }
        if (next[q.size()][0] || next[q.size()][1]) {
            best = 2;
        }
        next[q.size()] = {false, false}; // nothing follows the end of the query
        if (!any) {
            break;
        }
        reach = std::move(next);
    }
    return best;
}

// The two parts of the Result list: the records the initials find, and those only a reading finds (a Digit search
// has only the first).
struct Parts
{
    std::vector<std::int32_t> initials;
    std::vector<std::int32_t> readings;
};

inline Parts referenceParts(std::string_view raw, const store::Columns& columns)
{
    const std::string text = readQuery(raw);
    if (text.empty()) {
        return {};
    }
    if (text[0] >= '0' && text[0] <= '9') {
        return {digitSearch(text, columns), {}};
    }
    const std::vector<std::string> q = characters(text);
    const auto widths = initialsWidths(q);
    std::vector<std::int32_t> initials;
    std::vector<std::int32_t> readings;
    for (int i = 1; i <= static_cast<int>(columns.size()); ++i) {
        int best = 0;
        for (int f = 1; f <= 3 && best != 1; ++f) {
            const std::vector<std::string> field = characters(columns.field(i, f));
            for (std::size_t start = 0; start < field.size() && best != 1; ++start) {
                const int found = readFrom(q, field, start, widths);
                best = found == 1 ? 1 : std::max(best, found);
            }
        }
        if (best == 1) {
            initials.push_back(i);
        } else if (best == 2) {
            readings.push_back(i);
        }
    }
    return {initials, readings};
}

inline std::vector<std::int32_t> referenceSearch(std::string_view raw, const store::Columns& columns)
{
    Parts parts = referenceParts(raw, columns);
    parts.initials.insert(parts.initials.end(), parts.readings.begin(), parts.readings.end());
    return parts.initials;
}

} // namespace telvane::query::reference
