#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace telvane::store {

// The keys of records in store order, in four bytes each: the numbering of a million records is kept for as long as
// the program runs. SQLite allows any 64-bit key (this program gives them one after another from 1, but another
// program may write others); a key outside 0..2^32-2 is kept in full on the side.
class IdList
{
public:
    std::size_t size() const { return m_low.size(); }
    bool empty() const { return m_low.empty(); }
    std::int64_t operator[](std::size_t i) const
    {
        const std::uint32_t low = m_low[i];
        return low != kWide ? std::int64_t {low} : wide(i);
    }
    std::int64_t back() const { return (*this)[size() - 1]; }

    void push_back(std::int64_t id)
    {
        if (id >= 0 && id < std::int64_t {kWide}) {
            m_low.push_back(static_cast<std::uint32_t>(id));
        } else {
            m_wide.emplace_back(m_low.size(), id);
            m_low.push_back(kWide);
        }
    }
    // Appends the keys of another list.
    void append(const IdList& other)
    {
        const std::size_t shift = m_low.size();
        m_low.insert(m_low.end(), other.m_low.begin(), other.m_low.end());
        for (const auto& [at, id] : other.m_wide) {
            m_wide.emplace_back(at + shift, id);
        }
    }
    void reserve(std::size_t n) { m_low.reserve(n); }
    void clear()
    {
        m_low.clear();
        m_wide.clear();
    }
    void shrink_to_fit()
    {
        m_low.shrink_to_fit();
        m_wide.shrink_to_fit();
    }
    bool operator==(const IdList& other) const = default;

private:
    static constexpr std::uint32_t kWide = 0xFFFFFFFFu;

    std::int64_t wide(std::size_t i) const
    {
        const auto it = std::lower_bound(
            m_wide.begin(), m_wide.end(), i,
            [](const std::pair<std::size_t, std::int64_t>& w, std::size_t at) { return w.first < at; });
        return it->second;
    }

    std::vector<std::uint32_t> m_low; // the key, or kWide when it is on the side
    std::vector<std::pair<std::size_t, std::int64_t>> m_wide; // place and key, ascending by place
};

} // namespace telvane::store
