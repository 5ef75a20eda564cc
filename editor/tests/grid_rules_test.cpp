// The list editor's block commands without a grid: which rectangle a selection is, which rows Delete takes, and
// what a paste writes where.
#include "editor/grid_rules.h"

#include <QStandardItemModel>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace telvane;
using editor::CellBlock;

namespace {

// Rectangles of cells (top, left, bottom, right) as a grid reports its selection.
using Rects = QList<QList<int>>;

} // namespace

class GridRulesTest : public QObject
{
    Q_OBJECT

private:
    QStandardItemModel m_model {100, 7};
    QItemSelection selection(const Rects& rects)
    {
        QItemSelection s;
        for (const QList<int>& r : rects) {
            s.select(m_model.index(r[0], r[1]), m_model.index(r[2], r[3]));
        }
        return s;
    }

private slots:
    void selectionIsOneBlockOrScattered_data()
    {
        QTest::addColumn<Rects>("rects");
        QTest::addColumn<QList<int>>("current");
        QTest::addColumn<QList<int>>("block"); // empty: scattered
        QTest::newRow("one rectangle") << Rects {{2, 1, 4, 3}} << QList<int> {2, 1} << QList<int> {2, 1, 4, 3};
        QTest::newRow("nothing selected: the current cell") << Rects {} << QList<int> {5, 6} << QList<int> {5, 6, 5, 6};
        QTest::newRow("Ctrl+clicks that make a rectangle")
            << Rects {{1, 0, 1, 0}, {2, 0, 2, 0}, {1, 1, 2, 1}} << QList<int> {1, 0} << QList<int> {1, 0, 2, 1};
        QTest::newRow("overlapping ranges")
            << Rects {{0, 0, 3, 0}, {2, 0, 5, 0}} << QList<int> {0, 0} << QList<int> {0, 0, 5, 0};
        QTest::newRow("a gap in a column") << Rects {{0, 0, 1, 0}, {3, 0, 4, 0}} << QList<int> {0, 0} << QList<int> {};
        QTest::newRow("a row and a cell elsewhere")
            << Rects {{3, 0, 3, 6}, {8, 2, 8, 2}} << QList<int> {8, 2} << QList<int> {};
        QTest::newRow("an L shape") << Rects {{0, 0, 2, 0}, {2, 1, 2, 1}} << QList<int> {0, 0} << QList<int> {};
    }
    void selectionIsOneBlockOrScattered()
    {
        QFETCH(Rects, rects);
        QFETCH(QList<int>, current);
        QFETCH(QList<int>, block);
        bool scattered = false;
        const CellBlock got =
            editor::selectedBlock(selection(rects), m_model.index(current[0], current[1]), &scattered);
        QCOMPARE(scattered, block.isEmpty());
        const CellBlock expected = block.isEmpty() ? CellBlock {} : CellBlock {block[0], block[1], block[2], block[3]};
        QCOMPARE(got, expected);
        QCOMPARE(editor::emptiedCells(got).size(),
                 block.isEmpty() ? 0 : std::size_t((block[2] - block[0] + 1) * (block[3] - block[1] + 1)));
    }

    void deleteTakesTheRowsOfSelectedCells()
    {
        QCOMPARE(editor::selectedRows(selection({{4, 2, 6, 2}, {1, 0, 1, 6}, {5, 5, 5, 5}}), m_model.index(4, 2)),
                 (std::vector<int> {1, 4, 5, 6}));
        QCOMPARE(editor::selectedRows({}, m_model.index(9, 3)), std::vector<int> {9});
        QVERIFY(editor::selectedRows({}, {}).empty());
    }

    void pasteLandsOnRowsAndBeyond_data()
    {
        QTest::addColumn<int>("top");
        QTest::addColumn<int>("field");
        QTest::addColumn<int>("cells");
        QTest::addColumn<int>("newRecords");
        QTest::addColumn<int>("right");
        QTest::addColumn<int>("dropped");
        // A block of three rows of three cells into a grid of four records.
        QTest::newRow("inside the grid") << 0 << 2 << 9 << 0 << 4 << 0;
        QTest::newRow("over the last row") << 3 << 0 << 3 << 2 << 2 << 0;
        QTest::newRow("below every row") << 4 << 0 << 0 << 3 << 2 << 0;
        QTest::newRow("columns beyond the last field") << 0 << 5 << 6 << 0 << 6 << 1;
    }
    void pasteLandsOnRowsAndBeyond()
    {
        QFETCH(int, top);
        QFETCH(int, field);
        QFETCH(int, cells);
        QFETCH(int, newRecords);
        QFETCH(int, right);
        QFETCH(int, dropped);
        const text::TsvRows block {{u"a"_s, u"b"_s, u"c"_s}, {u"d"_s, u"e"_s, u"f"_s}, {u"g"_s, u"h"_s, u"i"_s}};
        const editor::PastePlan plan = editor::planPaste(block, top, field, 4);
        QCOMPARE(static_cast<int>(plan.cells.size()), cells);
        QCOMPARE(static_cast<int>(plan.newRecords.size()), newRecords);
        QCOMPARE(plan.right, right);
        QCOMPARE(plan.droppedColumns, dropped);
        // Row i of the block lands on row top + i, its first cell in the field pasted at.
        for (const auto& c : plan.cells) {
            QCOMPARE(c.text, block[c.row - top][static_cast<qsizetype>(c.field) - field]);
        }
        if (newRecords > 0) {
            QCOMPARE(plan.newRecords.back()[static_cast<std::size_t>(field)], u"g"_s);
        }
    }
};

QTEST_GUILESS_MAIN(GridRulesTest)
#include "grid_rules_test.moc"
