#include "tests/support/test_support.h"

#include "store/directory_store.h"
#include "text/gbk.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

#include <sqlite3.h>

using namespace Qt::StringLiterals;

namespace telvane::testing {

void addBoolRows(const char* column, const char* whenFalse, const char* whenTrue)
{
    QTest::addColumn<bool>(column);
    QTest::newRow(whenFalse) << false;
    QTest::newRow(whenTrue) << true;
}

store::Record record(const QStringList& fields)
{
    store::Record r;
    for (std::size_t f = 0; f < store::kFieldCount; ++f) {
        r[f] = text::toGbk(fields.value(static_cast<qsizetype>(f)));
    }
    return r;
}

QStringList fields(const store::Record& record)
{
    QStringList out;
    for (const std::string& field : record) {
        out << text::fromGbk(field);
    }
    return out;
}

QStringList padded(QStringList fields)
{
    while (fields.size() < static_cast<qsizetype>(store::kFieldCount)) {
        fields << QString();
    }
    return fields;
}

QList<QStringList> names(const QStringList& list)
{
    QList<QStringList> out;
    for (const QString& name : list) {
        out << padded({name});
    }
    return out;
}

QByteArray fileBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QString makeStore(const QString& path, const std::vector<store::Record>& records)
{
    if (!store::DirectoryStore::create(path)) {
        return {};
    }
    store::DirectoryStore store;
    if (!store.open(path) || (!records.empty() && !store.appendMany(records))) {
        return {};
    }
    store.close();
    return path;
}

QString makeStore(const QTemporaryDir& dir, const QList<QStringList>& records)
{
    std::vector<store::Record> rows;
    for (const QStringList& r : records) {
        rows.push_back(record(r));
    }
    return makeStore(dir.filePath(u"DHB.EDB"_s), rows);
}

namespace {

// A plain read of the file, as any SQLite client would make it.
template<typename Row>
bool selectAll(const QString& path, const char* sql, Row&& row)
{
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        return false;
    }
    sqlite3_busy_timeout(db, 5000);
    sqlite3_stmt* st = nullptr;
    bool ok = sqlite3_prepare_v2(db, sql, -1, &st, nullptr) == SQLITE_OK;
    int rc = SQLITE_DONE;
    while (ok && (rc = sqlite3_step(st)) == SQLITE_ROW) {
        row(st);
    }
    ok = ok && rc == SQLITE_DONE;
    sqlite3_finalize(st);
    sqlite3_close(db);
    return ok;
}

} // namespace

QList<QStringList> readRecords(const QString& path, bool* ok)
{
    QList<QStringList> out;
    const bool read = selectAll(
        path, "SELECT 姓名, 单位, 备注, 办公, 家里, 手机, 小灵通 FROM directory ORDER BY id", [&](sqlite3_stmt* st) {
            QStringList r;
            for (int c = 0; c < 7; ++c) {
                r << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, c)));
            }
            out << r;
        });
    if (ok) {
        *ok = read;
    }
    return read ? out : QList<QStringList> {};
}

QList<qint64> readIds(const QString& path)
{
    QList<qint64> out;
    selectAll(path, "SELECT id FROM directory ORDER BY id",
              [&](sqlite3_stmt* st) { out << sqlite3_column_int64(st, 0); });
    return out;
}

bool execOther(const QString& path, const QByteArray& sql)
{
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr)
        != SQLITE_OK) {
        sqlite3_close(db);
        return false;
    }
    sqlite3_busy_timeout(db, 5000);
    const bool ok = sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return ok;
}

QString runSqlite3(const QString& path, const QByteArray& sql)
{
    QProcess p;
    p.start(u"sqlite3"_s, {u"-cmd"_s, u".timeout 5000"_s, path});
    if (!p.waitForStarted(10000)) {
        return {};
    }
    p.write(sql);
    p.closeWriteChannel();
    if (!p.waitForFinished(30000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        return {};
    }
    const QString out = QString::fromUtf8(p.readAllStandardOutput());
    return out.isNull() ? u""_s : out;
}

QString cliPath()
{
    return QStringLiteral(TELVANE_CLI_PATH);
}

CliRun runCli(const QStringList& args, const QByteArray& input, int timeoutMs)
{
    QProcess p;
    p.start(cliPath(), args);
    CliRun r;
    if (!p.waitForStarted(10000)) {
        return r;
    }
    if (!input.isEmpty()) {
        p.write(input);
    }
    p.closeWriteChannel();
    if (!p.waitForFinished(timeoutMs) || p.exitStatus() != QProcess::NormalExit) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.exitCode = p.exitCode();
    r.rawOut = p.readAllStandardOutput();
    r.out = QString::fromUtf8(r.rawOut);
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

void typeText(QWidget* widget, const QString& text)
{
    for (const QChar c : text) {
        QTest::sendKeyEvent(QTest::Press, widget, Qt::Key_unknown, QString(c), Qt::NoModifier);
        QTest::sendKeyEvent(QTest::Release, widget, Qt::Key_unknown, QString(c), Qt::NoModifier);
    }
}

bool showAndActivate(QWidget* window)
{
    window->show();
    if (!QTest::qWaitForWindowExposed(window)) {
        return false;
    }
    window->activateWindow();
    return QTest::qWaitForWindowActive(window);
}

QString focusName()
{
    return QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : QString();
}

QAction* findAction(QWidget* window, const QString& caption)
{
    for (QAction* a : window->findChildren<QAction*>()) {
        if (a->text() == caption) {
            return a;
        }
    }
    return nullptr;
}

} // namespace telvane::testing
