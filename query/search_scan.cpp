// The scan: filters the pinyin classes of every record a stretch at a time and walks the positions that pass.
#include "query/search_internal.h"

#include <algorithm>

namespace telvane::query::detail {

namespace {

// ---- the scan -------------------------------------------------------------------------------------------------------

// The record holding index position j, searched forward from record r (whose start is at or before j): first by
// doubling steps, then by bisection, so that both near and far jumps stay cheap.
inline std::size_t recordOf(const std::uint32_t* starts, std::size_t records, std::size_t r, std::size_t j)
{
    if (j < starts[r + 1]) {
        return r;
    }
    std::size_t lo = r + 1;
    std::size_t step = 1;
    while (lo + step < records && starts[lo + step] <= j) {
        lo += step;
        step *= 2;
    }
    const std::size_t hi = std::min(lo + step, records);
    return static_cast<std::size_t>(std::upper_bound(starts + lo, starts + hi, j) - starts) - 1;
}

// Bits a .. a+len-1 of the bitmap, shifted down to bit 0 (len 1..64). The bitmap has a spare word at its end.
inline std::uint64_t bitsAt(const std::uint64_t* bitmap, std::size_t a, std::size_t len)
{
    const std::size_t word = a >> 6;
    const unsigned off = static_cast<unsigned>(a & 63);
    std::uint64_t v = bitmap[word] >> off;
    if (off != 0) {
        v |= bitmap[word + 1] << (64 - off);
    }
    return len >= 64 ? v : v & ((std::uint64_t {1} << len) - 1);
}

// A stretch of whole records, numbered from 0 here and from `first` + 1 in the index, whose classes start at
// address `base`, at `classes`; starts[r] is the address of record r, starts[records] the end. Bit i of the bitmap
// is address base + i.
struct Stretch
{
    const std::uint8_t* classes;
    const std::uint32_t* starts;
    std::size_t records;
    std::size_t first;
    std::size_t base;
};

// Few candidates: walks them in order and finds the record of each confirmed one. A record stops costing work at its
// first confirmed candidate: later candidates in it are dropped unseen.

void walkCandidates(std::uint64_t* bitmap, std::size_t words, const Stretch& st, const LetterProgram& program,
                    std::vector<std::int32_t>& out)
{
    const std::uint32_t* s = st.starts;
    std::size_t r = 0;
    for (std::size_t w = 0; w < words; ++w) {
        std::uint64_t m = bitmap[w];
        while (m) {
            const std::size_t i = w * 64 + static_cast<std::size_t>(std::countr_zero(m));
            m &= m - 1;
            const std::size_t j = st.base + i;
            if (!program.matchesAt(st.classes + i)) {
                continue;
            }
            r = recordOf(s, st.records, r, j);
            out.push_back(static_cast<std::int32_t>(st.first + r + 1));
            const std::size_t skip = s[r + 1] - st.base;
            if (skip >= w * 64 + 64) {
                // Go on in the word that holds the next record's start.
                const std::size_t next = skip / 64;
                bitmap[next] &= ~std::uint64_t {0} << (skip % 64);
                w = next - 1;
                break;
            }
            m &= ~std::uint64_t {0} << (skip - w * 64);
        }
    }
}

// Many candidates: looks at each record's part of the bitmap. When the filter is exact, a candidate is a match and
// the loop has no data-dependent branch.

void walkRecords(const std::uint64_t* bitmap, const Stretch& st, bool exact, const LetterProgram& program,
                 std::vector<std::int32_t>& out)
{
    const std::uint32_t* s = st.starts;
    const auto any = [&](std::size_t r) {
        std::size_t a = s[r] - st.base;
        std::size_t len = s[r + 1] - s[r];
        std::uint64_t bits = 0;
        while (len > 64) {
            bits |= bitsAt(bitmap, a, 64);
            a += 64;
            len -= 64;
        }
        return bits | bitsAt(bitmap, a, len);
    };
    if (exact) {
        const std::size_t done = out.size();
        out.resize(done + st.records);
        std::int32_t* o = out.data() + done;
        std::size_t count = 0;
        for (std::size_t r = 0; r < st.records; ++r) {
            o[count] = static_cast<std::int32_t>(st.first + r + 1);
            count += any(r) != 0;
        }
        out.resize(done + count);
        return;
    }
    for (std::size_t r = 0; r < st.records; ++r) {
        if (!any(r)) {
            continue;
        }
        bool matched = false;
        for (std::size_t a = s[r] - st.base; a < s[r + 1] - st.base && !matched; a += 64) {
            std::uint64_t bits = bitsAt(bitmap, a, std::min<std::size_t>(64, s[r + 1] - st.base - a));
            while (bits && !matched) {
                matched = program.matchesAt(st.classes + a + static_cast<std::size_t>(std::countr_zero(bits)));
                bits &= bits - 1;
            }
        }
        if (matched) {
            out.push_back(static_cast<std::int32_t>(st.first + r + 1));
        }
    }
}

// Index positions filtered at a time: the stretch's bitmap stays in the first-level cache.
constexpr std::size_t kStretchBytes = 16 * 1024;

// Filters the classes a stretch of whole records at a time and collects the matching records of each stretch by
// whichever walk suits its number of candidates.
template<class Filter>
void collect(const IndexData& index, Filter filter, const LetterProgram& program, SearchContext& context,
             std::vector<std::int32_t>& out)
{
    const RecordOffsets& offsets = index.letterOffsets;
    auto& bitmap = context.stretch;
    auto& starts = context.stretchStarts;
    std::size_t r0 = 0;
    std::size_t base = 0;
    while (r0 < index.records) {
        // At least one record, then as many as fit.
        starts.assign(1, static_cast<std::uint32_t>(base));
        std::size_t r1 = r0;
        std::size_t end = base;
        // A stretch stays in one chunk of the buffer.
        do {
            end += offsets.length(r1++);
            starts.push_back(static_cast<std::uint32_t>(end));
        } while (r1 < index.records && end + offsets.length(r1) - base <= kStretchBytes
                 && end >> index.classes.shift() == base >> index.classes.shift());
        const std::size_t length = end - base;
        const std::size_t words = (length + 63) / 64;
        if (bitmap.size() < words + 1) {
            bitmap.resize(words + 1);
        }
        const std::uint8_t* classes = index.classes.at(base);
        filter(classes, words, bitmap.data());
        // Bits past the stretch belong to the next records.
        if (length % 64) {
            bitmap[words - 1] &= (std::uint64_t {1} << (length % 64)) - 1;
        }
        bitmap[words] = 0;
        const Stretch st {classes, starts.data(), r1 - r0, r0, base};
        SearchWalk how = context.walk;
        if (how != SearchWalk::Candidates && how != SearchWalk::Records) {
            how = countBits(bitmap.data(), words) * 8 < r1 - r0 ? SearchWalk::Candidates : SearchWalk::Records;
        }
        if (how == SearchWalk::Candidates) {
            walkCandidates(bitmap.data(), words, st, program, out);
        } else {
            walkRecords(bitmap.data(), st, program.exact, program, out);
        }
        r0 = r1;
        base = end;
    }
}

} // namespace

bool scanPathSupported(ScanPath path)
{
    switch (path) {
        case ScanPath::Best:
        case ScanPath::Scalar:
            return true;
        case ScanPath::Sse:
            return __builtin_cpu_supports("ssse3");
        case ScanPath::Avx2:
            return __builtin_cpu_supports("avx2");
        case ScanPath::Avx512:
            return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("avx512f")
                   && __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vbmi");
    }
    return false;
}

ScanPath resolveScanPath(ScanPath path)
{
    if (path != ScanPath::Best && scanPathSupported(path)) {
        return path;
    }
    if (scanPathSupported(ScanPath::Avx512)) {
        return ScanPath::Avx512;
    }
    if (scanPathSupported(ScanPath::Avx2)) {
        return ScanPath::Avx2;
    }
    if (scanPathSupported(ScanPath::Sse)) {
        return ScanPath::Sse;
    }
    return ScanPath::Scalar;
}

void scanLetters(const IndexData& index, const LetterProgram& program, SearchContext& context,
                 std::vector<std::int32_t>& out)
{
    using Filter = void (*)(const LetterFilter&, std::size_t, std::size_t, std::uint64_t*);
    Filter filter = letterFilterScalar;
    // The scan of letters has no AVX-512 form: AVX2 serves that path too.
    if (context.path == ScanPath::Avx2 || context.path == ScanPath::Avx512) {
        filter = letterFilterAvx2;
    } else if (context.path == ScanPath::Sse) {
        filter = letterFilterSse;
    }
    const auto byStretch = [&](const std::uint8_t* classes, std::size_t words, std::uint64_t* masks) {
        const LetterFilter spec {classes, program.useSingle ? &program.single : nullptr,
                                 program.usePair ? &program.first : nullptr,
                                 program.usePair ? &program.second : nullptr};
        filter(spec, 0, words, masks);
    };
    collect(index, byStretch, program, context, out);
}

} // namespace telvane::query::detail
