#pragma once

#include "query/pinyin.h"
#include "store/directory_store.h"
#include "text/gbk.h"

#include <cstdint>
#include <string_view>
#include <vector>

// Search written out step by step, for tests that compare the fast search with it: every window of every candidate
// width at positions 1, 3, 5, ... of the name, unit and remark goes through the Pinyin comparison; digits are looked
// for at every start of the remark and the four telephone fields. The fast search must give exactly these lists.
namespace telvane::query::reference {

inline std::vector<std::int32_t> referenceSearch(std::string_view q, const store::Columns& columns)
{
    std::vector<std::int32_t> out;
    const long long length = static_cast<long long>(q.size());
    if (length == 0) {
        return out;
    }
    const int count = static_cast<int>(columns.size());
    if (q[0] >= '0' && q[0] <= '9') {
        for (int i = 1; i <= count; ++i) {
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
    long long n = length;
    long long k = 1;
    const char* finals[] = {"ai", "ei", "ao", "ou", "an", "en", "er"};
    const bool widens[] = {false, false, true, false, true, true, true};
    if (length > 1) {
        for (long long i = 1; i <= length - 1; ++i) {
            for (int t = 0; t < 7; ++t) {
                if (q.substr(static_cast<std::size_t>(i - 1), 2) == finals[t]) {
                    --n;
                    k += widens[t] ? 1 : 0;
                }
            }
        }
    }
    if (length > 2) {
        for (long long i = 1; i <= length - 2; ++i) {
            if (q.substr(static_cast<std::size_t>(i - 1), 3) == "ang") {
                --n;
                ++k;
            }
        }
    }
    const long long w1 = 2 * n;
    for (int i = 1; i <= count; ++i) {
        bool matched = false;
        for (int f = 1; f <= 3 && !matched; ++f) {
            const auto field = columns.field(i, f);
            const long long fl = static_cast<long long>(field.size());
            for (long long m = 1; m <= k && !matched; ++m) {
                const long long w = w1 + 2 * (m - 1);
                if (fl < w) {
                    continue;
                }
                for (long long p = 1; p <= (fl - w + 2) / 2 && !matched; ++p) {
                    matched = query::pinyinCompare(q,
                                                   std::string(field.substr(static_cast<std::size_t>(2 * p - 2),
                                                                            static_cast<std::size_t>(w))),
                                                   false, 1)
                              == 1;
                }
            }
        }
        if (matched) {
            out.push_back(i);
        }
    }
    return out;
}

} // namespace telvane::query::reference
