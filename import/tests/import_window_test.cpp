#include "import/import_window.h"
#include "import/tidy.h"
#include "store/directory_store.h"
#include "text/gbk.h"
#include "widgets/fonts.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QDropEvent>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTimer>
#include <QUrl>

#include <sqlite3.h>

#include <memory>

using namespace telvane;
using telvane::import::PasteBox;
using namespace Qt::StringLiterals;

namespace {

const QString kInstruction =
    u"  请将“电子表格”中某一列数据选定并复制，然后粘贴到本窗口对应输入框中。当各列内容都逐个粘贴到对应输入框后，"
    u"请点击“整理数据”按钮。数据整理之后即可将内容导入数据库中。"_s;
const QString kInstructionAgain =
    u"  请将`电子表格'中某一列数据选定并复制，然后粘贴到本窗口对应输入框中。当各列内容都逐个粘贴到对应输入框后，"
    u"请点击`整理数据'按钮。数据整理之后即可将内容导入数据库中。"_s;
const QString kEmptyHint = u"  提示：输入框中没有任何内容，请粘贴内容后再点击整理数据按钮。"_s;
const QString kExplanation =
    u"  为了便于查询，已将超过每列最大列宽的字符丢弃。姓名与单位名中只保留汉字，字母与数字都会被去除。"
    u"办公电话、家庭电话、手机、小灵通都只保留数字。只有备注中保留各种字符。"_s;

} // namespace

class ImportWindowTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    std::unique_ptr<store::DirectoryStore> m_store;
    std::unique_ptr<import::ImportWindow> m_window;

    QString storePath() const { return m_dir.filePath(u"DHB.EDB"_s); }
    PasteBox* box(int k) const { return m_window->findChild<PasteBox*>(u"编辑框%1"_s.arg(k)); }
    QLabel* counter(int k) const { return m_window->findChild<QLabel*>(u"标签下%1"_s.arg(k)); }
    QLabel* caption(int k) const { return m_window->findChild<QLabel*>(u"标签上%1"_s.arg(k)); }
    QLabel* explanation() const { return m_window->findChild<QLabel*>(u"说明标签"_s); }
    QPushButton* tidyButton() const { return m_window->findChild<QPushButton*>(u"整理按钮"_s); }
    QPushButton* importButton() const { return m_window->findChild<QPushButton*>(u"导入按钮"_s); }

    // Puts text into a box the way the user does: through the clipboard.
    void paste(int k, const QString& text)
    {
        QApplication::clipboard()->setText(text);
        box(k)->selectAll();
        box(k)->paste();
    }

    // Clicks 整理按钮 and waits until the boxes hold their tidied text.
    void clickTidy()
    {
        QTest::mouseClick(tidyButton(), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!m_window->busy(), 20000);
    }

private slots:
    // The faces the program uses: 宋体 is the stand-in the program installs.
    void initTestCase() { telvane::widgets::installFontSubstitutes(); }

    void init()
    {
        QVERIFY(m_dir.isValid());
        QFile::remove(storePath());
        QString error;
        QVERIFY2(store::DirectoryStore::create(storePath(), &error), qPrintable(error));
        m_store = std::make_unique<store::DirectoryStore>();
        QVERIFY2(m_store->open(storePath(), &error), qPrintable(error));
        m_window = std::make_unique<import::ImportWindow>(*m_store);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    }

    void cleanup()
    {
        m_window.reset();
        m_store.reset();
    }

    void freshWindow()
    {
        QCOMPARE(m_window->windowTitle(), u"批量导入Excel内容"_s);
        QCOMPARE(m_window->size(), QSize(799, 400));
        QVERIFY(!m_window->windowIcon().isNull());
        QCOMPARE(explanation()->text(), kInstruction);
        QCOMPARE(explanation()->geometry(), QRect(3, 3, 675, 35));
        QCOMPARE(explanation()->font().pixelSize(), 16);
        QCOMPARE(explanation()->font().family(), u"宋体"_s);
        QCOMPARE(tidyButton()->text(), u"整理\n数据"_s);
        QCOMPARE(importButton()->text(), u"导入\n数据"_s);
        QCOMPARE(tidyButton()->geometry(), QRect(685, 3, 49, 35));
        QCOMPARE(importButton()->geometry(), QRect(739, 3, 49, 35));
        QCOMPARE(tidyButton()->font().pixelSize(), 15);
        QVERIFY(tidyButton()->isEnabled());
        QVERIFY(!importButton()->isEnabled());
        QVERIFY(m_window->tidyPending());
        QVERIFY(!m_window->importDone());

        const QStringList captions {u"姓名 最多5字"_s,    u"单位名 最多12个汉字"_s, u"备注 最多16个汉字或32个字符"_s,
                                    u"办公电话 13字符"_s, u"家庭电话 13字符"_s,     u"手机 11字符"_s,
                                    u"小灵通 13字符"_s};
        const int lefts[] = {3, 85, 226, 403, 503, 603, 691};
        const int widths[] = {80, 139, 175, 98, 98, 86, 98};
        for (int k = 1; k <= 7; ++k) {
            QVERIFY(box(k) && caption(k) && counter(k));
            QCOMPARE(caption(k)->text(), captions[k - 1]);
            QCOMPARE(caption(k)->geometry(), QRect(lefts[k - 1], 41, widths[k - 1], 18));
            QCOMPARE(box(k)->geometry(), QRect(lefts[k - 1], 59, widths[k - 1], 400 - 80));
            QCOMPARE(counter(k)->geometry(), QRect(lefts[k - 1], 400 - 21, widths[k - 1], 18));
            QCOMPARE(counter(k)->text(), u"共有0行"_s);
            for (QWidget* w : {static_cast<QWidget*>(caption(k)), static_cast<QWidget*>(box(k)),
                               static_cast<QWidget*>(counter(k))}) {
                QCOMPARE(w->font().pixelSize(), 12);
            }
            QVERIFY(box(k)->isEnabled());
            QVERIFY(box(k)->shownText().isEmpty());
            QCOMPARE(box(k)->palette().color(QPalette::Base), QColor(Qt::white));
        }
    }

    void counters_data()
    {
        QTest::addColumn<QString>("pasted");
        QTest::addColumn<int>("lines");
        QString twelve;
        for (int i = 1; i <= 12; ++i) {
            twelve += u"行%1\r\n"_s.arg(i);
        }
        QTest::newRow("twelve cells with a final break") << twelve << 12;
        QTest::newRow("twelve cells without a final break") << twelve.chopped(2) << 12;
        QTest::newRow("twelve LF lines from another spreadsheet") << QString(twelve).replace(u"\r\n"_s, u"\n"_s) << 12;
        QTest::newRow("an empty line between two cells counts") << u"a\r\n\r\nb"_s << 3;
        QTest::newRow("a single break is one empty line") << u"\r\n"_s << 1;
        QTest::newRow("one cell") << u"张三"_s << 1;
    }

    void counters()
    {
        QFETCH(QString, pasted);
        QFETCH(int, lines);
        paste(3, pasted);
        QCOMPARE(counter(3)->text(), u"共有%1行"_s.arg(lines));
        QCOMPARE(m_window->lineCount(3), lines);
        QCOMPARE(text::lineCount(m_window->columnText(3)), static_cast<std::size_t>(lines));
        // Only the box's own counter changes.
        QCOMPARE(counter(2)->text(), u"共有0行"_s);
        QCOMPARE(counter(4)->text(), u"共有0行"_s);
        box(3)->clear();
        QCOMPARE(counter(3)->text(), u"共有0行"_s);
    }

    void typedTextUsesCrLf()
    {
        box(1)->setFocus();
        QTest::keyClicks(box(1), u"ab"_s);
        QTest::keyClick(box(1), Qt::Key_Return);
        QTest::keyClicks(box(1), u"c"_s);
        QCOMPARE(m_window->columnText(1), std::string("ab\r\nc"));
        QCOMPARE(counter(1)->text(), u"共有2行"_s);
        QTest::keyClick(box(1), Qt::Key_Return);
        QCOMPARE(m_window->columnText(1), std::string("ab\r\nc\r\n"));
        QCOMPARE(counter(1)->text(), u"共有2行"_s);
        QVERIFY(m_window->isVisible()); // Return in a box runs no button
    }

    void emptyTidyShowsHint()
    {
        clickTidy();
        QCOMPARE(explanation()->text(), kEmptyHint);
        QCOMPARE(tidyButton()->text(), u"整理\n数据"_s);
        QVERIFY(!importButton()->isEnabled());
        QVERIFY(m_window->tidyPending());
        for (int k = 1; k <= 7; ++k) {
            QVERIFY(box(k)->isEnabled());
        }
    }

    void oneColumnTidied()
    {
        paste(1, u"张 三abc\r\n李四\r\nBob\r\n\r\n"_s);
        QCOMPARE(counter(1)->text(), u"共有4行"_s);
        clickTidy();
        QVERIFY(!m_window->tidyPending());
        QCOMPARE(box(1)->shownText(), u"张三\n李四\n"_s);
        QCOMPARE(m_window->columnText(1), text::utf8ToGbk("张三\r\n李四\r\n"));
        QCOMPARE(counter(1)->text(), u"共有2行"_s);
        for (int k = 2; k <= 7; ++k) {
            QCOMPARE(m_window->columnText(k), std::string("\r\n"));
            QCOMPARE(counter(k)->text(), u"共有1行"_s);
        }
        for (int k = 1; k <= 7; ++k) {
            QVERIFY(!box(k)->isEnabled());
        }
        QVERIFY(importButton()->isEnabled());
        QCOMPARE(tidyButton()->text(), u"重新输入"_s);
        QCOMPARE(explanation()->text(), kExplanation);
    }

    // A number too long for its column keeps its digits without its separators; what had to be cut is counted.
    void cutLinesAreCounted()
    {
        paste(6, u"139-1234-5678\r\n+86 139 1234 5678\r\n1391234567899\r\n"_s);
        clickTidy();
        QCOMPARE(box(6)->shownText(), u"13912345678\n13912345678\n13912345678\n"_s);
        QCOMPARE(explanation()->text(), kExplanation + u"其中1行超过了列宽，超出的部分已截去。"_s);
    }

    void tidyingRewritesOnlyWhatChanged_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("pasted");
        QString clean;
        for (int i = 0; i < 50; ++i) {
            clean += u"139000000%1\r\n"_s.arg(i, 2, 10, QChar(u'0'));
        }
        QTest::newRow("clean column without a final break") << 6 << clean.chopped(2);
        QTest::newRow("clean column with a final break") << 6 << clean;
        QTest::newRow("one line changes in the middle")
            << 4 << QString(clean).replace(u"13900000025"_s, u"010 8888 8888 转123"_s);
        QTest::newRow("trailing empty lines go") << 6 << clean + u"\r\n\r\n"_s;
        QTest::newRow("a few lines change") << 6
                                            << QString(clean)
                                                   .replace(u"13900000025"_s, u"１３９００００００２５"_s)
                                                   .replace(u"13900000030"_s, u"张三"_s)
                                                   .replace(u"13900000049"_s, u"　13900000049　"_s);
        QString names;
        for (int i = 0; i < 40; ++i) {
            names += i % 13 == 5 ? u"张 三x\r\n"_s : u"李四\r\n"_s;
        }
        QTest::newRow("a few names change") << 1 << names;
        QTest::newRow("last line changes, no final break") << 6 << clean + u"1380000000099"_s;
        QTest::newRow("four-byte characters around the change") << 3 << u"𠀀𠀀\r\n  𠀀𠀁\r\n𠀀𠀀"_s;
        QTest::newRow("no-break space and line separator read as spaces")
            << 3 << QString(clean).replace(u"13900000010"_s, u"a\u00A0b\u2028c "_s);
    }

    void tidyingRewritesOnlyWhatChanged()
    {
        QFETCH(int, column);
        QFETCH(QString, pasted);
        paste(column, pasted);
        const std::string expected = import::tidyColumn(column, m_window->columnText(column));
        clickTidy();
        QCOMPARE(m_window->columnText(column), expected);
        QString shown = text::fromGbk(expected);
        shown.replace(u"\r\n"_s, u"\n"_s);
        QCOMPARE(box(column)->shownText(), shown);
        QCOMPARE(counter(column)->text(), u"共有%1行"_s.arg(text::lineCount(expected)));
    }

    // A spreadsheet's file dropped on a box is read as a file, not put in as the text of its name.
    void droppedFileFillsTheBoxes()
    {
        const QString file = m_dir.filePath(u"drop.csv"_s);
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write("姓名,手机\r\n王五,13900001111\r\n");
        out.close();
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(file)});
        QWidget* target = box(3)->viewport();
        const QPoint at = target->rect().center();
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(target, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(target, &drop);
        QTRY_VERIFY(!m_window->loading());
        QCOMPARE(box(1)->toPlainText(), u"王五\n"_s);
        QCOMPARE(box(6)->toPlainText(), u"13900001111\n"_s);
        QVERIFY(!box(3)->toPlainText().contains(u"drop.csv"_s));
    }

    // A phone's file read with Ctrl+O or dropped: its records go into the boxes below the lines they hold, the line at
    // the top says what was read, and the import says how many rows repeat stored records.
    void contactsFileFillsTheBoxes()
    {
        QVERIFY(m_store->append({"\xd5\xc5\xc8\xfd", {}, {}, {}, {}, "13912345678", {}})); // 张三
        const QString file = m_dir.filePath(u"phone.vcf"_s);
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write("BEGIN:VCARD\r\nVERSION:3.0\r\nFN:张三\r\nTEL;TYPE=CELL:139-1234-5678\r\nEND:VCARD\r\n"
                  "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:李四\r\nORG:清华大学\r\nTEL;TYPE=WORK:010-62751234\r\n"
                  "TEL;TYPE=FAX:010-62751235\r\nEND:VCARD\r\n");
        out.close();
        paste(1, u"王五"_s);
        m_window->loadContactsFile(file);
        QTRY_VERIFY(!m_window->loading());
        QCOMPARE(box(1)->toPlainText(), u"王五\n张三\n李四\n"_s);
        QCOMPARE(box(2)->toPlainText(), u"\n\n清华大学\n"_s);
        QCOMPARE(box(5)->toPlainText(), u"\n\n010-62751235\n"_s); // the fax number in the first empty phone field
        QCOMPARE(box(6)->toPlainText(), u"\n139-1234-5678\n\n"_s);
        QCOMPARE(explanation()->text(),
                 u"  已读入 phone.vcf：2条记录（编码 UTF-8），1个号码放入了其他电话栏。请点击“整理数据”。"_s);
        clickTidy();
        // Tidied boxes are imported or emptied before another file comes in.
        m_window->loadContactsFile(file);
        QVERIFY(!m_window->loading());
        QVERIFY(explanation()->text().contains(u"整理好的数据尚未导入"_s));
        QTest::mouseClick(importButton(), Qt::LeftButton);
        QCOMPARE(m_store->recordCount(), 4);
        QVERIFY2(explanation()->text().contains(u"已导入3条记录，其中1条与库中已有的记录重复"_s),
                 qPrintable(explanation()->text()));

        // A file that cannot be read is said in a message box; the boxes stay as they were.
        QString said;
        QTimer closer;
        closer.setInterval(20);
        connect(&closer, &QTimer::timeout, this, [&said] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                said = box->text();
                box->accept();
            }
        });
        closer.start();
        m_window->loadContactsFile(m_dir.filePath(u"missing.vcf"_s));
        QTRY_VERIFY(!said.isEmpty());
        QVERIFY2(said.startsWith(u"未能读取文件 missing.vcf：无法打开文件（"_s), qPrintable(said));
        QCOMPARE(box(1)->toPlainText(), QString());
    }

    void tidyTwiceClears()
    {
        paste(4, u"０１０－８８８８\r\n"_s);
        clickTidy();
        QCOMPARE(box(4)->shownText(), u"010-8888\n"_s);
        clickTidy();
        QVERIFY(m_window->tidyPending());
        for (int k = 1; k <= 7; ++k) {
            QVERIFY(box(k)->isEnabled());
            QVERIFY(box(k)->shownText().isEmpty());
            QCOMPARE(counter(k)->text(), u"共有0行"_s);
        }
        QVERIFY(!importButton()->isEnabled());
        QCOMPARE(tidyButton()->text(), u"整理数据"_s);
        QCOMPARE(explanation()->text(), kInstructionAgain);
        QCOMPARE(m_store->recordCount(), 0);
        QVERIFY(!m_window->importDone());
    }

    void resizing_data()
    {
        QTest::addColumn<QSize>("asked");
        QTest::addColumn<QSize>("got");
        QTest::newRow("narrower and too short") << QSize(500, 200) << QSize(799, 300);
        QTest::newRow("wider") << QSize(1000, 400) << QSize(799, 400);
        QTest::newRow("taller") << QSize(799, 600) << QSize(799, 600);
        QTest::newRow("smallest height") << QSize(799, 300) << QSize(799, 300);
    }

    void resizing()
    {
        QFETCH(QSize, asked);
        QFETCH(QSize, got);
        m_window->resize(asked);
        QTRY_COMPARE(m_window->size(), got);
        for (int k = 1; k <= 7; ++k) {
            QTRY_COMPARE(box(k)->height(), got.height() - 80);
            QCOMPARE(box(k)->y(), 59);
            QCOMPARE(counter(k)->y(), got.height() - 21);
        }
    }

    void importColumnsOfDifferentLengths()
    {
        QSignalSpy requested(m_window.get(), &import::ImportWindow::listEditorRequested);
        QString names;
        QString phones;
        for (int i = 0; i < 10; ++i) {
            names += u"姓名%1\r\n"_s.arg(QChar(u'一' + i));
        }
        for (int i = 0; i < 8; ++i) {
            phones += u"１３９０００００００%1\r\n"_s.arg(i);
        }
        paste(1, names);
        paste(6, phones);
        paste(3, u"\r\n  备注 \r\n"_s);
        clickTidy();
        QTest::mouseClick(importButton(), Qt::LeftButton);

        QCOMPARE(m_store->recordCount(), 10);
        const store::Columns& columns = m_store->columns();
        for (int n = 1; n <= 10; ++n) {
            QCOMPARE(text::fromGbk(columns.field(n, 1)), u"姓名%1"_s.arg(QChar(u'一' + n - 1)));
            QCOMPARE(QString::fromLatin1(columns.field(n, 6)), n <= 8 ? u"1390000000%1"_s.arg(n - 1) : QString());
            QCOMPARE(text::fromGbk(columns.field(n, 3)), n == 2 ? u"备注"_s : QString());
            for (int f : {2, 4, 5, 7}) {
                QVERIFY(columns.field(n, f).empty());
            }
        }

        QVERIFY(m_window->importDone());
        QVERIFY(m_window->tidyPending());
        for (int k = 1; k <= 7; ++k) {
            QVERIFY(box(k)->isEnabled());
            QVERIFY(box(k)->shownText().isEmpty());
        }
        QVERIFY(!importButton()->isEnabled());
        QCOMPARE(tidyButton()->text(), u"整理数据"_s);
        QCOMPARE(explanation()->text(), kInstructionAgain);
        QCOMPARE(requested.count(), 0);

        // A second batch in the same opening adds its own rows; closing asks for the list editor once.
        paste(2, u"单位"_s);
        clickTidy();
        QTest::mouseClick(importButton(), Qt::LeftButton);
        QCOMPARE(m_store->recordCount(), 11);
        QCOMPARE(text::fromGbk(m_store->columns().field(11, 2)), u"单位"_s);
        m_window->close();
        QCOMPARE(requested.count(), 1);
    }

    void allEmptyTidiedBoxesAddOneEmptyRecord()
    {
        paste(1, u"Bob"_s);
        clickTidy();
        QTest::mouseClick(importButton(), Qt::LeftButton);
        QCOMPARE(m_store->recordCount(), 1);
        for (int f = 1; f <= 7; ++f) {
            QVERIFY(m_store->columns().field(1, f).empty());
        }
    }

    void closingWithoutImportRequestsNothing()
    {
        QSignalSpy requested(m_window.get(), &import::ImportWindow::listEditorRequested);
        paste(1, u"张三"_s);
        clickTidy();
        QTest::keyClick(m_window.get(), Qt::Key_Escape); // a stray Escape keeps the pasted columns
        QVERIFY(m_window->isVisible());
        m_window->close();
        QVERIFY(!m_window->isVisible());
        QCOMPARE(requested.count(), 0);
    }

    void failedImportKeepsTheTidiedColumns()
    {
        // A second connection holds the write lock, so adding the rows really fails.
        sqlite3* other = nullptr;
        QCOMPARE(sqlite3_open(storePath().toUtf8().constData(), &other), SQLITE_OK);
        QCOMPARE(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
        m_store->setBusyTimeout(0);

        paste(1, u"张三\r\n李四"_s);
        paste(4, u"010 8888 8888 转123"_s);
        clickTidy();
        const std::string names = m_window->columnText(1);
        const std::string phones = m_window->columnText(4);
        QTest::mouseClick(importButton(), Qt::LeftButton);

        QVERIFY2(explanation()->text().startsWith(u"  未能导入"_s), qPrintable(explanation()->text()));
        QVERIFY(!m_window->importDone());
        QVERIFY(!m_window->tidyPending());
        QVERIFY(importButton()->isEnabled());
        QCOMPARE(tidyButton()->text(), u"重新输入"_s);
        QCOMPARE(m_window->columnText(1), names);
        QCOMPARE(m_window->columnText(4), phones);
        for (int k = 1; k <= 7; ++k) {
            QVERIFY(!box(k)->isEnabled());
        }

        QCOMPARE(sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(other);
        QCOMPARE(m_store->recordCount(), 0);

        // Once the lock is gone the same click adds the rows.
        QTest::mouseClick(importButton(), Qt::LeftButton);
        QCOMPARE(m_store->recordCount(), 2);
        QCOMPARE(QString::fromLatin1(m_store->columns().field(1, 4)), u"010 8888 8888"_s);
        QVERIFY(m_window->importDone());
    }

    void reopeningStartsFresh()
    {
        paste(1, u"张三"_s);
        clickTidy();
        m_window->close();
        m_window = std::make_unique<import::ImportWindow>(*m_store);
        QVERIFY(m_window->tidyPending());
        QVERIFY(!importButton()->isEnabled());
        QVERIFY(box(1)->shownText().isEmpty());
        QCOMPARE(explanation()->text(), kInstruction);
    }

    // What spreadsheets put on the clipboard: rows ending in LF or CR LF, cells separated by tabs, a cell with a
    // line break, tab or quote in double quotes with its quotes doubled. `before` is already in the box pasted
    // into, with the cursor at its end; `boxes` is what the seven boxes show afterwards.
    void pasteSpreadsheetBlocks_data()
    {
        QTest::addColumn<QString>("pasted");
        QTest::addColumn<int>("into");
        QTest::addColumn<QString>("before");
        QTest::addColumn<QStringList>("boxes");
        QTest::addColumn<int>("dropped");
        const QString e;
        QTest::newRow("quoted cells with LF, doubled quotes")
            << u"\"第一行\n第二行\"\n普通\n\"说\"\"好\"\"\"\n"_s << 3 << e
            << QStringList {e, e, u"第一行 第二行\n普通\n说\"好\"\n"_s, e, e, e, e} << 0;
        QTest::newRow("CR LF rows, CR LF and an empty line inside a cell")
            << u"\"a\r\n\r\nb\"\r\nc\r\n"_s << 1 << e << QStringList {u"a b\nc\n"_s, e, e, e, e, e, e} << 0;
        QTest::newRow("last row without a line break, quoted cell last")
            << u"张三\t\"北京\n海淀\"\r\n李四\t\"上海\""_s << 1 << e
            << QStringList {u"张三\n李四\n"_s, u"北京 海淀\n上海\n"_s, e, e, e, e, e} << 0;
        QTest::newRow("two columns no longer fuse")
            << u"张三\t北京电力公司\r\n李四\t上海\r\n"_s << 1 << e
            << QStringList {u"张三\n李四\n"_s, u"北京电力公司\n上海\n"_s, e, e, e, e, e} << 0;
        QTest::newRow("nine columns into box 1: two dropped")
            << u"a\tb\tc\td\te\tf\tg\th\ti\r\n1\t2\t3\t4\t5\t6\t7\t8\t9\r\n"_s << 1 << e
            << QStringList {u"a\n1\n"_s, u"b\n2\n"_s, u"c\n3\n"_s, u"d\n4\n"_s, u"e\n5\n"_s, u"f\n6\n"_s, u"g\n7\n"_s}
            << 2;
        QTest::newRow("empty columns beyond the last box lose nothing")
            << u"a\tb\t\t\r\n"_s << 6 << e << QStringList {e, e, e, e, e, u"a\n"_s, u"b\n"_s} << 0;
        QTest::newRow("three columns into box 6: one dropped")
            << u"13800000000\t0571-1\t999\n"_s << 6 << e
            << QStringList {e, e, e, e, e, u"13800000000\n"_s, u"0571-1\n"_s} << 1;
        QTest::newRow("empty cells in the middle keep their rows")
            << u"张三\t\t备注\n李四\t单位\t\n"_s << 1 << e
            << QStringList {u"张三\n李四\n"_s, u"\n单位\n"_s, u"备注\n\n"_s, e, e, e, e} << 0;
        QTest::newRow("quoted cell with a tab inside stays in its box")
            << u"\"a\tb\"\tc\n"_s << 1 << e << QStringList {u"a b\n"_s, u"c\n"_s, e, e, e, e, e} << 0;
        QTest::newRow("block below existing lines: shorter boxes padded")
            << u"丙\t1\n丁\t2\n"_s << 1 << u"甲\n乙"_s
            << QStringList {u"甲\n乙\n丙\n丁\n"_s, u"\n\n1\n2\n"_s, e, e, e, e, e} << 0;
        QTest::newRow("plain column goes in as it is")
            << u"他说\"好\"\r\n李四"_s << 3 << e << QStringList {e, e, u"他说\"好\"\n李四"_s, e, e, e, e} << 0;
    }

    void pasteSpreadsheetBlocks()
    {
        QFETCH(QString, pasted);
        QFETCH(int, into);
        QFETCH(QString, before);
        QFETCH(QStringList, boxes);
        QFETCH(int, dropped);
        box(into)->setPlainText(before);
        box(into)->moveCursor(QTextCursor::End);
        QApplication::clipboard()->setText(pasted);
        box(into)->setFocus();
        QTest::keyClick(box(into), Qt::Key_V, Qt::ControlModifier);
        for (int k = 1; k <= 7; ++k) {
            QCOMPARE(box(k)->shownText(), boxes[k - 1]);
            QCOMPARE(counter(k)->text(), u"共有%1行"_s.arg(m_window->lineCount(k)));
        }
        QCOMPARE(explanation()->text().contains(u"最右边的%1列已丢弃"_s.arg(dropped)), dropped > 0);
        if (dropped == 0) {
            QCOMPARE(explanation()->text(), kInstruction);
        }
    }

    // Shift+Insert and the context menu's paste reach the same reading as Ctrl+V.
    void otherWaysOfPastingSpread()
    {
        QApplication::clipboard()->setText(u"张三\t单位\n"_s);
        box(1)->setFocus();
        QTest::keyClick(box(1), Qt::Key_Insert, Qt::ShiftModifier);
        QCOMPARE(box(2)->shownText(), u"单位\n"_s);
        QApplication::clipboard()->setText(u"李四\t部门\n"_s);
        std::unique_ptr<QMenu> menu(box(1)->createStandardContextMenu());
        const QList<QAction*> actions = menu->actions();
        const auto pasteAction =
            std::find_if(actions.begin(), actions.end(), [](QAction* a) { return a->objectName() == u"edit-paste"_s; });
        QVERIFY(pasteAction != actions.end());
        (*pasteAction)->trigger();
        QCOMPARE(box(1)->shownText(), u"张三\n李四\n"_s);
        QCOMPARE(box(2)->shownText(), u"单位\n部门\n"_s);
        // Some programs offer the text only as "text/plain;charset=utf-8", which Qt does not count as text.
        auto* utf8Only = new QMimeData;
        utf8Only->setData(u"text/plain;charset=utf-8"_s, u"王五\t科室\n"_s.toUtf8());
        QApplication::clipboard()->setMimeData(utf8Only);
        QTest::keyClick(box(1), Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(box(1)->shownText(), u"张三\n李四\n王五\n"_s);
        QCOMPARE(box(2)->shownText(), u"单位\n部门\n科室\n"_s);
    }

    // Until the boxes hold their tidied text, they take no input and neither button starts a command.
    void busyWhileTidying()
    {
        QString names;
        for (int i = 0; i < 20000; ++i) {
            names += u"张 三x\r\n"_s;
        }
        paste(1, names);
        QTest::mouseClick(tidyButton(), Qt::LeftButton);
        QVERIFY(m_window->busy());
        QVERIFY(m_window->tidyPending());
        QVERIFY(!tidyButton()->isEnabled());
        QVERIFY(!importButton()->isEnabled());
        QVERIFY(!box(1)->isEnabled());
        QTest::mouseClick(tidyButton(), Qt::LeftButton);
        QTest::mouseClick(importButton(), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!m_window->busy(), 20000);
        QVERIFY(!m_window->tidyPending());
        QCOMPARE(m_store->recordCount(), 0);
        QCOMPARE(counter(1)->text(), u"共有20000行"_s);
        QVERIFY(box(1)->isShowingColumn());
        QVERIFY(box(1)->shownText().startsWith(u"张三\n张三\n"_s));
        QVERIFY(!box(1)->isEnabled());
        QVERIFY(importButton()->isEnabled());
        QCOMPARE(tidyButton()->text(), u"重新输入"_s);
    }

    // A tidied box shows its column as a disabled box holding that text shows it, pixel for pixel, also when the
    // column is longer and wider than the box.
    void tidiedBoxLooksLikeABoxHoldingItsText()
    {
        QString remarks;
        for (int i = 0; i < 300; ++i) {
            remarks += u"  备注 VIP%1 ３楼 jpqy 周一至周五 9:00-17:00 联系人很长的备注\r\n"_s.arg(i);
        }
        paste(3, remarks);
        paste(1, u"张 三x\r\n\r\n李四\r\n"_s);
        QTest::mouseClick(tidyButton(), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!m_window->busy(), 20000);
        for (int k : {1, 3}) {
            PasteBox* tidied = box(k);
            QVERIFY(tidied->isShowingColumn());
            PasteBox twin(m_window.get());
            twin.setGeometry(tidied->geometry());
            twin.setFont(tidied->font());
            twin.setPalette(tidied->palette());
            twin.setLineWrapMode(tidied->lineWrapMode());
            twin.setPlainText(tidied->shownText());
            twin.setEnabled(false);
            twin.show();
            // The twin lays its document out at the turns of the event loop after it is shown.
            QTRY_COMPARE(tidied->grab().toImage(), twin.grab().toImage());
        }
    }

    // Closing the window while it tidies abandons the work without waiting for the boxes.
    void closingWhileTidying()
    {
        QString lines;
        for (int i = 0; i < 20000; ++i) {
            lines += u"０１０－８８８８\r\n"_s;
        }
        for (int k = 4; k <= 7; ++k) {
            paste(k, lines);
        }
        QTest::mouseClick(tidyButton(), Qt::LeftButton);
        QTest::qWait(30); // a few boxes read and their tasks under way
        m_window->close();
        m_window.reset();
    }

    void accessibleNames()
    {
        const QStringList names {u"姓名"_s,     u"单位名"_s, u"备注"_s,  u"办公电话"_s,
                                 u"家庭电话"_s, u"手机"_s,   u"小灵通"_s};
        for (int k = 1; k <= 7; ++k) {
            QAccessibleInterface* boxAccess = QAccessible::queryAccessibleInterface(box(k));
            QVERIFY(boxAccess);
            QCOMPARE(boxAccess->text(QAccessible::Name), names[k - 1]);
            QAccessibleInterface* counterAccess = QAccessible::queryAccessibleInterface(counter(k));
            QVERIFY(counterAccess);
            QCOMPARE(counterAccess->role(), QAccessible::StaticText);
            QCOMPARE(counterAccess->text(QAccessible::Name), u"共有0行"_s);
        }
        QCOMPARE(QAccessible::queryAccessibleInterface(tidyButton())->text(QAccessible::Name), u"整理数据"_s);
        QCOMPARE(QAccessible::queryAccessibleInterface(importButton())->text(QAccessible::Name), u"导入数据"_s);
        paste(1, u"张三"_s);
        clickTidy();
        QCOMPARE(QAccessible::queryAccessibleInterface(tidyButton())->text(QAccessible::Name), u"重新输入"_s);
        QCOMPARE(QAccessible::queryAccessibleInterface(counter(1))->text(QAccessible::Name), u"共有1行"_s);
    }
};

QTEST_MAIN(ImportWindowTest)
#include "import_window_test.moc"
