#pragma once

#include "store/record.h"
#include "store/record_table.h"
#include "text/tsv.h"

#include <QItemSelection>
#include <QModelIndex>

#include <vector>

// What the list editor's block commands act on, worked out from the grid's selection without the grid: the
// rectangle of cells Cut and Copy take, the rows Delete removes, and the cells and records a paste writes.
namespace telvane::editor {

// A rectangle of cells: rows and fields, both ends included.
struct CellBlock
{
    int top = -1;
    int left = 0;
    int bottom = -1;
    int right = -1;
    bool isEmpty() const { return top < 0; }
    bool operator==(const CellBlock&) const = default;
};

// The selection as one rectangle; the current cell when nothing is selected. A scattered selection (Ctrl+click, a
// row header and a cell elsewhere), which no rectangle covers exactly, gives an empty block and sets *scattered:
// a cell the user did not choose must not change.
CellBlock selectedBlock(const QItemSelection& selection, const QModelIndex& current, bool* scattered);

// The rows that hold a selected cell (the current row when nothing is selected), ascending, each once.
std::vector<int> selectedRows(const QItemSelection& selection, const QModelIndex& current);

// The cells of a block, each to be emptied (Cut: the records stay).
std::vector<store::RecordTable::CellWrite> emptiedCells(const CellBlock& block);

// What a paste of a tab-separated block writes at (top, field) of a grid of `rows` records: the cells that land on
// existing rows, the records that rows below the last one become, the rightmost field written, and how many
// columns found no field to the right.
struct PastePlan
{
    std::vector<store::RecordTable::CellWrite> cells;
    std::vector<store::RecordTexts> newRecords;
    int right = 0;
    int droppedColumns = 0;
};
PastePlan planPaste(const text::TsvRows& block, int top, int field, int rows);

} // namespace telvane::editor
