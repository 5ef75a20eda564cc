// The list editor: its window and menus, editing, the clipboard, and the store beneath it.
#include "editor/tests/list_editor_fixture.h"

#include <algorithm>

class ListEditorTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { telvane::widgets::installFontSubstitutes(); }

    void opensAtSizeWithFullZoom()
    {
        QTemporaryDir dir;
        const QString path = makeStore(dir, {{u"张三"_s}, {u"李四"_s}});
        Editor editor(path);
        QCOMPARE(editor->size(), QSize(750, 550));
        QCOMPARE(editor->windowTitle(), u"Telvane-列表修改器"_s);
        QVERIFY(!editor->windowIcon().isNull());
        QVERIFY(editor->isStoreOpen());
        QCOMPARE(editor.model()->rowCount(), 2);

        // The seven fields in field order under their names; the key is not shown.
        QHeaderView* header = editor.table()->horizontalHeader();
        QStringList shown;
        for (int v = 0; v < header->count(); ++v) {
            const int column = header->logicalIndex(v);
            if (!header->isSectionHidden(column)) {
                shown << editor.model()->headerData(column, Qt::Horizontal).toString();
            }
        }
        QCOMPARE(shown, kHeaders);

        auto checks = [&] {
            return QList<bool> {findAction(editor.window, u"显示100%比例"_s)->isChecked(),
                                findAction(editor.window, u"显示90%比例"_s)->isChecked(),
                                findAction(editor.window, u"显示80%比例"_s)->isChecked()};
        };
        QCOMPARE(checks(), (QList<bool> {true, false, false}));
        const qreal fullFont = editor.table()->font().pointSizeF();
        const int fullRow = editor.table()->rowHeight(0);
        const int fullColumn = editor.table()->columnWidth(2);

        findAction(editor.window, u"显示80%比例"_s)->trigger();
        QCOMPARE(checks(), (QList<bool> {false, false, true}));
        QCOMPARE(editor->zoom(), 80);
        QCOMPARE(editor.table()->font().pointSizeF(), fullFont * 0.8);
        QVERIFY(editor.table()->rowHeight(0) < fullRow);
        QVERIFY(editor.table()->columnWidth(2) < fullColumn);
        QCOMPARE(editor->size(), QSize(750, 550));

        findAction(editor.window, u"显示90%比例"_s)->trigger();
        QCOMPARE(checks(), (QList<bool> {false, true, false}));
        findAction(editor.window, u"显示100%比例"_s)->trigger();
        QCOMPARE(checks(), (QList<bool> {true, false, false}));
        QCOMPARE(editor.table()->font().pointSizeF(), fullFont);
        QCOMPARE(editor.table()->rowHeight(0), fullRow);
    }

    void gridKeepsOnePixelMargin_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::newRow("opening size") << QSize(750, 550);
        QTest::newRow("smaller") << QSize(420, 300);
        QTest::newRow("larger") << QSize(1000, 720);
    }

    void gridKeepsOnePixelMargin()
    {
        QFETCH(QSize, size);
        QTemporaryDir dir;
        Editor editor(makeStore(dir, {}));
        editor->show();
        QVERIFY(QTest::qWaitForWindowExposed(editor.window.data()));
        editor->resize(size);
        const QWidget* client = editor->centralWidget();
        QTRY_COMPARE(editor.table()->geometry(), client->rect().adjusted(1, 1, -1, -1));
        QCOMPARE(editor.table()->parentWidget(), client);
    }

    void menusCarryCaptionsAndKeys_data()
    {
        QTest::addColumn<QString>("menu");
        QTest::addColumn<QString>("item");
        QTest::addColumn<QKeySequence>("key");
        QTest::newRow("exit") << u"文件(&F)"_s << u"退出(&X)"_s << QKeySequence(u"Ctrl+Q"_s);
        QTest::newRow("undo") << u"编辑(&E)"_s << u"撤销(&U)"_s << QKeySequence(u"Ctrl+Z"_s);
        QTest::newRow("cut") << u"编辑(&E)"_s << u"剪切(&T)"_s << QKeySequence(u"Ctrl+X"_s);
        QTest::newRow("copy") << u"编辑(&E)"_s << u"复制(&C)"_s << QKeySequence(u"Ctrl+C"_s);
        QTest::newRow("paste") << u"编辑(&E)"_s << u"粘贴(&V)"_s << QKeySequence(u"Ctrl+V"_s);
        QTest::newRow("add") << u"编辑(&E)"_s << u"增加记录(&A)"_s << QKeySequence(u"Ctrl+A"_s);
        QTest::newRow("delete") << u"编辑(&E)"_s << u"删除记录(&D)"_s << QKeySequence(u"Ctrl+D"_s);
        QTest::newRow("duplicates") << u"编辑(&E)"_s << u"查找重复(&R)"_s << QKeySequence();
        QTest::newRow("export vCard") << u"文件(&F)"_s << u"导出通讯录(vCard)…"_s << QKeySequence();
        QTest::newRow("zoom 100") << u"显示比例(&L)"_s << u"显示100%比例"_s << QKeySequence();
        QTest::newRow("zoom 90") << u"显示比例(&L)"_s << u"显示90%比例"_s << QKeySequence();
        QTest::newRow("zoom 80") << u"显示比例(&L)"_s << u"显示80%比例"_s << QKeySequence();
        QTest::newRow("import") << u"Excel批量导入(&G)"_s << u"从Excel批量导入数据(&I)"_s << QKeySequence();
        QTest::newRow("about") << u"帮助(&H)"_s << u"关于(&A)"_s << QKeySequence(u"F1"_s);
    }

    // 查找重复 selects the later record of each repeat, Ctrl+D takes them away and undo brings them back.
    void findDuplicatesSelectsRepeats()
    {
        QTemporaryDir dir;
        const Records records {
            padded({u"张三"_s, {}, {}, {}, {}, u"13800001111"_s}),
            padded({u"李四"_s, {}, {}, u"010-88886666"_s}),
            padded({u"张三丰"_s, {}, {}, {}, {}, u"138 0000 1111"_s}), // the same mobile digits
            padded({u"李四"_s, {}, {}, {}, u"01088886666"_s}), // the same name and a same number
            padded({u"王五"_s, {}, {}, u"01088886666"_s}), // a same number under another name
        };
        const QString path = makeStore(dir, records);
        Editor editor(path);
        QVERIFY(editor.showActive());
        QAction* find = findAction(editor.window, u"查找重复(&R)"_s);
        find->trigger();
        QList<int> selected;
        for (const QModelIndex& index : editor.table()->selectionModel()->selectedRows()) {
            selected << index.row();
        }
        std::sort(selected.begin(), selected.end());
        QCOMPARE(selected, (QList<int> {2, 3}));
        QVERIFY(editor->statusBar()->currentMessage().contains(u"2条"_s));

        QTest::keyClick(editor.table(), Qt::Key_D, Qt::ControlModifier);
        QCOMPARE(readFile(path), (Records {records[0], records[1], records[4]}));
        findAction(editor.window, u"撤销(&U)"_s)->trigger();
        QCOMPARE(readFile(path), records);

        // The selected rows alone, then the whole directory when no row is selected.
        find->trigger();
        QVERIFY(editor->exportVCards(dir.filePath(u"chosen.vcf"_s)));
        QCOMPARE(telvane::testing::fileBytes(dir.filePath(u"chosen.vcf"_s)).count("BEGIN:VCARD"), 2);

        editor.table()->clearSelection();
        QVERIFY(editor->exportVCards(dir.filePath(u"all.vcf"_s)));
        QCOMPARE(telvane::testing::fileBytes(dir.filePath(u"all.vcf"_s)).count("BEGIN:VCARD"), 5);

        QTemporaryDir other;
        Editor single(makeStore(other, {{u"张三"_s}}));
        QCOMPARE(single->findDuplicates(), 0);
        QCOMPARE(single->statusBar()->currentMessage(), u"没有重复的记录"_s);
    }

    void menusCarryCaptionsAndKeys()
    {
        QFETCH(QString, menu);
        QFETCH(QString, item);
        QFETCH(QKeySequence, key);
        QTemporaryDir dir;
        Editor editor(makeStore(dir, {}));

        QStringList titles;
        for (QAction* a : editor->menuBar()->actions()) {
            titles << a->text();
        }
        QCOMPARE(titles, (QStringList {u"文件(&F)"_s, u"编辑(&E)"_s, u"显示比例(&L)"_s, u"Excel批量导入(&G)"_s,
                                       u"帮助(&H)"_s}));
        QMenu* m = findMenu(editor.window, menu);
        QVERIFY(m);
        QAction* found = nullptr;
        for (QAction* a : m->actions()) {
            if (a->text() == item) {
                found = a;
            }
        }
        QVERIFY2(found, qPrintable(item));
        QCOMPARE(found->shortcut(), key);

        // The edit menu: undo, three clipboard items, a separator, the two record items, a separator, 查找重复.
        const QList<QAction*> edit = findMenu(editor.window, u"编辑(&E)"_s)->actions();
        QCOMPARE(edit.size(), 9);
        QCOMPARE(edit[0]->text(), u"撤销(&U)"_s);
        QVERIFY(edit[4]->isSeparator());
        QVERIFY(edit[7]->isSeparator());
    }

    void rightClickPopsUpTheEditMenu()
    {
        QTemporaryDir dir;
        Editor editor(makeStore(dir, {{u"张三"_s}}));
        QVERIFY(editor.showActive());
        QMenu* edit = findMenu(editor.window, u"编辑(&E)"_s);
        QVERIFY(!edit->isVisible());
        QWidget* viewport = editor.table()->viewport();
        const QPoint at = viewport->rect().center();
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, viewport->mapToGlobal(at));
        QApplication::sendEvent(viewport, &event);
        QTRY_VERIFY(edit->isVisible());
        edit->close();
    }

    void aboutOpensTheHelpWindowOwnedByTheEditor()
    {
        QTemporaryDir dir;
        Editor editor(makeStore(dir, {}));
        QVERIFY(editor.showActive());
        QPointer<QWidget> help;
        QWidget* owner = nullptr;
        QByteArray helpClass;
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] {
            if (QWidget* modal = QApplication::activeModalWidget(); modal && modal != editor.window) {
                poll.stop();
                help = modal;
                owner = modal->parentWidget();
                helpClass = modal->metaObject()->className();
                modal->close();
            }
        });
        poll.start(20);
        QTest::keyClick(editor.table(), Qt::Key_F1);
        // showModal returned: the panel was shown modally over the list editor and is gone again.
        QVERIFY(owner);
        QCOMPARE(owner, editor.window.data());
        QCOMPARE(helpClass, QByteArray("telvane::help::HelpWindow"));
        QTRY_VERIFY(help.isNull());
        QVERIFY(editor->isVisible());
    }

    void cutEmptiesCellsAndPastesElsewhere()
    {
        QTemporaryDir dir;
        const Records start {padded({u"张三"_s, u"单位A"_s, u"甲"_s}), padded({u"李四"_s, u"单位\"B\""_s, u"乙"_s}),
                             padded({u"王五"_s, u"单位C"_s, u"丙"_s}), padded({u"赵六"_s, u"单位D"_s, u"丁"_s})};
        const QString path = makeStore(dir, start);
        DirectoryStore store;
        QVERIFY(store.open(path));
        Editor editor(path);
        QVERIFY(editor.showActive());

        editor.selectBlock(0, 0, 1, 1);
        QTest::keyClick(editor.table(), Qt::Key_C, Qt::ControlModifier);
        const QString block = u"张三\t单位A\r\n李四\t\"单位\"\"B\"\"\"\r\n"_s;
        QCOMPARE(QGuiApplication::clipboard()->text(), block);
        QCOMPARE(readStore(store), start);

        QGuiApplication::clipboard()->clear();
        editor.selectBlock(0, 0, 1, 1);
        QTest::keyClick(editor.table(), Qt::Key_X, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(), block);
        Records expected = start;
        expected[0] = padded({QString(), QString(), u"甲"_s});
        expected[1] = padded({QString(), QString(), u"乙"_s});
        QCOMPARE(readStore(store), expected);
        QCOMPARE(editor.model()->rowCount(), 4);
        QCOMPARE(editor.model()->data(editor.cell(1, 1)).toString(), QString());

        // Pasted at the last row and the remark column: the second row of the block becomes a new record.
        editor.table()->setCurrentIndex(editor.cell(3, 2));
        QTest::keyClick(editor.table(), Qt::Key_V, Qt::ControlModifier);
        expected[3] = padded({u"赵六"_s, u"单位D"_s, u"张三"_s, u"单位A"_s});
        expected << padded({QString(), QString(), u"李四"_s, u"单位\"B\""_s});
        QCOMPARE(readStore(store), expected);
        QCOMPARE(editor.model()->rowCount(), 5);
        QCOMPARE(editor.model()->data(editor.cell(4, 3)).toString(), u"单位\"B\""_s);
    }

    void deleteRemovesExactlyTheSelectedRecords_data()
    {
        QTest::addColumn<Records>("records");
        QTest::addColumn<QList<int>>("rows");
        QTest::addColumn<Records>("remaining");

        const QStringList a = padded({u"同名"_s, u"同单位"_s, QString(), u"1"_s});
        const QStringList b = padded({u"乙"_s});
        const QStringList c = padded({u"丙"_s});
        const QStringList d = padded({u"丁"_s});
        QTest::newRow("three of six") << Records {b, c, d, a, padded({u"戊"_s}), padded({u"己"_s})}
                                      << QList<int> {1, 2, 3} << Records {b, padded({u"戊"_s}), padded({u"己"_s})};
        QTest::newRow("one of identical twins") << Records {a, a, b, c, a} << QList<int> {1, 2, 3} << Records {a, a};
        QTest::newRow("both twins and one more") << Records {b, a, a, c, d} << QList<int> {1, 2, 4} << Records {b, c};
        QTest::newRow("rows apart") << Records {a, b, c, d, a} << QList<int> {0, 2, 4} << Records {b, d};
    }

    void deleteRemovesExactlyTheSelectedRecords()
    {
        QFETCH(Records, records);
        QFETCH(QList<int>, rows);
        QFETCH(Records, remaining);
        QTemporaryDir dir;
        const QString path = makeStore(dir, records);
        DirectoryStore store;
        QVERIFY(store.open(path));
        QCOMPARE(store.recordCount(), records.size());
        Editor editor(path);
        QVERIFY(editor.showActive());

        QItemSelection selection;
        for (int row : rows) {
            selection.select(editor.cell(row, 0), editor.cell(row, 6));
        }
        editor.table()->setCurrentIndex(editor.cell(rows.front(), 0));
        editor.table()->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
        QTest::keyClick(editor.table(), Qt::Key_D, Qt::ControlModifier);

        QCOMPARE(store.recordCount(), remaining.size());
        QCOMPARE(readStore(store), remaining);
        QCOMPARE(editor.model()->rowCount(), remaining.size());
    }

    void pasteIntoEmptyGridAddsRecords_data()
    {
        QTest::addColumn<QString>("clipboard");
        QTest::addColumn<Records>("records");
        QTest::addColumn<QString>("said"); // in the status bar

        QTest::newRow("spreadsheet block, CR LF")
            << u"王五\t公司\t备注\t010-1\t020-2\t13900000000\t0755\r\n赵六\t\t\t\t\t\t\r\n"_s
            << Records {{u"王五"_s, u"公司"_s, u"备注"_s, u"010-1"_s, u"020-2"_s, u"13900000000"_s, u"0755"_s},
                        padded({u"赵六"_s})}
            << QString();
        QTest::newRow("LF, short rows") << u"甲\n乙\t单位"_s
                                        << Records {padded({u"甲"_s}), padded({u"乙"_s, u"单位"_s})} << QString();
        QTest::newRow("CR alone ends rows")
            << u"甲\r乙\r"_s << Records {padded({u"甲"_s}), padded({u"乙"_s})} << QString();
        QTest::newRow("cells past the last field dropped")
            << u"1\t2\t3\t4\t5\t6\t7\t8\t9"_s << Records {{u"１"_s, u"２"_s, u"3"_s, u"4"_s, u"5"_s, u"6"_s, u"7"_s}}
            << u"右边的2列没有粘贴"_s;
        // One line, as a name keeps it: the line break a space, made full-width.
        QTest::newRow("line break inside a quoted cell")
            << u"\"一行\r\n两行\"\t单位"_s << Records {padded({u"一行　两行"_s, u"单位"_s})} << QString();
    }

    void pasteIntoEmptyGridAddsRecords()
    {
        QFETCH(QString, clipboard);
        QFETCH(Records, records);
        QFETCH(QString, said);
        QTemporaryDir dir;
        const QString path = makeStore(dir, {});
        Editor editor(path);
        QVERIFY(editor.showActive());
        QCOMPARE(editor.model()->rowCount(), 0);
        QGuiApplication::clipboard()->setText(clipboard);
        QTest::keyClick(editor.table(), Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(readFile(path), records);
        QCOMPARE(editor.model()->rowCount(), records.size());
        QVERIFY2(editor->statusBar()->currentMessage().contains(said),
                 qPrintable(editor->statusBar()->currentMessage()));
    }

    void pasteCutsCellsToFieldWidth_data()
    {
        QTest::addColumn<int>("field");
        QTest::addColumn<QString>("pasted");
        QTest::addColumn<QString>("storedHex");

        QTest::newRow("name, six characters into ten bytes")
            << 0 << u"一二三四五六"_s << u"d2 bb b6 fe c8 fd cb c4 ce e5"_s;
        QTest::newRow("name, letters made full-width") << 0 << u"abcdefghi中"_s << u"a3 e1 a3 e2 a3 e3 a3 e4 a3 e5"_s;
        QTest::newRow("mobile, separators dropped rather than digits")
            << 5 << u"+86 139-1234-5678"_s << u"31 33 39 31 32 33 34 35 36 37 38"_s;
        QTest::newRow("mobile, eleven digits") << 5 << u"1390000000012"_s << u"31 33 39 30 30 30 30 30 30 30 30"_s;
        QTest::newRow("phs, four-byte character fits")
            << 6 << u"123456789𠀀"_s << u"31 32 33 34 35 36 37 38 39 95 32 82 36"_s;
        QTest::newRow("phs, four-byte character dropped whole")
            << 6 << u"1234567890𠀀"_s << u"31 32 33 34 35 36 37 38 39 30"_s;
    }

    void pasteCutsCellsToFieldWidth()
    {
        QFETCH(int, field);
        QFETCH(QString, pasted);
        QFETCH(QString, storedHex);
        QTemporaryDir dir;
        const QString path = makeStore(dir, {{u"原"_s}});
        Editor editor(path);
        editor.table()->setCurrentIndex(editor.cell(0, field));
        QGuiApplication::clipboard()->setText(pasted);
        editor->paste();
        const Records records = readFile(path);
        QCOMPARE(records.size(), 1);
        QCOMPARE(gbkHex(records[0][field]), storedHex);
    }

    void closingEmitsClosedOnEveryRoute_data()
    {
        QTest::addColumn<QString>("route");
        QTest::newRow("exit item") << u"exit"_s;
        QTest::newRow("Ctrl+Q") << u"key"_s;
        QTest::newRow("close button") << u"close"_s;
        QTest::newRow("import link") << u"import"_s;
    }

    void closingEmitsClosedOnEveryRoute()
    {
        QFETCH(QString, route);
        QTemporaryDir dir;
        Editor editor(makeStore(dir, {{u"张三"_s}}));
        QWidget importWindow;
        editor->setImportOpener([&] { return &importWindow; });
        QVERIFY(editor.showActive());
        QSignalSpy closed(editor.window.data(), &ListEditorWindow::closed);
        if (route == u"exit"_s) {
            findAction(editor.window, u"退出(&X)"_s)->trigger();
        } else if (route == u"key"_s) {
            QTest::keyClick(editor.table(), Qt::Key_Q, Qt::ControlModifier);
        } else if (route == u"close"_s) {
            editor->close();
        } else if (route == u"import"_s) {
            findAction(editor.window, u"从Excel批量导入数据(&I)"_s)->trigger();
        } else {
            QFAIL("no such route");
        }
        QCOMPARE(closed.size(), 1);
        QTRY_VERIFY(editor.window.isNull());
    }

    void importLinkHandsOverToTheImportWindow()
    {
        QTemporaryDir dir;
        Editor editor(makeStore(dir, {}));
        QVERIFY(!findAction(editor.window, u"从Excel批量导入数据(&I)"_s)->isEnabled());
        int opened = 0;
        QWidget importWindow;
        importWindow.resize(200, 100);
        bool editorVisibleWhenOpened = false;
        editor->setImportOpener([&] {
            ++opened;
            editorVisibleWhenOpened = editor->isVisible();
            importWindow.show();
            return &importWindow;
        });
        QVERIFY(editor.showActive());
        QSignalSpy closed(editor.window.data(), &ListEditorWindow::closed);
        findAction(editor.window, u"从Excel批量导入数据(&I)"_s)->trigger();
        QCOMPARE(opened, 1);
        QVERIFY(editorVisibleWhenOpened);
        QCOMPARE(closed.size(), 1);
        QVERIFY(importWindow.isVisible());
        QTRY_VERIFY(importWindow.isActiveWindow());
        QTRY_VERIFY(editor.window.isNull());
    }

    void gridEditReachesTheStore()
    {
        QTemporaryDir dir;
        const QStringList twin = padded({u"同名"_s, u"同单位"_s});
        const QString path = makeStore(dir, {twin, twin, padded({u"张三"_s})});
        DirectoryStore store;
        QVERIFY(store.open(path));
        QCOMPARE(readStore(store).size(), 3);
        telvane::query::Searcher searcher;
        QVERIFY(searcher.search("139123", store).empty());
        Editor editor(path);
        QVERIFY(editor.showActive());

        // Typed into the second of two identical records: only that one changes.
        const QModelIndex cell = editor.cell(1, 5);
        editor.table()->setCurrentIndex(cell);
        editor.table()->edit(cell);
        auto* box = qobject_cast<QLineEdit*>(editor.table()->indexWidget(cell));
        QVERIFY(box);
        QTest::keyClicks(box, u"13912345678"_s);
        QTest::keyClick(box, Qt::Key_Return);

        Records expected {twin, twin, padded({u"张三"_s})};
        expected[1][5] = u"13912345678"_s;
        // Return commits once the box has seen the key.
        QTRY_COMPARE(readStore(store), expected);
        // The main window's search follows the grid's write.
        QCOMPARE(searcher.search("139123", store), (std::vector<std::int32_t> {2}));
        // Everything is in the store file itself: the write-ahead log is checkpointed away.
        const QFileInfo wal(path + u"-wal"_s);
        QVERIFY(!wal.exists() || wal.size() == 0);
    }

    void cellEditorTakesNoMoreThanTheFieldWidth_data()
    {
        QTest::addColumn<int>("field");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("storedHex");

        QTest::newRow("name, letters full-width") << 0 << u"abcdefghijkl"_s << u"a3 e1 a3 e2 a3 e3 a3 e4 a3 e5"_s;
        QTest::newRow("name, Chinese") << 0 << u"一二三四五六"_s << u"d2 bb b6 fe c8 fd cb c4 ce e5"_s;
        QTest::newRow("name, digits and a character") << 0 << u"1234一"_s << u"a3 b1 a3 b2 a3 b3 a3 b4 d2 bb"_s;
        QTest::newRow("mobile 11") << 5 << u"1390000000012"_s << u"31 33 39 30 30 30 30 30 30 30 30"_s;
        QTest::newRow("office 13") << 3 << u"010-123456789012"_s << u"30 31 30 2d 31 32 33 34 35 36 37 38 39"_s;
        QTest::newRow("unit 24, twelve characters")
            << 1 << u"中华人民共和国国家统计局下属"_s << gbkHex(u"中华人民共和国国家统计局"_s);
        QTest::newRow("remark 32") << 2 << QString(40, u'x') << gbkHex(QString(32, u'x'));
    }

    void cellEditorTakesNoMoreThanTheFieldWidth()
    {
        QFETCH(int, field);
        QFETCH(QString, typed);
        QFETCH(QString, storedHex);
        QTemporaryDir dir;
        const QString path = makeStore(dir, {padded({})});
        Editor editor(path);
        QVERIFY(editor.showActive());
        const QModelIndex cell = editor.cell(0, field);
        editor.table()->setCurrentIndex(cell);
        editor.table()->edit(cell);
        auto* box = qobject_cast<QLineEdit*>(editor.table()->indexWidget(cell));
        QVERIFY(box);
        telvane::testing::typeText(box, typed);
        QTest::keyClick(box, Qt::Key_Return);
        QTRY_COMPARE(gbkHex(readFile(path).value(0).value(field)), storedHex);
    }

    void addRecordWritesAnEmptyRecordAtOnce()
    {
        QTemporaryDir dir;
        const QString path = makeStore(dir, {{u"张三"_s}});
        DirectoryStore store;
        QVERIFY(store.open(path));
        Editor editor(path);
        QVERIFY(editor.showActive());
        QTest::keyClick(editor.table(), Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(readStore(store), names({u"张三"_s, {}}));
        QCOMPARE(editor.model()->rowCount(), 2);
        QCOMPARE(editor.table()->currentIndex(), editor.cell(1, 0));

        // The new row is bound to its own record.
        QVERIFY(editor.model()->setData(editor.cell(1, 0), u"新人"_s));
        QVERIFY(editor.model()->setData(editor.cell(0, 2), u"老人"_s));
        QCOMPARE(readStore(store), (Records {padded({u"张三"_s, QString(), u"老人"_s}), padded({u"新人"_s})}));

        // And deleting it removes that record, not its neighbour.
        editor.selectBlock(1, 0, 1, 0);
        QTest::keyClick(editor.table(), Qt::Key_D, Qt::ControlModifier);
        QCOMPARE(readStore(store), (Records {padded({u"张三"_s, QString(), u"老人"_s})}));
    }

    void failedWriteIsShownAndNotKept()
    {
        QTemporaryDir dir;
        // A store whose table refuses some values, as another tool may have made it.
        const QString path = dir.filePath(u"DHB.EDB"_s);
        QVERIFY(execOther(path,
                          "CREATE TABLE directory (id INTEGER PRIMARY KEY, 姓名 TEXT NOT NULL DEFAULT '',"
                          " 单位 TEXT NOT NULL DEFAULT '', 备注 TEXT NOT NULL DEFAULT '', 办公 TEXT NOT NULL"
                          " DEFAULT '', 家里 TEXT NOT NULL DEFAULT '', 手机 TEXT NOT NULL DEFAULT '', 小灵通 TEXT"
                          " NOT NULL DEFAULT '', CONSTRAINT refuses CHECK (姓名 NOT IN ('李四', '王五') AND 单位 <>"
                          " 'ａｂｃ')); INSERT INTO directory (姓名) VALUES ('张三');"));
        Editor editor(path);
        QVERIFY(editor.showActive());
        QVERIFY(!editor.model()->setData(editor.cell(0, 0), u"李四"_s));
        QVERIFY(editor->statusBar()->currentMessage().contains(u"refuses"_s));
        QCOMPARE(editor.model()->data(editor.cell(0, 0)).toString(), u"张三"_s);

        // The same through the cell editor: the grid survives being reloaded while the edit is committed.
        editor->statusBar()->clearMessage();
        editor.table()->setCurrentIndex(editor.cell(0, 1));
        editor.table()->edit(editor.cell(0, 1));
        auto* box = qobject_cast<QLineEdit*>(editor.table()->indexWidget(editor.cell(0, 1)));
        QVERIFY(box);
        QTest::keyClicks(box, u"abc"_s);
        QTest::keyClick(box, Qt::Key_Return);
        QTRY_VERIFY(editor->statusBar()->currentMessage().contains(u"refuses"_s));
        QTRY_COMPARE(editor.model()->data(editor.cell(0, 1)).toString(), QString());
        QCOMPARE(readFile(path), names({u"张三"_s}));

        // A block write is all or nothing.
        editor->statusBar()->clearMessage();
        editor.table()->setCurrentIndex(editor.cell(0, 0));
        QGuiApplication::clipboard()->setText(u"王五\r\n赵六"_s);
        editor->paste();
        QVERIFY(editor->statusBar()->currentMessage().contains(u"refuses"_s));
        QCOMPARE(readFile(path), names({u"张三"_s}));
        QCOMPARE(editor.model()->rowCount(), 1);
        QCOMPARE(editor.model()->data(editor.cell(0, 0)).toString(), u"张三"_s);
    }

    void fileThatIsNoStoreIsLeftAlone_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("exists");
        QTest::newRow("missing") << QByteArray() << false;
        QTest::newRow("empty file") << QByteArray() << true;
        QTest::newRow("text file") << QByteArray("name,phone\n") << true;
        QTest::newRow("damaged store") << QByteArray("SQLite format 3\0garbage", 24) << true;
    }

    void fileThatIsNoStoreIsLeftAlone()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, exists);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"DHB.EDB"_s);
        if (exists) {
            QVERIFY(telvane::testing::writeFile(path, content));
        }
        {
            Editor editor(path);
            QVERIFY(!editor->isStoreOpen());
            QVERIFY(!editor->statusBar()->currentMessage().isEmpty());
            editor->paste();
            editor->addRecord();
            editor->deleteRecords();
        }
        QCOMPARE(QFileInfo::exists(path), exists);
        if (exists) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(file.readAll(), content);
        }
    }

    void recordsAddedBehindItsBackShowUp_data()
    {
        telvane::testing::addBoolRows("byActivation", "reload", "coming back to the window");
    }

    void recordsAddedBehindItsBackShowUp()
    {
        QFETCH(bool, byActivation);
        QTemporaryDir dir;
        const QString path = makeStore(dir, {{u"张三"_s}, {u"李四"_s}});
        Editor editor(path);
        editor.table()->setCurrentIndex(editor.cell(1, 2));
        DirectoryStore store;
        QVERIFY(store.open(path));
        QVERIFY(store.append(record({u"王五"_s})));
        QCOMPARE(editor.model()->rowCount(), 2);
        if (byActivation) {
            QEvent activate(QEvent::WindowActivate);
            QApplication::sendEvent(editor.window.data(), &activate);
        } else {
            editor->reload();
        }
        QCOMPARE(editor.model()->rowCount(), 3);
        QCOMPARE(editor.model()->data(editor.cell(2, 0)).toString(), u"王五"_s);
        // Coming back keeps the current cell; a reload (after an import) goes to the first appended record.
        QCOMPARE(editor.table()->currentIndex(), editor.cell(byActivation ? 1 : 2, 2));
    }
};

QTEST_MAIN(ListEditorTest)
#include "list_editor_test.moc"
