// telvane-cli with contacts files: export --as vcf|csv, import --from, --skip-duplicates, the backup before an import.
#include "store/auto_backup.h"
#include "tests/support/test_support.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace telvane;
using namespace Qt::StringLiterals;

using Records = QList<QStringList>;
using testing::padded;
using testing::readRecords;
using testing::runCli;

namespace {

QString dataPath(const QString& name)
{
    return QDir(QStringLiteral(TELVANE_CONTACTS_DATA)).filePath(name);
}

// Records as the import tidies them: names and units in Chinese only, numbers as digits and separators.
const Records kRecords {
    padded({u"曾国藩"_s, u"两江总督府"_s, u"湘乡人, 字伯涵"_s, u"010-62751234"_s, {}, u"13912345678"_s}),
    padded({u"单雄信"_s, {}, {}, {}, u"075523456789"_s, {}, u"13812345"_s}),
    padded({u"欧阳修"_s, u"滁州"_s, u"醉翁"_s}),
    padded({u"张三"_s, {}, {}, {}, {}, u"13800001111"_s}),
};

} // namespace

class ContactsCliTest : public QObject
{
    Q_OBJECT

private slots:
    void roundTrip_data()
    {
        QTest::addColumn<QString>("format");
        QTest::newRow("vCard") << u"vcf"_s;
        QTest::newRow("CSV") << u"csv"_s;
    }
    // What export --as writes, import --from reads back into the same records.
    void roundTrip()
    {
        QFETCH(QString, format);
        QTemporaryDir dir;
        const QString from = testing::makeStore(dir, kRecords);
        const testing::CliRun exported = runCli({u"export"_s, from, u"--as"_s, format});
        QCOMPARE(exported.exitCode, 0);
        if (format == u"vcf"_s) {
            // Phones sort Chinese names by these: the surname readings of 曾 and 单, a compound surname as one.
            QVERIFY(exported.rawOut.startsWith("BEGIN:VCARD\r\nVERSION:3.0\r\n"));
            QVERIFY(exported.rawOut.contains("X-PHONETIC-LAST-NAME:Zeng\r\n"));
            QVERIFY(exported.rawOut.contains("X-PHONETIC-FIRST-NAME:Guofan\r\n"));
            QVERIFY(exported.rawOut.contains("X-PHONETIC-LAST-NAME:Shan\r\n"));
            QVERIFY(exported.rawOut.contains("X-PHONETIC-LAST-NAME:Ouyang\r\n"));
        } else {
            QVERIFY(exported.rawOut.startsWith("\xEF\xBB\xBF"));
        }
        const QString file = dir.filePath(u"contacts."_s + format);
        QVERIFY(testing::writeFile(file, exported.rawOut));
        const QString to = dir.filePath(u"to.EDB"_s);
        const testing::CliRun imported = runCli({u"import"_s, to, u"--from"_s, file});
        QCOMPARE(imported.exitCode, 0);
        QCOMPARE(imported.out, u"4\n"_s);
        QCOMPARE(readRecords(to), kRecords);
    }

    // Rows that repeat stored records or earlier rows are counted, and left out with --skip-duplicates; the store is
    // backed up before each import.
    void skipDuplicates()
    {
        QTemporaryDir dir;
        const QString store = testing::makeStore(dir, {kRecords[3]});
        const QString file = dir.filePath(u"rows.csv"_s);
        QVERIFY(testing::writeFile(file, "姓名,手机,家里\r\n"
                                         "张三,138-0000-1111,\r\n" // the stored record's mobile
                                         "李四,13900002222,\r\n"
                                         "李四,,13900002222\r\n" // the same name and a same number as the row above
                                         "王五,13700003333,\r\n"));
        testing::CliRun r = runCli({u"import"_s, store, u"--from"_s, file, u"--skip-duplicates"_s});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out, u"2\n"_s);
        QVERIFY2(r.err.contains(u"skipped 1 rows that repeat stored records and 1 that repeat earlier rows"_s),
                 qPrintable(r.err));
        QCOMPARE(readRecords(store).size(), 3);
        const QString backup =
            QDir(store::backupFolder(store)).filePath(store::backupFileName(store, QDate::currentDate()));
        QCOMPARE(readRecords(backup), (Records {kRecords[3]})); // as it was before this import

        // Without the option every row goes in, and the repeats of stored records are said.
        r = runCli({u"import"_s, store, u"--from"_s, file});
        QCOMPARE(r.out, u"4\n"_s);
        QVERIFY2(r.err.contains(u"4 rows repeat stored records"_s), qPrintable(r.err));
        QCOMPARE(readRecords(backup).size(), 3);

        // Tab-separated rows from standard input take the option too.
        r = runCli({u"import"_s, store, u"--skip-duplicates"_s}, "王五\t\t\t\t\t13700003333\n赵六\n");
        QCOMPARE(r.out, u"1\n"_s);
    }

    // Files as phones and spreadsheets write them, through the command line.
    void files_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<Records>("records");
        QTest::addColumn<QString>("said");
        QTest::newRow("GBK CSV without a byte-order mark")
            << u"gbk.csv"_s
            << Records {padded(
                            {u"张三"_s, u"北京大学"_s, u"说\"好\"的 备注"_s, u"010-62751234"_s, {}, u"13912345678"_s}),
                        padded({u"李四"_s, u"清华大学计算机系"_s, {}, {}, {}, u"13800138000"_s})}
            << u"2 records read (GB18030)"_s;
        QTest::newRow("xlsx")
            << u"contacts.xlsx"_s
            << Records {padded({u"张三"_s, u"北京大学"_s, u"第一行 第二行"_s, u"010-62751234"_s, {}, u"13912345678"_s}),
                        padded({u"李四"_s, u"清华大学"_s, {}, {}, {}, u"13800138000"_s}),
                        padded({u"王五"_s, {}, u"3.5"_s, u"88886666"_s})}
            << u"3 records read"_s;
    }
    void files()
    {
        QFETCH(QString, file);
        QTemporaryDir dir;
        const QString store = dir.filePath(u"DHB.EDB"_s);
        const testing::CliRun r = runCli({u"import"_s, store, u"--from"_s, dataPath(file)});
        QCOMPARE(r.exitCode, 0);
        QTEST(readRecords(store), "records");
        QFETCH(QString, said);
        QVERIFY2(r.err.contains(said), qPrintable(r.err));
        QVERIFY(!QDir(store::backupFolder(store)).exists()); // a store made by the import has nothing to back up
    }

    void refusals_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exitCode");
        QTest::newRow("a file that is missing") << QStringList {u"--from"_s, u"missing.vcf"_s} << 2;
        QTest::newRow("--exact with --from") << QStringList {u"--from"_s, u"x.vcf"_s, u"--exact"_s} << 1;
        QTest::newRow("--from without a file") << QStringList {u"--from"_s} << 1;
    }
    void refusals()
    {
        QFETCH(QStringList, args);
        QTemporaryDir dir;
        const QString store = dir.filePath(u"DHB.EDB"_s);
        const testing::CliRun r = runCli(QStringList {u"import"_s, store} + args);
        QTEST(r.exitCode, "exitCode");
        QVERIFY(!QFile::exists(store));
        QCOMPARE(runCli({u"export"_s, store, u"--as"_s, u"txt"_s}).exitCode, 1);
    }
};

QTEST_GUILESS_MAIN(ContactsCliTest)
#include "contacts_cli_test.moc"
