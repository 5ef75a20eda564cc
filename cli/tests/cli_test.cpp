#include "store/directory_store.h"
#include "tests/support/test_support.h"
#include "text/gbk.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace telvane;
using namespace Qt::StringLiterals;

namespace {

store::Record record(const QString& name, const QString& unit, const QString& remark, const QString& office = {},
                     const QString& home = {}, const QString& mobile = {}, const QString& phs = {})
{
    return {text::toGbk(name), text::toGbk(unit),   text::toGbk(remark), text::toGbk(office),
            text::toGbk(home), text::toGbk(mobile), text::toGbk(phs)};
}

using Run = testing::CliRun;
using testing::runCli;

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

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

private:
    QTemporaryDir m_dir;
    QString m_store;
};

void CliTest::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_store = m_dir.filePath(u"DHB.EDB"_s);
    QVERIFY(store::DirectoryStore::create(m_store));
    store::DirectoryStore s;
    QVERIFY(s.open(m_store));
    const std::vector<store::Record> records {
        record(u"张三"_s, u"北京大学"_s, u"老同学"_s, u"01062751234"_s, {}, u"13800001111"_s),
        record(u"李四"_s, u"中国张三公司"_s, u"编号13a"_s),
        record(u"王五"_s, {}, {}, {}, u"0371"_s),
        record(u"安娜"_s, {}, {}),
    };
    QVERIFY(s.appendMany(records));
    s.close();
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
    const QByteArray before = readAll(m_store);
    const Run r = runCli({u"search"_s, m_store, query});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.out, expected);
    QCOMPARE(r.err, QString());
    QCOMPARE(readAll(m_store), before);
    // A reading command leaves no WAL or index beside the file.
    QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList {u"DHB.EDB"_s});
}

void CliTest::count()
{
    // count and export read without writing, and leave no WAL or index beside the file.
    for (const QString& command : {u"count"_s, u"export"_s}) {
        const QByteArray before = readAll(m_store);
        const Run r = runCli({command, m_store});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out.count(u'\n'), command == u"count"_s ? 1 : 4);
        QCOMPARE(readAll(m_store), before);
        QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList {u"DHB.EDB"_s});
    }
    QCOMPARE(runCli({u"count"_s, m_store}).out, u"4\n"_s);
}

void CliTest::refusedFiles_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QByteArray>("content"); // empty: no file at all
    QTest::addColumn<bool>("exists");
    QTest::newRow("search, missing") << u"search"_s << QByteArray() << false;
    QTest::newRow("count, missing") << u"count"_s << QByteArray() << false;
    QTest::newRow("count, empty file") << u"count"_s << QByteArray() << true;
    QTest::newRow("search, text file") << u"search"_s << QByteArray("name,phone\r\nzs,138\r\n") << true;
    QTest::newRow("count, text file") << u"count"_s << QByteArray("name,phone\r\nzs,138\r\n") << true;
    // A SQLite header followed by rubbish.
    QByteArray damaged("SQLite format 3\0", 16);
    damaged += QByteArray(4096, '\x5a');
    QTest::newRow("search, damaged") << u"search"_s << damaged << true;
    QTest::newRow("count, damaged") << u"count"_s << damaged << true;
}

void CliTest::refusedFiles()
{
    QFETCH(QString, command);
    QFETCH(QByteArray, content);
    QFETCH(bool, exists);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(u"DHB.EDB"_s);
    if (exists) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(content);
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
    QVERIFY2(r.err.contains(path), qPrintable(r.err));
    QCOMPARE(QFile::exists(path), exists);
    if (exists) {
        QCOMPARE(readAll(path), content);
    }
    // Nothing was made beside it either.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), exists ? 1 : 0);
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
    QVERIFY(!testing::makeStore(path, {record(u"张三"_s, {}, {}), record(u"李四"_s, {}, {})}).isEmpty());
    QVERIFY(testing::execOther(path, "CREATE TRIGGER t AFTER INSERT ON directory BEGIN"
                                     " DELETE FROM directory WHERE id < NEW.id; END"));
    const QByteArray before = readAll(path);
    QStringList args {command, path};
    if (command == u"search"_s) {
        args << u"zs"_s;
    }
    const Run r = runCli(args, command == u"import"_s ? QByteArray("王五\t单位\n") : QByteArray());
    QCOMPARE(r.exitCode, 2);
    QVERIFY2(r.err.contains(u"触发器"_s), qPrintable(r.err));
    QCOMPARE(r.out, QString());
    QCOMPARE(readAll(path), before);
    QCOMPARE(testing::readRecords(path).size(), 2);
}

QTEST_GUILESS_MAIN(CliTest)
#include "cli_test.moc"
