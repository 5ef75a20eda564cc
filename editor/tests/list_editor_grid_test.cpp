// The list editor's grid: columns and zoom, records coming into view, undo, and the selection as one block.
#include "editor/tests/list_editor_fixture.h"

class ListEditorGridTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { telvane::widgets::installFontSubstitutes(); }

    void columnsFitAtEveryZoom_data()
    {
        QTest::addColumn<int>("zoom");
        QTest::newRow("100 %") << 100;
        QTest::newRow("90 %") << 90;
        QTest::newRow("80 %") << 80;
    }
    // With the installed fonts: every caption, a full number and typical texts (a name of five characters, a unit of
    // twelve, half a remark) fit their columns whole, and the seven columns fit the window's width, filling it at
    // 100 %.
    void columnsFitAtEveryZoom()
    {
        QFETCH(int, zoom);
        QTemporaryDir dir;
        Editor editor(makeStore(dir, manyRecords(1000)));
        QVERIFY(editor.showActive());
        editor->setZoom(zoom);
        QTableView* table = editor.table();
        QTRY_VERIFY(!table->horizontalScrollBar()->isVisible());
        QVERIFY(table->verticalScrollBar()->isVisible());

        const QFontMetrics metrics(table->font());
        QCOMPARE(metrics.height(), QFontMetrics(table->horizontalHeader()->font()).height());
        const int cellMargins = 2 * (table->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, table) + 1);
        const int captionMargins = 2 * table->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, table);
        const QStringList typical {u"欧阳明王华"_s,       u"中国科学院计算技术研究所"_s,
                                   u"每周三下午在家里"_s, u"0108888765432"_s,
                                   u"0755123456789"_s,    u"13509011100"_s,
                                   u"0109999123456"_s};
        for (int f = 0; f < 7; ++f) {
            const int width = table->columnWidth(f);
            QVERIFY2(metrics.horizontalAdvance(typical[f]) <= width - cellMargins,
                     qPrintable(u"%1: %2 px in a %3 px column"_s.arg(typical[f])
                                    .arg(metrics.horizontalAdvance(typical[f]))
                                    .arg(width)));
            QVERIFY2(metrics.horizontalAdvance(kHeaders[f]) <= width - captionMargins, qPrintable(kHeaders[f]));
        }
        QVERIFY(table->rowHeight(0) > metrics.height());
        if (zoom == 100) {
            int total = 0;
            for (int f = 0; f < 7; ++f) {
                total += table->columnWidth(f);
            }
            QCOMPARE(total, table->viewport()->width());
        }
    }

    void zoomKeepsTheCurrentCellInView_data()
    {
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("to");
        QTest::newRow("80 to 100 %") << 80 << 100;
        QTest::newRow("90 to 100 %") << 90 << 100;
        QTest::newRow("100 to 80 %") << 100 << 80;
    }
    void zoomKeepsTheCurrentCellInView()
    {
        QFETCH(int, from);
        QFETCH(int, to);
        QTemporaryDir dir;
        Editor editor(makeStore(dir, manyRecords(1000)));
        QVERIFY(editor.showActive());
        editor->setZoom(from);
        QTableView* table = editor.table();
        // The current cell on the last row in sight, far down the list.
        table->setCurrentIndex(editor.cell(700, 5));
        table->scrollTo(editor.cell(700, 5), QAbstractItemView::PositionAtBottom);
        QVERIFY(inSight(table, editor.cell(700, 5)));
        editor->setZoom(to);
        QCOMPARE(table->currentIndex(), editor.cell(700, 5));
        QVERIFY(inSight(table, editor.cell(700, 5)));
    }

    void newRecordsComeIntoView_data()
    {
        telvane::testing::addBoolRows("paste", "reload after an import", "paste past the end");
    }
    void newRecordsComeIntoView()
    {
        QFETCH(bool, paste);
        QTemporaryDir dir;
        const QString path = makeStore(dir, manyRecords(300));
        Editor editor(path);
        QVERIFY(editor.showActive());
        QTableView* table = editor.table();
        table->scrollToTop();
        if (paste) {
            table->setCurrentIndex({});
            QGuiApplication::clipboard()->setText(u"王五\t公司\r\n赵六\t单位\r\n孙七\t工厂\r\n"_s);
            editor->paste();
        } else {
            table->setCurrentIndex(editor.cell(1, 0));
            DirectoryStore store;
            QVERIFY(store.open(path));
            for (const QString& name : {u"王五"_s, u"赵六"_s, u"孙七"_s}) {
                QVERIFY(store.append(record({name})));
            }
            editor->reload();
        }
        QCOMPARE(editor.model()->rowCount(), 303);
        QCOMPARE(table->currentIndex().row(), 300);
        for (int row = 300; row < 303; ++row) {
            QVERIFY2(inSight(table, editor.cell(row, 0)), qPrintable(QString::number(row)));
        }
    }

    void undoGivesBackTheIdenticalStore_data()
    {
        QTest::addColumn<QString>("action");
        for (const char* action : {"cell edit", "cut", "paste over cells", "paste past the end", "add record",
                                   "delete scattered rows", "delete everything", "three steps"}) {
            QTest::newRow(action) << QString::fromLatin1(action);
        }
    }
    void undoGivesBackTheIdenticalStore()
    {
        QFETCH(QString, action);
        QTemporaryDir dir;
        Records start;
        for (int i = 0; i < 40; ++i) {
            start << padded({u"人%1"_s.arg(i), u"单位%1"_s.arg(i % 3), QString(), u"010%1"_s.arg(i)});
        }
        const QString path = makeStore(dir, start);
        // Gaps in the keys, as deletes leave them: the records must come back with their own.
        QVERIFY(execOther(path, "DELETE FROM directory WHERE id IN (3, 17)"));
        const Records before = telvane::testing::readRecords(path);
        const QList<qint64> ids = telvane::testing::readIds(path);
        Editor editor(path);
        QVERIFY(editor.showActive());
        QAction* undo = findAction(editor.window, u"撤销(&U)"_s);
        QVERIFY(!undo->isEnabled());
        auto press = [&](Qt::Key key) { QTest::keyClick(editor.table(), key, Qt::ControlModifier); };
        int steps = 1;
        if (action == u"cell edit"_s) {
            QVERIFY(editor.model()->setData(editor.cell(5, 1), u"改过"_s));
        } else if (action == u"cut"_s) {
            editor.selectBlock(2, 0, 6, 3);
            press(Qt::Key_X);
        } else if (action == u"paste over cells"_s || action == u"paste past the end"_s) {
            QGuiApplication::clipboard()->setText(u"甲\t乙\r\n丙\t丁\r\n戊\t己\r\n"_s);
            editor.table()->setCurrentIndex(editor.cell(action == u"paste past the end"_s ? 36 : 4, 5));
            press(Qt::Key_V);
        } else if (action == u"add record"_s) {
            press(Qt::Key_A);
        } else if (action == u"delete scattered rows"_s) {
            QItemSelection rows;
            for (int r : {0, 7, 8, 30, 37}) {
                rows.select(editor.cell(r, 0), editor.cell(r, 6));
            }
            editor.table()->selectionModel()->select(rows, QItemSelectionModel::ClearAndSelect);
            press(Qt::Key_D);
        } else if (action == u"delete everything"_s) {
            editor.table()->selectAll();
            press(Qt::Key_D);
            QCOMPARE(editor.model()->rowCount(), 0);
        } else if (action == u"three steps"_s) {
            QVERIFY(editor.model()->setData(editor.cell(0, 0), u"一"_s));
            editor.selectBlock(10, 0, 12, 6);
            press(Qt::Key_D);
            QGuiApplication::clipboard()->setText(u"二\r\n三"_s);
            editor.table()->setCurrentIndex(editor.cell(37, 0));
            press(Qt::Key_V);
            steps = 3;
        } else {
            QFAIL("no such action");
        }
        QVERIFY(telvane::testing::readRecords(path) != before);
        QVERIFY(undo->isEnabled());
        for (int i = 0; i < steps; ++i) {
            press(Qt::Key_Z);
        }
        QCOMPARE(telvane::testing::readRecords(path), before);
        QCOMPARE(telvane::testing::readIds(path), ids);
        QCOMPARE(editor.model()->rowCount(), before.size());
        QCOMPARE(editor.model()->data(editor.cell(5, 1)).toString(), before[5][1]);
        QVERIFY(!undo->isEnabled());
        // Nothing more to take back: the store stays as it is.
        press(Qt::Key_Z);
        QCOMPARE(telvane::testing::readIds(path), ids);
    }

    void undoIsInTheContextMenuToo()
    {
        QTemporaryDir dir;
        Editor editor(makeStore(dir, {{u"张三"_s}}));
        const QList<QAction*> edit = findMenu(editor.window, u"编辑(&E)"_s)->actions();
        QCOMPARE(edit.first(), findAction(editor.window, u"撤销(&U)"_s));
    }

    void scatteredSelectionChangesNothingUnselected_data()
    {
        QTest::addColumn<bool>("cells"); // false: a row header and a cell
        QTest::addColumn<Qt::Key>("key"); // with Ctrl
        for (const auto& [command, key] : {std::pair {"cut", Qt::Key_X}, {"copy", Qt::Key_C}, {"delete", Qt::Key_D}}) {
            QTest::addRow("two cells by Ctrl+click, %s", command) << true << key;
            QTest::addRow("a row header and a cell, %s", command) << false << key;
        }
    }
    void scatteredSelectionChangesNothingUnselected()
    {
        QFETCH(bool, cells);
        QFETCH(Qt::Key, key);
        QTemporaryDir dir;
        Records start;
        for (int i = 0; i < 6; ++i) {
            start << padded({u"人%1"_s.arg(i), u"单位%1"_s.arg(i), u"备注%1"_s.arg(i), u"010%1"_s.arg(i)});
        }
        const QString path = makeStore(dir, start);
        Editor editor(path);
        QVERIFY(editor.showActive());
        QTableView* table = editor.table();
        // As a person selects: a click, then Ctrl+click (or a click on a row number, then Ctrl+click on a cell).
        auto click = [&](const QModelIndex& cell, Qt::KeyboardModifiers modifiers) {
            QTest::mouseClick(table->viewport(), Qt::LeftButton, modifiers, table->visualRect(cell).center());
        };
        if (cells) {
            click(editor.cell(1, 0), Qt::NoModifier);
            click(editor.cell(4, 3), Qt::ControlModifier);
        } else {
            table->selectRow(1); // what a click on the row's number does
            click(editor.cell(4, 3), Qt::ControlModifier);
        }
        QCOMPARE(table->selectionModel()->selectedIndexes().size(), cells ? 2 : 8);
        QGuiApplication::clipboard()->setText(u"剪贴板原有内容"_s);
        QTest::keyClick(table, key, Qt::ControlModifier);
        if (key == Qt::Key_D) {
            // The records holding a selected cell, and only those.
            Records remaining = start;
            remaining.removeAt(4);
            remaining.removeAt(1);
            QCOMPARE(telvane::testing::readRecords(path), remaining);
            return;
        }
        // No rectangle holds exactly these cells: the command refuses with a word in the status bar.
        QCOMPARE(telvane::testing::readRecords(path), start);
        QCOMPARE(QGuiApplication::clipboard()->text(), u"剪贴板原有内容"_s);
        QVERIFY(!editor->statusBar()->currentMessage().isEmpty());
    }

    void blockBuiltByCtrlClicksIsOneBlock()
    {
        QTemporaryDir dir;
        const QString path = makeStore(dir, {{u"甲"_s, u"一"_s}, {u"乙"_s, u"二"_s}, {u"丙"_s}});
        Editor editor(path);
        QVERIFY(editor.showActive());
        QTableView* table = editor.table();
        for (const auto& [cell, modifiers] :
             {std::pair {editor.cell(0, 0), Qt::KeyboardModifiers(Qt::NoModifier)},
              std::pair {editor.cell(1, 0), Qt::KeyboardModifiers(Qt::ControlModifier)},
              std::pair {editor.cell(0, 1), Qt::KeyboardModifiers(Qt::ControlModifier)},
              std::pair {editor.cell(1, 1), Qt::KeyboardModifiers(Qt::ControlModifier)}}) {
            QTest::mouseClick(table->viewport(), Qt::LeftButton, modifiers, table->visualRect(cell).center());
        }
        QTest::keyClick(table, Qt::Key_X, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(), u"甲\t一\r\n乙\t二\r\n"_s);
        QCOMPARE(telvane::testing::readRecords(path), names({{}, {}, u"丙"_s}));
    }

    void noReadStaysOpenAfterLoading()
    {
        // More rows than one fetch brings in: the grid must not leave a read open, or the WAL could not be
        // checkpointed away by the main window's connection.
        QTemporaryDir dir;
        Records many;
        for (int i = 0; i < 1000; ++i) {
            many << padded({u"人%1"_s.arg(i)});
        }
        const QString path = makeStore(dir, many);
        Editor editor(path);
        QCOMPARE(editor.model()->rowCount(), 1000);
        DirectoryStore store;
        QVERIFY(store.open(path));
        QVERIFY(store.append(record({u"新"_s})));
        sqlite3* db = nullptr;
        QCOMPARE(sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
        QCOMPARE(sqlite3_exec(db, "SELECT count(*) FROM directory", nullptr, nullptr, nullptr), SQLITE_OK);
        int log = -1;
        int done = -1;
        const int rc = sqlite3_wal_checkpoint_v2(db, nullptr, SQLITE_CHECKPOINT_TRUNCATE, &log, &done);
        sqlite3_close(db);
        QCOMPARE(rc, SQLITE_OK);
        QCOMPARE(log, 0);
    }
};

QTEST_MAIN(ListEditorGridTest)
#include "list_editor_grid_test.moc"
