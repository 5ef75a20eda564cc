#pragma once

#include <optional>

namespace telvane::query {

// The paging arithmetic of the five result rows: which page is shown, which row is selected and which row the
// mouse is over. Pure state and integer rules; the window paints what this decides.
class Paging
{
public:
    static constexpr int kRows = 5;

    int currentPage() const { return m_currentPage; }
    int selectedRow() const { return m_selectedRow; }
    int hoverRow() const { return m_hoverRow; }
    void setSelectedRow(int row) { m_selectedRow = row; }
    void setCurrentPage(int page) { m_currentPage = page; }

    // Derived values for `total` results.
    int base() const { return m_currentPage * kRows; }
    int on(int total) const { return total - base(); }
    static int pages(int total) { return (total + kRows - 1) / kRows; }
    static int last(int total) { return pages(total) - 1; }

    // Pulls the selected row into 1 .. on (it ends at 0 or below when the page is empty).
    void clampSelection(int total);

    struct Buttons
    {
        bool previous = false;
        bool next = false;
    };
    // Brings the current page into range and says which page buttons are enabled.
    Buttons updateButtons(int total);

    // One page on or back; true when the page changed (the rows must be filled again).
    bool nextPage(int total);
    bool previousPage(int total);

    // Moves the selected row, across a page boundary when needed.
    void moveUp(int total);
    void moveDown(int total);

    // The mouse entered row r; false when it already was there.
    bool hover(int row);
    // The mouse left the rows; false when no row was hovered.
    bool leave();

    // The 0-based Result list index shown in `row` (clamped into 1..5), if that row holds a result.
    std::optional<int> resultIndex(int row, int total) const;

private:
    int m_currentPage = 0;
    int m_selectedRow = 0;
    int m_hoverRow = 0;
};

} // namespace telvane::query
