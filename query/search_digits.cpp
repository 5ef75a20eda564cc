// The Digit search: which records hold the query in a digit field, found from the lists of digit keys and checked
// against the fields the index keeps.
//
// A record's digit fields are kept as the number of those that are not empty, then each of those as its length times
// four, plus one when the field is all digits and two when another field holds a digit; then an all-digit field as
// two digits to a byte (the first in the low half), any other field as its bytes.
#include "query/search_internal.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace telvane::query::detail {

namespace {

bool isDigitByte(char c)
{
    return c >= '0' && c <= '9';
}

} // namespace

void encodeDigitFields(std::span<const std::string_view> fields, std::vector<std::uint8_t>& out)
{
    out.push_back(static_cast<std::uint8_t>(
        std::count_if(fields.begin(), fields.end(), [](std::string_view text) { return !text.empty(); })));
    for (const std::string_view text : fields) {
        if (text.empty()) {
            continue;
        }
        const auto digits = static_cast<std::size_t>(std::count_if(text.begin(), text.end(), isDigitByte));
        const bool packed = digits == text.size();
        const bool someDigit = !packed && digits != 0;
        for (std::uint64_t header = std::uint64_t {text.size()} << 2 | (packed ? 1u : 0u) | (someDigit ? 2u : 0u);;
             header >>= 7) {
            if (header < 0x80) {
                out.push_back(static_cast<std::uint8_t>(header));
                break;
            }
            out.push_back(static_cast<std::uint8_t>(0x80 | (header & 0x7F)));
        }
        if (!packed) {
            out.insert(out.end(), text.begin(), text.end());
            continue;
        }
        for (std::size_t i = 0; i < text.size(); i += 2) {
            const unsigned low = static_cast<unsigned>(text[i] - '0');
            const unsigned high = i + 1 < text.size() ? static_cast<unsigned>(text[i + 1] - '0') : 0;
            out.push_back(static_cast<std::uint8_t>(low | high << 4));
        }
    }
}

DigitQuery::DigitQuery(std::string_view query)
    : text(query)
    , digits(std::all_of(query.begin(), query.end(), isDigitByte))
    , packed(digits && query.size() <= 16)
{
    if (packed) {
        for (std::size_t i = 0; i < query.size(); ++i) {
            const auto digit = static_cast<std::uint64_t>(query[i] - '0');
            pattern |= digit << (4 * i);
            repeated[i] = digit * 0x1111111111111111u;
        }
        mask = query.size() == 16 ? ~std::uint64_t {0} : (std::uint64_t {1} << (4 * query.size())) - 1;
    }
}

namespace {

// Whether the all-digit field of `length` digits packed at `from` holds the query.
bool packedHolds(const std::uint8_t* from, std::size_t length, const DigitQuery& query)
{
    const std::size_t size = query.text.size();
    if (query.packed && length <= 16) {
        std::uint64_t digits; // past the field come other fields or a chunk's padding: only whole windows count
        std::memcpy(&digits, from, sizeof digits);
        const std::size_t starts = length - size + 1;
        if (size * 2 <= starts) {
            // Every start at once: the high bit of each half-byte that equals the query's digit k places on.
            constexpr std::uint64_t kLow3 = 0x7777777777777777u;
            constexpr std::uint64_t kHigh = 0x8888888888888888u;
            std::uint64_t hits = starts == 16 ? kHigh : kHigh & ((std::uint64_t {1} << (4 * starts)) - 1);
            for (std::size_t k = 0; k < size && hits; ++k) {
                const std::uint64_t t = (digits >> (4 * k)) ^ query.repeated[k];
                hits &= ~(((t & kLow3) + kLow3) | t);
            }
            return hits != 0;
        }
        for (std::size_t i = 0; i < starts; ++i) {
            if ((digits >> (4 * i) & query.mask) == query.pattern) {
                return true;
            }
        }
        return false;
    }
    std::string text(length, '0');
    for (std::size_t i = 0; i < length; ++i) {
        text[i] = static_cast<char>('0' + (from[i / 2] >> (4 * (i % 2)) & 0x0F));
    }
    return text.find(query.text) != std::string::npos;
}

// Whether `length` bytes at `from` hold the query; fields are short, so a plain loop beats a library search.
bool rawHolds(const std::uint8_t* from, std::size_t length, std::string_view query)
{
    const auto first = static_cast<std::uint8_t>(query[0]);
    for (std::size_t i = 0; i + query.size() <= length; ++i) {
        if (from[i] == first && std::memcmp(from + i + 1, query.data() + 1, query.size() - 1) == 0) {
            return true;
        }
    }
    return false;
}

} // namespace

bool digitFieldsHold(const std::uint8_t* from, const DigitQuery& query)
{
    for (unsigned fields = *from++; fields > 0; --fields) {
        std::uint64_t header = *from++;
        if (header >= 0x80) {
            header &= 0x7F;
            for (unsigned shift = 7;; shift += 7) {
                const std::uint8_t b = *from++;
                header |= std::uint64_t {b & 0x7Fu} << shift;
                if (b < 0x80) {
                    break;
                }
            }
        }
        const auto length = static_cast<std::size_t>(header >> 2);
        const bool packed = header & 1u;
        // An all-digit field can hold only an all-digit query; a field without digits, no query.
        if (length >= query.text.size()
            && (packed ? query.digits && packedHolds(from, length, query)
                       : (header & 2u) && rawHolds(from, length, query.text))) {
            return true;
        }
        from += packed ? (length + 1) / 2 : length;
    }
    return false;
}

void digitSearch(std::string_view query, const IndexData& index, SearchContext& context, std::vector<std::int32_t>& out)
{
    if (index.records == 0) {
        return;
    }
    const std::size_t length = query.size();
    const auto cls = [&](std::size_t i) { return byteClass(static_cast<unsigned char>(query[i])); };
    const DigitQuery digitQuery(query);
    const bool allDigits = digitQuery.digits;
    const std::size_t words = bitmapWords(index.records);
    if (length == 1) {
        context.found.resize(words);
        copyBits(index, index.digitBit(cls(0)), context.found.data());
        appendRecords(context.found.data(), words, out);
        return;
    }
    // Every record holding the query holds each of its digits with the two bytes after it; two bytes of a query are
    // a digit followed by anything.
    auto& sets = context.sets;
    sets.clear();
    if (length == 2) {
        sets.emplace_back();
        for (unsigned after = 0; after < kByteClasses; ++after) {
            sets.back().push_back(index.digitList(cls(0), cls(1), after));
        }
    } else {
        std::vector<std::size_t> seen;
        for (std::size_t i = 0; i + 2 < length; ++i) {
            if (!isDigitClass(cls(i))) {
                continue;
            }
            const std::size_t list = index.digitList(cls(i), cls(i + 1), cls(i + 2));
            if (std::find(seen.begin(), seen.end(), list) == seen.end()) {
                seen.push_back(list);
                sets.push_back({list});
            }
        }
    }
    // Runs of four digits that have lists of their own.
    bool listedRun = false;
    for (std::size_t i = 0; i + 4 <= length; ++i) {
        if (std::all_of(query.begin() + static_cast<std::ptrdiff_t>(i),
                        query.begin() + static_cast<std::ptrdiff_t>(i + 4), isDigitByte)) {
            unsigned run = 0;
            for (std::size_t k = i; k < i + 4; ++k) {
                run = run * 10 + static_cast<unsigned>(query[k] - '0');
            }
            if (index.runHasList(run)) {
                sets.push_back({index.runList(run)});
                listedRun = true;
            }
        }
    }
    // Lists of digits and the digits after them say exactly which records hold a query of two or three digits; a
    // run's list, which hold one of four.
    const bool exact = allDigits && (length <= 3 || (length == 4 && listedRun));
    if (length == 4 && listedRun && allDigits) {
        sets.erase(sets.begin(), sets.end() - 1);
    }
    if (exact && sets.size() == 1 && sets[0].size() == 1) {
        // One list: it is the answer, ascending.
        out.reserve(index.postings.count(sets[0][0]));
        index.postings.forEach(sets[0][0], [&out](std::uint32_t r) { out.push_back(static_cast<std::int32_t>(r)); });
        return;
    }
    if (exact && sets.size() == 1) {
        context.found.assign(words, 0);
        addLists(index.postings, sets[0], context.found.data());
        appendRecords(context.found.data(), words, out);
        return;
    }
    auto& candidates = context.candidates;
    recordsInAll(index, sets, false, context, candidates);
    forEachRecord(index.digitOffsets, index.digitText, candidates,
                  [&](std::uint32_t r, const std::uint8_t* from, const std::uint8_t*) {
                      if (digitFieldsHold(from, digitQuery)) {
                          out.push_back(static_cast<std::int32_t>(r));
                      }
                  });
}

} // namespace telvane::query::detail
