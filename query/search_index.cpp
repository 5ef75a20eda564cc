// The search index: what each record adds to it.
#include "query/pinyin.h"
#include "query/search_internal.h"

#include <algorithm>

namespace telvane::query {

namespace detail {

namespace {

constexpr std::array<std::uint8_t, 256> makeByteClasses()
{
    std::array<std::uint8_t, 256> classes {};
    for (unsigned b = 0; b < 256; ++b) {
        std::uint8_t c = 15; // control bytes and the rest
        if (b >= '0' && b <= '9') {
            c = static_cast<std::uint8_t>(b - '0');
        } else if ((b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z')) {
            c = 11;
        } else if (b >= 0x80) {
            c = 12;
        } else if (b == ' ') {
            c = 13;
        } else if (b > ' ' && b < 0x7F) {
            c = 14; // punctuation
        }
        classes[b] = c;
    }
    return classes;
}

constexpr std::array<std::uint8_t, 256> kByteClassOf = makeByteClasses();

} // namespace

unsigned byteClass(unsigned char byte)
{
    return kByteClassOf[byte];
}

// ---- the index ----------------------------------------------------------------------------------------------------

IndexData::IndexData()
    : codeCount(codeTable().size())
{
    clear();
}

void IndexData::clear()
{
    records = 0;
    classes.assign(kPad, 0);
    classesSize = 0;
    letterOffsets.clear();
    digitText.assign(kDigitPad, 0);
    digitTextSize = 0;
    digitOffsets.clear();
    bits.clear();
    postings.reset(listCount());
}

std::size_t IndexData::memoryBytes() const
{
    return classes.capacity() + letterOffsets.memoryBytes() + digitText.capacity() + digitOffsets.memoryBytes()
           + bits.capacity() * sizeof(std::uint64_t) + postings.memoryBytes();
}

} // namespace detail

// ---- SearchIndex ----------------------------------------------------------------------------------------------------

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
    const auto& classOf = pinyinClassTable();
    const std::uint32_t r = ++d.records;
    const std::size_t stride = d.stride();
    if (d.bits.size() < detail::bitmapWords(r) * stride) {
        reserveFor(d.bits, d.bits.size() + stride);
        d.bits.resize(d.bits.size() + stride, 0);
    }
    std::uint64_t* group = d.bits.data() + (r - 1) / 64 * stride;
    const std::uint64_t bit = std::uint64_t {1} << ((r - 1) % 64);

    // Letters: one class per byte pair, the pairs of neighbouring characters listed by their codes.
    std::size_t added = 0;
    for (std::size_t f = 0; f < store::kFieldCount; ++f) {
        added += store::kFields[f].letters ? fields[f].size() / 2 + 1 : 0;
    }
    reserveFor(d.classes, d.classesSize + added + detail::kPad);
    d.classes.resize(d.classesSize + added + detail::kPad); // the padding moves on, zero
    std::uint8_t* out = d.classes.data() + d.classesSize;
    for (std::size_t f = 0; f < store::kFieldCount; ++f) {
        if (!store::kFields[f].letters) {
            continue;
        }
        const std::string_view text = fields[f];
        std::uint8_t previous = 0;
        for (std::size_t i = 0; i + 1 < text.size(); i += 2) {
            const std::uint8_t cls =
                classOf[static_cast<unsigned char>(text[i]) * 256u + static_cast<unsigned char>(text[i + 1])];
            *out++ = cls;
            for (std::size_t b = 0; b < table.idCount[cls]; ++b) {
                group[d.codeBit(table.idsOfClass[cls][b])] |= bit;
            }
            for (std::size_t a = 0; a < table.idCount[previous]; ++a) {
                for (std::size_t b = 0; b < table.idCount[cls]; ++b) {
                    d.postings.append(d.pairList(table.idsOfClass[previous][a], table.idsOfClass[cls][b]), r);
                }
            }
            previous = cls;
        }
        *out++ = 0;
    }
    d.classesSize += added;
    d.letterOffsets.push(added);

    // Digits: the fields themselves, and each digit with the classes of the two bytes after it.
    std::size_t bytes = 0;
    for (std::size_t f = 0; f < store::kFieldCount; ++f) {
        bytes += store::kFields[f].digits ? fields[f].size() + 5 : 0;
    }
    const std::size_t digitStart = d.digitTextSize;
    reserveFor(d.digitText, d.digitTextSize + bytes + detail::kDigitPad);
    d.digitText.resize(d.digitTextSize);
    for (std::size_t f = 0; f < store::kFieldCount; ++f) {
        if (!store::kFields[f].digits) {
            continue;
        }
        const std::string_view text = fields[f];
        detail::encodeDigitField(text, d.digitText);
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
            d.postings.append(d.digitList(digit, next, after), r);
        }
    }
    d.digitTextSize = d.digitText.size();
    d.digitText.resize(d.digitTextSize + detail::kDigitPad, 0);
    d.digitOffsets.push(d.digitTextSize - digitStart);
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
