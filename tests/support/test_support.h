#pragma once

#include "store/record.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <vector>

class QTemporaryDir;
class QWidget;

// What the tests of every folder share: the command-line companion run as a second process, records written as
// UTF-8 text, stores made and read back independently of the program's own store code, a second writer, and the
// keyboard and windows as a person uses them.
namespace telvane::testing {

// ---- records ------------------------------------------------------------------------------------------------------

// A record from its first fields (UTF-8); the fields not given are empty.
store::Record record(const QStringList& fields);
// The seven fields of a record as text.
QStringList fields(const store::Record& record);
// Seven fields from the first ones given, the rest empty.
QStringList padded(QStringList fields);

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
};
// Runs telvane-cli with the arguments and standard input, waiting up to `timeoutMs`.
CliRun runCli(const QStringList& args, const QByteArray& input = {}, int timeoutMs = 60000);
QString cliPath();

// ---- keyboard and windows ----------------------------------------------------------------------------------------

// Types text key by key, Chinese characters included (QTest::keyClicks takes Latin-1 only).
void typeText(QWidget* widget, const QString& text);
// Shows the window and waits until it is exposed and active; false when it never became so.
[[nodiscard]] bool showAndActivate(QWidget* window);

} // namespace telvane::testing
