#pragma once

#include "store/record.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <vector>

class QAction;
class QTemporaryDir;
class QWidget;

// What the tests of every folder share: the command-line companion run as a second process, records written as
// UTF-8 text, stores made and read back independently of the program's own store code, a second writer, and the
// keyboard and windows as a person uses them.
namespace telvane::testing {

// ---- data rows ---------------------------------------------------------------------------------------------------

// A bool column of that name and two rows: the one named `whenFalse` with false, the one named `whenTrue` with true.
void addBoolRows(const char* column, const char* whenFalse, const char* whenTrue);

// ---- records ------------------------------------------------------------------------------------------------------

// A record from its first fields in field order, as the store holds it; the fields not given are empty:
// record({u"张三"_s, u"北京大学"_s, {}, {}, {}, u"13800001111"_s}).
store::Record record(const QStringList& fields);
// The seven fields of a record as text.
QStringList fields(const store::Record& record);
// The same record as text: seven fields from the first ones given, the rest empty.
QStringList padded(QStringList fields);
// Records as text that hold a name each and nothing else.
QList<QStringList> names(const QStringList& names);

// ---- files -------------------------------------------------------------------------------------------------------

// Every byte of a file; empty when it cannot be read.
QByteArray fileBytes(const QString& path);
// Makes the file hold exactly these bytes (created, or truncated first); false on any failure.
[[nodiscard]] bool writeFile(const QString& path, const QByteArray& bytes);

// ---- store files --------------------------------------------------------------------------------------------------

// Creates DHB.EDB in `dir` holding the records, through the program's store; its path, or empty text on failure.
QString makeStore(const QTemporaryDir& dir, const QList<QStringList>& records = {});
QString makeStore(const QString& path, const std::vector<store::Record>& records);
// Every record of a store file in id order, read through a connection of its own (not the program's store code),
// so a test sees what another program would. Empty on any failure; *ok tells.
QList<QStringList> readRecords(const QString& path, bool* ok = nullptr);
// The ids of the records, in order.
QList<qint64> readIds(const QString& path);
// Runs SQL on the file (created when missing) through a separate SQLite connection in this process.
bool execOther(const QString& path, const QByteArray& sql);
// Runs SQL on the file with the sqlite3 shell, a second process; its standard output, or a null text on failure.
QString runSqlite3(const QString& path, const QByteArray& sql);

// ---- the command-line companion --------------------------------------------------------------------------------

struct CliRun
{
    int exitCode = -1; // -1: did not finish normally
    QString out;
    QString err;
    QByteArray rawOut; // standard output as written, for checks of its bytes
};
// Runs telvane-cli with the arguments and standard input, waiting up to `timeoutMs`.
CliRun runCli(const QStringList& args, const QByteArray& input = {}, int timeoutMs = 60000);
QString cliPath();

// ---- keyboard and windows ----------------------------------------------------------------------------------------

// Types text key by key, Chinese characters included (QTest::keyClicks takes Latin-1 only).
void typeText(QWidget* widget, const QString& text);
// Shows the window and waits until it is exposed and active; false when it never became so.
[[nodiscard]] bool showAndActivate(QWidget* window);
// The object name of the widget that has the keyboard focus; empty when none has.
QString focusName();
// The window's action of that caption (mnemonic included), or null.
QAction* findAction(QWidget* window, const QString& caption);

} // namespace telvane::testing
