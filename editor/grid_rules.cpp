#include "editor/grid_rules.h"

#include <algorithm>

namespace telvane::editor {

CellBlock selectedBlock(const QItemSelection& selection, const QModelIndex& current, bool* scattered)
{
    *scattered = false;
    // Read as ranges, not cells: a whole grid selected holds millions of cells.
    QItemSelection ranges = selection;
    if (ranges.isEmpty() && current.isValid()) {
        ranges.select(current, current);
    }
    CellBlock block;
    for (const QItemSelectionRange& range : ranges) {
        if (block.isEmpty()) {
            block = {range.top(), range.left(), range.bottom(), range.right()};
            continue;
        }
        block.top = std::min(block.top, range.top());
        block.bottom = std::max(block.bottom, range.bottom());
        block.left = std::min(block.left, range.left());
        block.right = std::max(block.right, range.right());
    }
    // The rectangle around the ranges must be exactly what they cover: each of its columns covered from top to
    // bottom without a gap.
    for (int column = block.left; !block.isEmpty() && column <= block.right; ++column) {
        std::vector<std::pair<int, int>> spans;
        for (const QItemSelectionRange& range : ranges) {
            if (range.left() <= column && column <= range.right()) {
                spans.emplace_back(range.top(), range.bottom());
            }
        }
        std::ranges::sort(spans);
        int reached = block.top - 1;
        for (const auto& [top, bottom] : spans) {
            if (top > reached + 1) {
                break;
            }
            reached = std::max(reached, bottom);
        }
        if (reached < block.bottom) {
            *scattered = true;
            return {};
        }
    }
    return block;
}

std::vector<int> selectedRows(const QItemSelection& selection, const QModelIndex& current)
{
    std::vector<int> rows;
    for (const QItemSelectionRange& range : selection) {
        for (int r = range.top(); r <= range.bottom(); ++r) {
            rows.push_back(r);
        }
    }
    if (rows.empty() && current.isValid()) {
        rows.push_back(current.row());
    }
    std::ranges::sort(rows);
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

std::vector<store::RecordTable::CellWrite> emptiedCells(const CellBlock& block)
{
    std::vector<store::RecordTable::CellWrite> cells;
    for (int r = block.top; !block.isEmpty() && r <= block.bottom; ++r) {
        for (int f = block.left; f <= block.right; ++f) {
            cells.push_back({r, static_cast<std::size_t>(f), QString()});
        }
    }
    return cells;
}

PastePlan planPaste(const text::TsvRows& block, int top, int field, int rows)
{
    PastePlan plan;
    plan.right = field;
    const auto fits = static_cast<qsizetype>(store::kFieldCount) - field;
    for (qsizetype i = 0; i < block.size(); ++i) {
        const int row = top + static_cast<int>(i);
        store::RecordTexts record;
        plan.droppedColumns = std::max(plan.droppedColumns, static_cast<int>(block[i].size() - fits));
        for (qsizetype j = 0; j < std::min(block[i].size(), fits); ++j) {
            const auto f = static_cast<std::size_t>(field + j);
            plan.right = std::max(plan.right, static_cast<int>(f));
            if (row < rows) {
                plan.cells.push_back({row, f, block[i][j]});
            } else {
                record[f] = block[i][j];
            }
        }
        if (row >= rows) {
            plan.newRecords.push_back(record);
        }
    }
    return plan;
}

} // namespace telvane::editor
