// Every statement on table `directory` is made from the field table: the table a store is made with has the
// fields in order, and each statement prepares on it with as many values as it names fields. A field added to
// store/fields.h and forgotten by a statement fails here.
#include "store/connection.h"
#include "store/fields.h"
#include "store/sql.h"

#include <QTemporaryDir>
#include <QTest>

#include <sqlite3.h>

using namespace Qt::StringLiterals;
using namespace telvane::store;

class SqlTest : public QObject
{
    Q_OBJECT

private slots:
    void tableHasTheFieldsInOrder()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(u"DHB.EDB"_s);
        QVERIFY(createStore(path));
        Connection conn;
        QVERIFY(conn.open(path, Connection::Mode::ReadOnly));
        Statement info(conn.handle(), "SELECT name FROM pragma_table_info('directory') ORDER BY cid");
        QVERIFY(info.step() == SQLITE_ROW);
        QCOMPARE(info.columnUtf8(0), std::string_view("id"));
        for (const FieldInfo& field : kFields) {
            QVERIFY(info.step() == SQLITE_ROW);
            QCOMPARE(info.columnUtf8(0), field.name);
        }
        QCOMPARE(info.step(), SQLITE_DONE);
    }

    void statementsFitTheTable_data()
    {
        const int n = static_cast<int>(kFieldCount);
        QTest::addColumn<QByteArray>("statement");
        QTest::addColumn<int>("values"); // parameters bound
        QTest::addColumn<int>("columns"); // columns read
        QTest::newRow("select all") << QByteArray::fromStdString(sql::selectAll()) << 0 << n + 1;
        QTest::newRow("select after a key") << QByteArray::fromStdString(sql::selectAfter()) << 1 << n + 1;
        QTest::newRow("select a key range") << QByteArray::fromStdString(sql::selectRange()) << 2 << n + 1;
        QTest::newRow("select by key") << QByteArray::fromStdString(sql::selectByKey()) << 1 << n;
        QTest::newRow("insert") << QByteArray::fromStdString(sql::insert()) << n << 0;
        QTest::newRow("insert with a key") << QByteArray::fromStdString(sql::insertWithKey()) << n + 1 << 0;
        QTest::newRow("update what is expected") << QByteArray::fromStdString(sql::updateExpected()) << 2 * n + 1 << 0;
        QTest::newRow("delete what is expected") << QByteArray::fromStdString(sql::deleteExpected()) << n + 1 << 0;
    }
    void statementsFitTheTable()
    {
        QFETCH(QByteArray, statement);
        QFETCH(int, values);
        QFETCH(int, columns);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"DHB.EDB"_s);
        QVERIFY(createStore(path));
        Connection conn;
        QVERIFY(conn.open(path, Connection::Mode::ReadWrite));
        Statement st(conn.handle(), statement.constData());
        QVERIFY2(st.ok(), qPrintable(conn.lastError()));
        QCOMPARE(sqlite3_bind_parameter_count(st.get()), values);
        QCOMPARE(sqlite3_column_count(st.get()), columns);
    }
};

QTEST_GUILESS_MAIN(SqlTest)
#include "sql_test.moc"
