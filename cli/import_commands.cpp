#include "cli/commands.h"

#include "import/bulk_import.h"
#include "import/tidy.h"
#include "text/tsv.h"
#include "store/directory_store.h"
#include "text/gbk.h"

#include <QString>

#include <cstdio>

namespace telvane::cli {

namespace {

// All of standard input; false when it could not be read to its end.
bool readInput(std::string& out)
{
    char buffer[1 << 16];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, stdin)) > 0) {
        out.append(buffer, n);
    }
    return !std::ferror(stdin);
}

// Reads standard input as UTF-8 text without its byte-order mark; prints why not and returns false otherwise.
bool readUtf8Input(std::string& text)
{
    if (!readInput(text)) {
        printError("cannot read standard input");
        return false;
    }
    if (!text::isValidUtf8(text)) {
        printError("standard input is not valid UTF-8 text");
        return false;
    }
    if (text.starts_with("\xEF\xBB\xBF")) {
        text.erase(0, 3);
    }
    return true;
}

QString localPath(const std::string& file)
{
    return QString::fromLocal8Bit(file.data(), static_cast<qsizetype>(file.size()));
}

std::string utf8(const QString& text)
{
    return text.toUtf8().toStdString();
}

} // namespace

int runTidy(const Args& args)
{
    if (args.size() != 1 || args[0].size() != 1 || args[0][0] < '1' || args[0][0] > '7') {
        return usage();
    }
    const int column = args[0][0] - '0';
    std::string input;
    if (!readUtf8Input(input)) {
        return kExitInput;
    }
    writeOut(text::gbkToUtf8(import::tidyColumn(column, text::utf8ToGbk(input))));
    return kExitOk;
}

int runImport(const Args& args)
{
    if (args.size() != 1) {
        return usage();
    }
    // Everything is read and checked before the store file is looked at, so bad input leaves it as it was.
    std::string input;
    if (!readUtf8Input(input)) {
        return kExitInput;
    }
    import::ColumnTexts columns;
    QString error;
    if (!import::columnsFromRows(
            text::parseTsv(QString::fromUtf8(input.data(), static_cast<qsizetype>(input.size()))), columns, &error)) {
        printError("standard input: " + utf8(error));
        return kExitInput;
    }
    input.clear();
    input.shrink_to_fit();
    // As the import window does it: input without a line adds nothing (the window refuses to tidy it); otherwise
    // the seven columns are tidied, and the rows, tidied once more, are added in one transaction.
    std::vector<store::Record> records;
    if (import::largestLineCount(columns) > 0) {
        records = import::buildRecords(import::tidyColumns(columns));
    }

    const QString path = localPath(args[0]);
    const store::FileState state = store::DirectoryStore::inspect(path);
    if (state == store::FileState::Missing) {
        if (!store::DirectoryStore::create(path, &error)) {
            printError(args[0] + ": " + utf8(error));
            return kExitFile;
        }
    } else if (state != store::FileState::Store) {
        printError(args[0] + ": " + utf8(store::DirectoryStore::describe(state)));
        return kExitFile;
    }
    store::DirectoryStore store;
    if (!store.open(path, &error)) {
        printError(args[0] + ": " + utf8(error));
        return kExitFile;
    }
    if (!records.empty() && !store.appendMany(records, &error)) {
        printError(args[0] + ": no record added: " + utf8(error));
        return kExitFile;
    }
    store.close();
    writeOut(std::to_string(records.size()) + "\n");
    return kExitOk;
}

int runExport(const Args& args)
{
    if (args.size() != 1) {
        return usage();
    }
    const QString path = localPath(args[0]);
    const store::FileState state = store::DirectoryStore::inspect(path);
    if (state != store::FileState::Store) {
        printError(args[0] + ": " + utf8(store::DirectoryStore::describe(state)));
        return kExitFile;
    }
    store::DirectoryStore store;
    QString error;
    if (!store.open(path, &error, store::DirectoryStore::Access::ReadOnly)) {
        printError(args[0] + ": " + utf8(error));
        return kExitFile;
    }
    const store::Columns& columns = store.columns();
    std::string out;
    QStringList row;
    for (int n = 1; n <= static_cast<int>(columns.size()); ++n) {
        row.clear();
        for (std::size_t f = 1; f <= store::kFieldCount; ++f) {
            row.append(text::fromGbk(columns.field(n, f)));
        }
        out += utf8(text::writeTsvRow(row));
        out += '\n';
        if (out.size() >= 1 << 16) {
            writeOut(out);
            out.clear();
        }
    }
    writeOut(out);
    store.close();
    return kExitOk;
}

} // namespace telvane::cli
