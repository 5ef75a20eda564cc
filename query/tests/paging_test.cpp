#include "query/paging.h"

#include <QTest>

using telvane::query::Paging;

class PagingTest : public QObject
{
    Q_OBJECT

private slots:
    void buttons_data()
    {
        QTest::addColumn<int>("total");
        QTest::addColumn<int>("page");
        QTest::addColumn<bool>("previous");
        QTest::addColumn<bool>("next");
        QTest::addColumn<int>("pageAfter");
        QTest::newRow("no results") << 0 << 3 << false << false << 0;
        QTest::newRow("exactly five") << 5 << 0 << false << false << 0;
        QTest::newRow("six, first page") << 6 << 0 << false << true << 0;
        QTest::newRow("six, second page") << 6 << 1 << true << false << 1;
        QTest::newRow("twelve, middle") << 12 << 1 << true << true << 1;
        QTest::newRow("page beyond the end is pulled back") << 12 << 7 << true << false << 2;
        QTest::newRow("negative page") << 12 << -2 << false << true << 0;
    }
    void buttons()
    {
        QFETCH(int, total);
        QFETCH(int, page);
        QFETCH(bool, previous);
        QFETCH(bool, next);
        QFETCH(int, pageAfter);
        Paging p;
        p.setCurrentPage(page);
        const auto b = p.updateButtons(total);
        QCOMPARE(b.previous, previous);
        QCOMPARE(b.next, next);
        QCOMPARE(p.currentPage(), pageAfter);
    }

    void selectionIsClamped_data()
    {
        QTest::addColumn<int>("total");
        QTest::addColumn<int>("page");
        QTest::addColumn<int>("selected");
        QTest::addColumn<int>("after");
        QTest::newRow("no results leaves 0") << 0 << 0 << 1 << 0;
        QTest::newRow("second page of six pulls 4 back to 1") << 6 << 1 << 4 << 1;
        QTest::newRow("below 1 becomes 1") << 12 << 0 << -3 << 1;
        QTest::newRow("full page keeps 5") << 12 << 0 << 5 << 5;
        QTest::newRow("page beyond the results") << 6 << 3 << 2 << -9;
    }
    void selectionIsClamped()
    {
        QFETCH(int, total);
        QFETCH(int, page);
        QFETCH(int, selected);
        QFETCH(int, after);
        Paging p;
        p.setCurrentPage(page);
        p.setSelectedRow(selected);
        p.clampSelection(total);
        QCOMPARE(p.selectedRow(), after);
    }

    void turningPages()
    {
        Paging p;
        QVERIFY(!p.previousPage(12));
        QVERIFY(p.nextPage(12));
        QVERIFY(p.nextPage(12));
        QCOMPARE(p.currentPage(), 2);
        QVERIFY(!p.nextPage(12));
        QCOMPARE(p.currentPage(), 2);
        // A page left beyond the results after a new search is pulled back before turning back.
        p.setCurrentPage(9);
        QVERIFY(p.previousPage(12));
        QCOMPARE(p.currentPage(), 1);
        p.setCurrentPage(-4);
        QVERIFY(p.nextPage(12));
        QCOMPARE(p.currentPage(), 1);
    }

    void movingTheSelection_data()
    {
        QTest::addColumn<int>("total");
        QTest::addColumn<int>("page");
        QTest::addColumn<int>("selected");
        QTest::addColumn<bool>("up");
        QTest::addColumn<int>("pageAfter");
        QTest::addColumn<int>("selectedAfter");
        QTest::newRow("down within a page") << 12 << 0 << 2 << false << 0 << 3;
        QTest::newRow("down from row 5 turns the page") << 12 << 0 << 5 << false << 1 << 1;
        QTest::newRow("down on the short last page stays") << 12 << 2 << 2 << false << 2 << 2;
        QTest::newRow("down to the last filled row") << 13 << 2 << 2 << false << 2 << 3;
        QTest::newRow("up from row 1 of page 2 goes to row 5 of page 1") << 12 << 1 << 1 << true << 0 << 5;
        QTest::newRow("up from row 1 of page 1 stays") << 12 << 0 << 1 << true << 0 << 1;
        QTest::newRow("up within a page") << 12 << 1 << 4 << true << 1 << 3;
        QTest::newRow("no results") << 0 << 0 << 1 << false << 0 << 0;
    }
    void movingTheSelection()
    {
        QFETCH(int, total);
        QFETCH(int, page);
        QFETCH(int, selected);
        QFETCH(bool, up);
        QFETCH(int, pageAfter);
        QFETCH(int, selectedAfter);
        Paging p;
        p.setCurrentPage(page);
        p.setSelectedRow(selected);
        if (up) {
            p.moveUp(total);
        } else {
            p.moveDown(total);
        }
        QCOMPARE(p.currentPage(), pageAfter);
        QCOMPARE(p.selectedRow(), selectedAfter);
    }

    void hoverAndLeave()
    {
        Paging p;
        p.setSelectedRow(1);
        QVERIFY(!p.leave());
        QVERIFY(p.hover(3));
        QCOMPARE(p.selectedRow(), 3);
        QVERIFY(!p.hover(3));
        QVERIFY(p.leave());
        QCOMPARE(p.hoverRow(), 0);
        QCOMPARE(p.selectedRow(), 3);
    }

    void resultIndexOfARow()
    {
        Paging p;
        p.setCurrentPage(1);
        QCOMPARE(p.resultIndex(1, 6), std::optional<int>(5));
        QCOMPARE(p.resultIndex(2, 6), std::nullopt);
        QCOMPARE(p.resultIndex(9, 12), std::optional<int>(9)); // clamped to row 5
        QCOMPARE(p.resultIndex(-1, 12), std::optional<int>(5)); // clamped to row 1
        QCOMPARE(p.resultIndex(1, 0), std::nullopt);
    }
};

QTEST_GUILESS_MAIN(PagingTest)
#include "paging_test.moc"
