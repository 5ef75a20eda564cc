#include "store/directory_store.h"
#include "tests/support/test_support.h"
#include "text/gbk.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace telvane;
using namespace Qt::StringLiterals;

using testing::CliRun;
using testing::fileBytes;
using testing::runCli;

class ImportCliTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString path(const QString& name) const { return m_dir.filePath(name); }

private slots:
    void tidy_data()
    {
        QTest::addColumn<QString>("column");
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QByteArray>("output");
        QTest::newRow("name") << u"1"_s << "张 三abc\r\n\r\n李四\r\n\r\n"_ba
                              << "张三\r\n\r\n李四\r\n"_ba;
        QTest::newRow("empty input") << u"2"_s << QByteArray() << "\r\n"_ba;
        QTest::newRow("remark with a lone LF") << u"3"_s << "ab\r\ncd\n"_ba
                                               << "ab\r\ncd\r\n"_ba;
        QTest::newRow("mobile with hyphens") << u"6"_s << "139-1234-5678"_ba
                                             << "13912345678\r\n"_ba;
        QTest::newRow("office phone") << u"4"_s << "010 8888 8888 转123"_ba
                                      << "010 8888 8888\r\n"_ba;
        QTest::newRow("mobile in full width") << u"6"_s << "１３９１２３４５６７８９"_ba
                                              << "13912345678\r\n"_ba;
        QTest::newRow("byte-order mark skipped") << u"1"_s << "\xEF\xBB\xBF张三"_ba
                                                 << "张三\r\n"_ba;
    }

    void tidy()
    {
        QFETCH(QString, column);
        QFETCH(QByteArray, input);
        QFETCH(QByteArray, output);
        const CliRun r = runCli({u"tidy"_s, column}, input);
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.rawOut, output);
    }

    void badArguments()
    {
        QCOMPARE(runCli({u"tidy"_s, u"8"_s}).exitCode, 1);
        QCOMPARE(runCli({u"tidy"_s}).exitCode, 1);
        QCOMPARE(runCli({u"import"_s}).exitCode, 1);
    }

    void importExportRoundTrip()
    {
        const QString file = path(u"round.edb"_s);
        // A byte-order mark, CR LF and LF line ends, a short row, quoted cells as spreadsheets write them, an empty
        // row in the middle, cells the rules tidy, and a line separator (U+2028) that makes a cell two lines.
        const QByteArray input = "\xEF\xBB\xBF张 三\t单位A\t\"说 \"\"VIP\"\"\"\t010-1\t\t13900000000\t\r\n"
                                 "\r\n"
                                 "李四\t\t\"多\n行\"\n"
                                 "王五abc\t\t  备\xE2\x80\xA8注  \t０１０\t转\t\t5\n"_ba;
        const CliRun imported = runCli({u"import"_s, file}, input);
        QCOMPARE(imported.exitCode, 0);
        QCOMPARE(imported.out, u"4\n"_s);

        // The cells tidying changed are counted on standard error (a cell made one line, as a pasted one is, before).
        QVERIFY2(imported.err.contains(u" 6 cells"_s), qPrintable(imported.err));
        const QByteArray expected = "张三\t单位\t\"说 \"\"VIP\"\"\"\t010-1\t\t13900000000\t\n"
                                    "\t\t\t\t\t\t\n"
                                    "李四\t\t多 行\t\t\t\t\n"
                                    "王五\t\t备 注\t010\t\t\t5\n"_ba;
        const CliRun exported = runCli({u"export"_s, file});
        QCOMPARE(exported.exitCode, 0);
        QCOMPARE(exported.rawOut, expected);

        // What export writes reads back as the same records.
        const QString copy = path(u"copy.edb"_s);
        QCOMPARE(runCli({u"import"_s, copy}, exported.rawOut).out, u"4\n"_s);
        QCOMPARE(runCli({u"export"_s, copy}).rawOut, expected);

        // A second import appends behind the records already there.
        QCOMPARE(runCli({u"import"_s, copy}, "赵六\n"_ba).out, u"1\n"_s);
        QCOMPARE(runCli({u"export"_s, copy}).rawOut, expected + "赵六\t\t\t\t\t\t\n"_ba);

        store::DirectoryStore store;
        QVERIFY(store.open(file));
        QCOMPARE(store.recordCount(), 4);
        QCOMPARE(store.columns().field(3, 3), text::utf8ToGbk("多 行"));
    }

    // export, then import --exact into another store, gives back every record byte for byte: the letters a name
    // holds half-width, blanks at the ends, Chinese in a number, line breaks and tabs, an over-long name, and
    // empty records at the end.
    void exactImportGivesBackTheExport()
    {
        const QString from = path(u"exact-from.edb"_s);
        QFile::remove(from);
        QCOMPARE(runCli({u"import"_s, from}, QByteArray()).exitCode, 0);
        QVERIFY(telvane::testing::execOther(
            from, "INSERT INTO directory (姓名, 单位, 备注, 办公, 家里, 手机) VALUES"
                  " ('Tom', 'IBM', '  3号楼 ', '010转8', '', '139 1234 5678'),"
                  " ('ａｂｃｄｅｆｇｈｉｊ', '', '一' || char(13, 10) || '二' || char(9) || '三', '', '', ''),"
                  " ('\"引号', '', '', '', '', ''), ('', '', '', '', '', ''), ('', '', '', '', '', '');"));
        const CliRun exported = runCli({u"export"_s, from});
        QCOMPARE(exported.exitCode, 0);
        const QString to = path(u"exact-to.edb"_s);
        QFile::remove(to);
        const CliRun imported = runCli({u"import"_s, to, u"--exact"_s}, exported.rawOut);
        QCOMPARE(imported.exitCode, 0);
        QCOMPARE(imported.out, u"5\n"_s);
        QCOMPARE(imported.err, QString());
        QCOMPARE(telvane::testing::readRecords(to), telvane::testing::readRecords(from));
        QCOMPARE(runCli({u"export"_s, to}).rawOut, exported.rawOut);
    }

    void emptyInputCreatesAnEmptyStore()
    {
        const QString file = path(u"empty.edb"_s);
        const CliRun r = runCli({u"import"_s, file});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out, u"0\n"_s);
        QCOMPARE(store::DirectoryStore::inspect(file), store::FileState::Store);
        QCOMPARE(runCli({u"export"_s, file}).out, QString());
    }

    void badInputLeavesEverythingAlone_data()
    {
        QTest::addColumn<QByteArray>("existing"); // empty: no file
        QTest::addColumn<QByteArray>("input");
        QTest::newRow("invalid UTF-8, no file") << QByteArray() << "张三\xff\n"_ba;
        QTest::newRow("too many fields, no file") << QByteArray() << "1\t2\t3\t4\t5\t6\t7\t8\n"_ba;
        QTest::newRow("not a store") << "name\tphone\n"_ba
                                     << "张三\n"_ba;
    }

    void badInputLeavesEverythingAlone()
    {
        QFETCH(QByteArray, existing);
        QFETCH(QByteArray, input);
        const QString file = path(u"bad.edb"_s);
        QFile::remove(file);
        if (!existing.isEmpty()) {
            QVERIFY(testing::writeFile(file, existing));
        }
        const CliRun r = runCli({u"import"_s, file}, input);
        QCOMPARE(r.exitCode, 2);
        QVERIFY(r.out.isEmpty());
        QCOMPARE(r.err.count(u'\n'), 1);
        QCOMPARE(QFile::exists(file), !existing.isEmpty());
        QCOMPARE(fileBytes(file), existing);
        if (!existing.isEmpty()) {
            QCOMPARE(runCli({u"export"_s, file}).exitCode, 2);
        }
    }

    void exportOfAMissingFileCreatesNothing()
    {
        const QString file = path(u"missing.edb"_s);
        const CliRun r = runCli({u"export"_s, file});
        QCOMPARE(r.exitCode, 2);
        QCOMPARE(r.err.count(u'\n'), 1);
        QVERIFY(!QFile::exists(file));
    }
};

QTEST_GUILESS_MAIN(ImportCliTest)
#include "import_cli_test.moc"
