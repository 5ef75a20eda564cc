// The program beside other writers of the same DHB.EDB: telvane-cli and the sqlite3 shell as second processes, the
// list editor as a second connection. Every record written by anyone is there afterwards, the program keeps saving,
// and it keeps its lock on the file all along (a lost lock lets another client delete the program's WAL).
#include "app/main_window.h"
#include "editor/list_editor_window.h"
#include "editor/record_table_model.h"
#include "tests/support/test_support.h"
#include "widgets/byte_line_edit.h"
#include "widgets/picture_button.h"
#include "widgets/query_box.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace telvane;
using app::MainWindow;

namespace {

// Whether this process holds a POSIX lock on the file (SQLite's shared lock of a WAL connection).
bool holdsLock(const QString& path)
{
    struct stat st
    {
    };
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) {
        return false;
    }
    QFile locks(u"/proc/locks"_s);
    if (!locks.open(QIODevice::ReadOnly)) {
        return false;
    }
    const QByteArray pid = QByteArray::number(::getpid());
    const QByteArray inode = ':' + QByteArray::number(static_cast<qulonglong>(st.st_ino));
    for (const QByteArray& line : locks.readAll().split('\n')) {
        const QList<QByteArray> f = line.simplified().split(' ');
        if (f.size() > 5 && f[4] == pid && f[5].endsWith(inode)) {
            return true;
        }
    }
    return false;
}

QByteArray tsv(const QStringList& names)
{
    QByteArray out;
    for (const QString& name : names) {
        out += name.toUtf8() + "\t\xE5\x8D\x95\xE4\xBD\x8D\n"; // 单位
    }
    return out;
}

} // namespace

class SecondWriterTest : public QObject
{
    Q_OBJECT

private:
    // Types a name into the entry form and saves it with 确定按钮.
    static void saveEntry(MainWindow& w, const QString& name)
    {
        if (!w.确定按钮->isVisible()) {
            w.输入按钮->click();
        }
        w.姓名框->setFocus();
        testing::typeText(w.姓名框, name);
        w.确定按钮->click();
    }
    // The records the query box finds for a query, as the count label shows them.
    static int found(MainWindow& w, const QString& query)
    {
        w.查询按钮->click();
        QTest::keyClicks(w.查询框, query);
        // After another program wrote, the index is built again first; the query is answered then.
        if (!QTest::qWaitFor([&] { return !w.queryMode().isWaiting(); })) {
            return -1;
        }
        return static_cast<int>(w.queryMode().results().size());
    }

private slots:
    void initTestCase()
    {
        MainWindow::setMessageSink([](const QString&, const QString&) {});
    }

    void everyWriterKeepsItsRecords()
    {
        QTemporaryDir dir;
        const QString path = testing::makeStore(dir, {{u"张三"_s}, {u"李四"_s}});
        QVERIFY(!path.isEmpty());
        MainWindow w(dir.path());
        QVERIFY(w.startUp());
        QVERIFY(testing::showAndActivate(&w));
        QVERIFY(holdsLock(path));

        // A save, then another program imports twice.
        saveEntry(w, u"王一"_s);
        QCOMPARE(testing::readRecords(path).size(), 3);
        QVERIFY(holdsLock(path));
        QCOMPARE(testing::runCli({u"import"_s, path}, tsv({u"王二"_s, u"王三"_s})).exitCode, 0);
        QCOMPARE(testing::runCli({u"import"_s, path}, tsv({u"王四"_s})).exitCode, 0);
        // The program shows their records on the next query.
        QCOMPARE(found(w, u"w"_s), 4);

        // The list editor opens beside it; another import; a grid edit.
        editor::ListEditorWindow grid(path);
        QVERIFY(grid.isStoreOpen());
        QVERIFY(holdsLock(path));
        QCOMPARE(testing::runCli({u"import"_s, path}, tsv({u"王五"_s, u"王六"_s})).exitCode, 0);
        QCOMPARE(testing::runCli({u"import"_s, path}, tsv({u"王七"_s})).exitCode, 0);
        grid.reload();
        QCOMPARE(grid.model()->rowCount(), 9);
        QVERIFY(grid.model()->setData(grid.model()->index(0, 2), u"改过"_s));
        QCOMPARE(testing::readRecords(path).size(), 9);
        QVERIFY(holdsLock(path));

        // The sqlite3 shell writes; the program keeps saving.
        QVERIFY(!testing::runSqlite3(path, "INSERT INTO directory (姓名) VALUES ('王八');").isNull());
        saveEntry(w, u"王九"_s);
        saveEntry(w, u"王十"_s);
        QCOMPARE(found(w, u"w"_s), 10);
        QCOMPARE(testing::runCli({u"import"_s, path}, tsv({u"赵一"_s})).exitCode, 0);
        saveEntry(w, u"赵二"_s);

        const QList<QStringList> records = testing::readRecords(path);
        QStringList names;
        for (const QStringList& r : records) {
            names << r[0];
        }
        QCOMPARE(names, (QStringList {u"张三"_s, u"李四"_s, u"王一"_s, u"王二"_s, u"王三"_s, u"王四"_s, u"王五"_s,
                                      u"王六"_s, u"王七"_s, u"王八"_s, u"王九"_s, u"王十"_s, u"赵一"_s, u"赵二"_s}));
        QCOMPARE(records[0][2], u"改过"_s);
        QVERIFY(holdsLock(path));
        QCOMPARE(testing::runSqlite3(path, "PRAGMA integrity_check;").trimmed(), u"ok"_s);
    }
};

QTEST_MAIN(SecondWriterTest)
#include "second_writer_test.moc"
