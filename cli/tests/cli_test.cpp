#include "tests/support/test_support.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace telvane;
using namespace Qt::StringLiterals;

using Run = testing::CliRun;
using testing::fileBytes;
using testing::runCli;

class CliTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void search_data();
    void search();
    void count();
    void refusedFiles_data();
    void refusedFiles();
    void usage_data();
    void usage();
    void storeThatActsIsRefused_data();
    void storeThatActsIsRefused();
    void failedOutputIsSaid();
    void oneRecordALine();
    void backupIsACompleteCopy();

private:
    QTemporaryDir m_dir;
    QString m_store;
};

void CliTest::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_store =
        testing::makeStore(m_dir, {{u"张三"_s, u"北京大学"_s, u"老同学"_s, u"01062751234"_s, {}, u"13800001111"_s},
                                   {u"李四"_s, u"中国张三公司"_s, u"编号13a"_s},
                                   {u"王五"_s, {}, {}, {}, u"0371"_s},
                                   {u"安娜"_s}});
    QVERIFY(!m_store.isEmpty());
}

void CliTest::search_data()
{
    QTest::addColumn<QString>("query");
    QTest::addColumn<QString>("expected");
    QTest::newRow("pinyin initials, two records") << u"zs"_s
                                                  << u"1 张三 北京大学 老同学 01062751234  13800001111 \n"
                                                     "2 李四 中国张三公司 编号13a    \n"_s;
    QTest::newRow("digits in a phone") << u"0371"_s << u"1 王五    0371  \n"_s;
    QTest::newRow("digits then a letter, literally") << u"13a"_s << u"1 李四 中国张三公司 编号13a    \n"_s;
    QTest::newRow("vowel final") << u"an"_s << u"1 安娜      \n"_s;
    QTest::newRow("upper case, lowered as the query box does") << u"ZS"_s
                                                               << u"1 张三 北京大学 老同学 01062751234  13800001111 \n"
                                                                  "2 李四 中国张三公司 编号13a    \n"_s;
    const QString zhangSan = u"1 张三 北京大学 老同学 01062751234  13800001111 \n"
                             "2 李四 中国张三公司 编号13a    \n"_s;
    QTest::newRow("Chinese characters") << u"张三"_s << zhangSan;
    QTest::newRow("blanks are ignored") << u" z s "_s << zhangSan;
    QTest::newRow("full pinyin") << u"zhangsan"_s << zhangSan;
    QTest::newRow("mixed pinyin") << u"zsan"_s << zhangSan;
    QTest::newRow("characters and initials") << u"北京dx"_s << u"1 张三 北京大学 老同学 01062751234  13800001111 \n"_s;
    QTest::newRow("no match") << u"qqq"_s << QString();
    QTest::newRow("empty query") << QString() << QString();
}

void CliTest::search()
{
    QFETCH(QString, query);
    QFETCH(QString, expected);
    const QByteArray before = fileBytes(m_store);
    const Run r = runCli({u"search"_s, m_store, query});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.out, expected);
    QCOMPARE(r.err, QString());
    QCOMPARE(fileBytes(m_store), before);
    // A reading command leaves no WAL or index beside the file.
    QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList {u"DHB.EDB"_s});
}

void CliTest::count()
{
    // count and export read without writing, and leave no WAL or index beside the file.
    for (const QString& command : {u"count"_s, u"export"_s}) {
        const QByteArray before = fileBytes(m_store);
        const Run r = runCli({command, m_store});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out.count(u'\n'), command == u"count"_s ? 1 : 4);
        QCOMPARE(fileBytes(m_store), before);
        QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList {u"DHB.EDB"_s});
    }
    QCOMPARE(runCli({u"count"_s, m_store}).out, u"4\n"_s);
}

void CliTest::refusedFiles_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QByteArray>("content"); // empty: no file at all; "/": a folder
    QTest::addColumn<bool>("exists");
    QTest::addColumn<QString>("reason");
    QTest::newRow("search, missing") << u"search"_s << QByteArray() << false << u"不存在"_s;
    QTest::newRow("count, missing") << u"count"_s << QByteArray() << false << u"不存在"_s;
    QTest::newRow("count, empty file") << u"count"_s << QByteArray() << true << u"0 字节"_s;
    QTest::newRow("count, a folder") << u"count"_s << QByteArray("/") << true << u"文件夹"_s;
    QTest::newRow("search, text file") << u"search"_s << QByteArray("name,phone\r\nzs,138\r\n") << true
                                       << u"不是电话簿"_s;
    QTest::newRow("count, text file") << u"count"_s << QByteArray("name,phone\r\nzs,138\r\n") << true
                                      << u"不是电话簿"_s;
    // A SQLite header followed by rubbish.
    QByteArray damaged("SQLite format 3\0", 16);
    damaged += QByteArray(4096, '\x5a');
    QTest::newRow("search, damaged") << u"search"_s << damaged << true << u"损坏"_s;
    QTest::newRow("count, damaged") << u"count"_s << damaged << true << u"损坏"_s;
}

void CliTest::refusedFiles()
{
    QFETCH(QString, command);
    QFETCH(QByteArray, content);
    QFETCH(bool, exists);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(u"DHB.EDB"_s);
    const bool folder = content == "/";
    if (folder) {
        QVERIFY(QDir(dir.path()).mkdir(u"DHB.EDB"_s));
    } else if (exists) {
        QVERIFY(testing::writeFile(path, content));
    }
    QStringList args {command, path};
    if (command == u"search"_s) {
        args << u"zs"_s;
    }
    const Run r = runCli(args);
    QCOMPARE(r.exitCode, 2);
    QCOMPARE(r.out, QString());
    QVERIFY(r.err.endsWith(u'\n'));
    QCOMPARE(r.err.count(u'\n'), 1);
    QVERIFY2(r.err.contains(path) && r.err.contains(reason), qPrintable(r.err));
    QCOMPARE(QFileInfo::exists(path), exists);
    if (exists && !folder) {
        QCOMPARE(fileBytes(path), content);
    }
    // Nothing was made beside it either.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), exists && !folder ? 1 : 0);
}

void CliTest::usage_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::newRow("no command") << QStringList();
    QTest::newRow("unknown command") << QStringList {u"list"_s};
    QTest::newRow("search without query") << QStringList {u"search"_s, u"DHB.EDB"_s};
    QTest::newRow("count with extra") << QStringList {u"count"_s, u"DHB.EDB"_s, u"x"_s};
}

void CliTest::usage()
{
    QFETCH(QStringList, args);
    const Run r = runCli(args);
    QCOMPARE(r.exitCode, 1);
    QCOMPARE(r.out, QString());
    QVERIFY(r.err.contains(u"usage:"_s));
}

void CliTest::storeThatActsIsRefused_data()
{
    QTest::addColumn<QString>("command");
    for (const char* command : {"import", "search", "count", "export"}) {
        QTest::newRow(command) << QString::fromLatin1(command);
    }
}

void CliTest::storeThatActsIsRefused()
{
    // A trigger that would delete every other record on the next import while the import reports success.
    QFETCH(QString, command);
    QTemporaryDir dir;
    const QString path = dir.filePath(u"DHB.EDB"_s);
    QVERIFY(!testing::makeStore(dir, {{u"张三"_s}, {u"李四"_s}}).isEmpty());
    QVERIFY(testing::execOther(path, "CREATE TRIGGER t AFTER INSERT ON directory BEGIN"
                                     " DELETE FROM directory WHERE id < NEW.id; END"));
    const QByteArray before = fileBytes(path);
    QStringList args {command, path};
    if (command == u"search"_s) {
        args << u"zs"_s;
    }
    const Run r = runCli(args, command == u"import"_s ? QByteArray("王五\t单位\n") : QByteArray());
    QCOMPARE(r.exitCode, 2);
    QVERIFY2(r.err.contains(u"触发器"_s), qPrintable(r.err));
    QCOMPARE(r.out, QString());
    QCOMPARE(fileBytes(path), before);
    QCOMPARE(testing::readRecords(path).size(), 2);
}

// Standard output that cannot take the text (a full disk, /dev/full): said, exit code 3.
void CliTest::failedOutputIsSaid()
{
    for (const QString& command : {u"export"_s, u"count"_s}) {
        QProcess p;
        p.setStandardOutputFile(u"/dev/full"_s);
        p.start(testing::cliPath(), {command, m_store});
        QVERIFY(p.waitForFinished(30000));
        QCOMPARE(p.exitCode(), 3);
        QVERIFY2(p.readAllStandardError().contains("cannot write standard output"), qPrintable(command));
    }
}

// A copy made while another program writes holds every record committed before it; it replaces an earlier backup
// of the same name, goes into a folder under the store's name, and refuses to overwrite a file that is no store.
void CliTest::backupIsACompleteCopy()
{
    QTemporaryDir dir;
    const QString path = testing::makeStore(dir, {{u"张三"_s}, {u"李四"_s}});
    QVERIFY(testing::execOther(path, "PRAGMA journal_mode = WAL; PRAGMA wal_autocheckpoint = 0;"
                                     " INSERT INTO directory (姓名) VALUES ('王五');"));
    const QString copy = dir.filePath(u"copy.EDB"_s);
    for (int round = 0; round < 2; ++round) {
        const Run r = runCli({u"backup"_s, path, copy});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out, copy + u"\n"_s);
        QCOMPARE(testing::readRecords(copy), testing::readRecords(path));
        QVERIFY(!QFile::exists(copy + u"-wal"_s));
    }
    QVERIFY(QDir(dir.path()).mkdir(u"backup"_s));
    QCOMPARE(runCli({u"backup"_s, path, dir.filePath(u"backup"_s)}).exitCode, 0);
    QCOMPARE(testing::readRecords(dir.filePath(u"backup/DHB.EDB"_s)).size(), 3);

    const QString text = dir.filePath(u"notes.txt"_s);
    QVERIFY(testing::writeFile(text, "keep me"));
    const Run refused = runCli({u"backup"_s, path, text});
    QCOMPARE(refused.exitCode, 2);
    QCOMPARE(fileBytes(text), QByteArray("keep me"));
}

// A store another program wrote line breaks and tabs into still prints one record a line.
void CliTest::oneRecordALine()
{
    QTemporaryDir dir;
    const QString path = testing::makeStore(dir, {});
    QVERIFY(testing::execOther(path, "INSERT INTO directory (姓名, 备注, 手机) VALUES ('张三', '3号楼' || char(13, 10)"
                                     " || '2单元' || char(9) || '301', '139' || char(10) || '1234');"));
    QCOMPARE(runCli({u"search"_s, path, u"zs"_s}).out, u"1 张三  3号楼 2单元 301   139 1234 \n"_s);
}

QTEST_GUILESS_MAIN(CliTest)
#include "cli_test.moc"
