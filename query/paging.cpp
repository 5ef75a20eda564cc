#include "query/paging.h"

#include <algorithm>

namespace telvane::query {

void Paging::clampSelection(int total)
{
    if (m_selectedRow < 1) {
        m_selectedRow = 1;
    }
    if (m_selectedRow > on(total)) {
        m_selectedRow = on(total);
    }
}

Paging::Buttons Paging::updateButtons(int total)
{
    const int lastPage = last(total);
    Buttons b;
    if (lastPage < 1) {
        m_currentPage = 0;
        return b;
    }
    if (m_currentPage > 0) {
        b.previous = true;
    } else {
        m_currentPage = 0;
    }
    if (m_currentPage < lastPage) {
        b.next = true;
    } else {
        m_currentPage = lastPage;
    }
    return b;
}

bool Paging::nextPage(int total)
{
    if (m_currentPage < 0) {
        m_currentPage = 0;
    }
    if (m_currentPage < last(total)) {
        ++m_currentPage;
        return true;
    }
    return false;
}

bool Paging::previousPage(int total)
{
    if (m_currentPage > last(total)) {
        m_currentPage = last(total);
    }
    if (m_currentPage > 0) {
        --m_currentPage;
        return true;
    }
    return false;
}

void Paging::moveUp(int total)
{
    clampSelection(total);
    if (m_selectedRow > 1) {
        --m_selectedRow;
    } else if (m_currentPage > 0) {
        --m_currentPage;
        m_selectedRow = kRows;
    }
}

void Paging::moveDown(int total)
{
    clampSelection(total);
    if (m_currentPage < last(total)) {
        if (m_selectedRow < kRows) {
            ++m_selectedRow;
        } else {
            ++m_currentPage;
            m_selectedRow = 1;
        }
    } else if (m_selectedRow < on(total)) {
        ++m_selectedRow;
    } else {
        m_selectedRow = on(total);
    }
}

bool Paging::hover(int row)
{
    if (m_hoverRow == row) {
        return false;
    }
    m_hoverRow = row;
    m_selectedRow = row;
    return true;
}

bool Paging::leave()
{
    if (m_hoverRow == 0) {
        return false;
    }
    m_hoverRow = 0;
    return true;
}

std::optional<int> Paging::resultIndex(int row, int total) const
{
    row = std::clamp(row, 1, kRows);
    if (total > base() && base() + row <= total) {
        return base() + row - 1;
    }
    return std::nullopt;
}

} // namespace telvane::query
