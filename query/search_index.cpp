// The search index: what each record adds to it.
#include "query/pinyin.h"
#include "query/search_internal.h"

#include <algorithm>

namespace telvane::query {

namespace detail {

// ---- the index ----------------------------------------------------------------------------------------------------

IndexData::IndexData(unsigned chunkShift)
    : codeCount(codeTable().size())
    , classes(chunkShift)
    , subs(chunkShift)
    , digitText(chunkShift)
{
    clear();
}

void IndexData::clear()
{
    records = 0;
    classes.clear();
    subs.clear();
    letterOffsets.clear();
    chunkRecords.clear();
    fours.clear();
    charCount.assign(65536, 0);
    digitText.clear();
    digitOffsets.clear();
    bits.clear();
    postings.reset(listCount());
    for (const std::uint16_t run : runsMet) {
        runCount[run] = 0;
        runLast[run] = 0;
        runListed[run] = 0;
    }
    runsMet.clear();
}

void IndexData::makeRunCounters()
{
    runCount.assign(kRuns, 0);
    runLast.assign(kRuns, 0);
    runListed.assign(kRuns, 0);
}

void IndexData::listRun(unsigned run, std::uint32_t record)
{
    // The records before this one that hold the run hold its first three digits and its last three: those are
    // looked at.
    const unsigned d0 = run / 1000;
    const unsigned d1 = run / 100 % 10;
    const unsigned d2 = run / 10 % 10;
    const unsigned d3 = run % 10;
    std::vector<std::vector<std::size_t>> sets {{digitList(d0, d1, d2)}, {digitList(d1, d2, d3)}};
    SearchContext context;
    std::vector<std::uint32_t> candidates;
    recordsInAll(*this, sets, true, context, candidates);
    const std::string text {static_cast<char>('0' + d0), static_cast<char>('0' + d1), static_cast<char>('0' + d2),
                            static_cast<char>('0' + d3)};
    const DigitQuery query(text);
    for (const std::uint32_t r : candidates) {
        if (r < record && digitFieldsHold(digitText.at(digitOffsets.start(r - 1)), query)) {
            postings.append(runList(run), r);
        }
    }
    runListed[run] = 1;
}

std::size_t IndexData::memoryBytes() const
{
    return classes.memoryBytes() + subs.memoryBytes() + chunkRecords.capacity() * sizeof(std::uint32_t)
           + fours.capacity() * sizeof(fours[0]) + charCount.capacity() * sizeof(std::uint32_t)
           + ids.capacity() * sizeof(std::uint16_t) + letterOffsets.memoryBytes() + digitText.memoryBytes()
           + digitOffsets.memoryBytes() + scratch.capacity() + keys.capacity() * sizeof(std::uint32_t)
           + (runCount.capacity() + runLast.capacity()) * sizeof(std::uint32_t) + runListed.capacity()
           + runsMet.capacity() * sizeof(std::uint16_t) + bits.capacity() * sizeof(std::uint64_t)
           + postings.memoryBytes();
}

} // namespace detail

// ---- SearchIndex ----------------------------------------------------------------------------------------------------

SearchIndex IndexKnobs::small(unsigned shift, std::uint32_t frequentFrom)
{
    SearchIndex index;
    index.m_data = std::make_unique<detail::IndexData>(shift);
    index.m_data->frequentFrom = frequentFrom;
    return index;
}

SearchIndex::SearchIndex()
    : m_data(std::make_unique<detail::IndexData>())
{ }

SearchIndex::~SearchIndex() = default;
SearchIndex::SearchIndex(SearchIndex&& other) noexcept = default;
SearchIndex& SearchIndex::operator=(SearchIndex&& other) noexcept = default;

void SearchIndex::add(const store::Record& record)
{
    std::array<std::string_view, store::kFieldCount> fields;
    std::copy(record.begin(), record.end(), fields.begin());
    add(fields);
}

void SearchIndex::add(const std::array<std::string_view, store::kFieldCount>& fields)
{
    using detail::reserveFor;
    if (!m_data) {
        m_data = std::make_unique<detail::IndexData>();
    }
    detail::IndexData& d = *m_data;
    const auto& table = detail::codeTable();
    const std::uint32_t r = ++d.records;
    const std::size_t stride = d.stride();
    if (d.bits.size() < detail::bitmapWords(r) * stride) {
        reserveFor(d.bits, d.bits.size() + stride);
        d.bits.resize(d.bits.size() + stride, 0);
    }
    std::uint64_t* group = d.bits.data() + (r - 1) / 64 * stride;
    const std::uint64_t bit = std::uint64_t {1} << ((r - 1) % 64);
    // The lists this record goes into, added to all at once.
    auto& keys = d.keys;
    keys.clear();

    // Letters: a class and a sub per character; every run of three neighbouring characters with codes listed by
    // their codes, and two at the end of a run as two codes and the end.
    const auto& chars = detail::charTable();
    auto& ids = d.ids;
    ids.clear();
    std::size_t added = 0;
    for (std::size_t f = 0; f < store::kFieldCount; ++f) {
        if (!store::kFields[f].letters) {
            continue;
        }
        const std::string_view text = fields[f];
        for (std::size_t i = 0; i < text.size();) {
            const std::size_t length = detail::charLength(text, i);
            ids.push_back(chars.idOf(text.data() + i, length));
            i += length;
        }
        ids.push_back(0); // the field's end
    }
    added = ids.size();
    std::size_t skipped = 0;
    std::uint8_t* out = d.classes.extend(added, skipped);
    std::uint8_t* subOut = d.subs.extend(added, skipped);
    if (skipped != 0) {
        d.letterOffsets.extendLast(skipped);
    }
    const std::size_t address = d.classes.size() - added;
    while (d.chunkRecords.size() < d.classes.chunkCount()) {
        d.chunkRecords.push_back(r - 1);
    }
    for (std::size_t i = 0; i < added; ++i) {
        const std::uint16_t id = ids[i];
        out[i] = static_cast<std::uint8_t>(id >> 8);
        subOut[i] = static_cast<std::uint8_t>(id & 0xFF);
        ++d.charCount[id];
        if (id != 0) {
            keys.push_back(static_cast<std::uint32_t>(d.charList(id)));
        }
        const std::uint8_t cls = out[i];
        for (std::size_t b = 0; b < table.idCount[cls]; ++b) {
            group[d.codeBit(table.idsOfClass[cls][b])] |= bit;
        }
    }
    if (std::find(out, out + added, chars.fourClass) != out + added) {
        // Their bytes, in the order of the characters.
        std::size_t i = 0;
        for (std::size_t f = 0; f < store::kFieldCount; ++f) {
            if (!store::kFields[f].letters) {
                continue;
            }
            const std::string_view text = fields[f];
            for (std::size_t at = 0; at < text.size(); ++i) {
                const std::size_t length = detail::charLength(text, at);
                if (length == 4) {
                    std::uint32_t bytes = 0;
                    for (std::size_t k = 0; k < 4; ++k) {
                        bytes = bytes << 8 | static_cast<unsigned char>(text[at + k]);
                    }
                    d.fours.emplace_back(address + i, bytes);
                }
                at += length;
            }
            ++i; // the field's end
        }
    }
    const auto& codeIds = table.idsOfClass;
    for (const std::uint8_t* c = out; c + 1 < out + added; ++c) {
        for (std::size_t a = 0; a < table.idCount[c[0]]; ++a) {
            for (std::size_t b = 0; b < table.idCount[c[1]]; ++b) {
                if (table.idCount[c[2]] == 0) {
                    keys.push_back(
                        static_cast<std::uint32_t>(d.tripleList(codeIds[c[0]][a], codeIds[c[1]][b], d.codeCount)));
                }
                for (std::size_t e = 0; e < table.idCount[c[2]]; ++e) {
                    keys.push_back(
                        static_cast<std::uint32_t>(d.tripleList(codeIds[c[0]][a], codeIds[c[1]][b], codeIds[c[2]][e])));
                }
            }
        }
    }
    d.letterOffsets.push(added);

    // Digits: the fields themselves, and each digit with the classes of the two bytes after it.
    std::array<std::string_view, store::kFieldCount> digitFields;
    std::size_t digitFieldCount = 0;
    for (std::size_t f = 0; f < store::kFieldCount; ++f) {
        if (!store::kFields[f].digits) {
            continue;
        }
        const std::string_view text = fields[f];
        digitFields[digitFieldCount++] = text;
        for (std::size_t i = 0; i < text.size(); ++i) {
            const unsigned digit = detail::byteClass(static_cast<unsigned char>(text[i]));
            if (!detail::isDigitClass(digit)) {
                continue;
            }
            group[d.digitBit(digit)] |= bit;
            // A query's digit is always followed by a byte: a digit that ends its field is in no list.
            if (i + 1 == text.size()) {
                continue;
            }
            const unsigned next = detail::byteClass(static_cast<unsigned char>(text[i + 1]));
            const unsigned after =
                i + 2 < text.size() ? detail::byteClass(static_cast<unsigned char>(text[i + 2])) : detail::kEnd;
            keys.push_back(static_cast<std::uint32_t>(d.digitList(digit, next, after)));
        }
    }
    auto& blob = d.scratch;
    blob.clear();
    detail::encodeDigitFields(std::span(digitFields.data(), digitFieldCount), blob);
    std::uint8_t* room = d.digitText.extend(blob.size(), skipped);
    if (skipped != 0) {
        d.digitOffsets.extendLast(skipped);
    }
    std::copy(blob.begin(), blob.end(), room);
    d.digitOffsets.push(blob.size());
    // Runs of four digits: counted, and listed once frequent.
    if (d.runCount.empty()) {
        d.makeRunCounters();
    }
    for (std::size_t f = 0; f < digitFieldCount; ++f) {
        const std::string_view text = digitFields[f];
        unsigned run = 0;
        std::size_t digits = 0;
        for (const char c : text) {
            if (c < '0' || c > '9') {
                digits = 0;
                continue;
            }
            run = run % 1000 * 10 + static_cast<unsigned>(c - '0');
            if (++digits >= 4) {
                d.countRun(run, r, keys);
            }
        }
    }
    d.postings.appendAll(keys, r);
}

std::size_t SearchIndex::size() const
{
    return m_data ? m_data->records : 0;
}

void SearchIndex::clear()
{
    if (m_data) {
        m_data->clear();
    }
}

std::size_t SearchIndex::memoryBytes() const
{
    return m_data ? sizeof(detail::IndexData) + m_data->memoryBytes() : 0;
}

} // namespace telvane::query
