#include "cli/commands.h"

#include "query/directory.h"
#include "query/result_row.h"
#include "store/backup.h"
#include "store/directory_store.h"
#include "text/gbk.h"

#include <QString>

namespace telvane::cli {

namespace {

// Opens FILE as a store without ever creating or changing a file that is not one. On failure prints why.
bool openStore(const std::string& file, store::DirectoryStore& store)
{
    QString error;
    if (store.open(QString::fromLocal8Bit(file.data(), static_cast<qsizetype>(file.size())), &error,
                   store::DirectoryStore::Access::ReadOnly)) {
        return true;
    }
    printError(file + ": " + error.toUtf8().toStdString());
    return false;
}

} // namespace

int runSearch(const Args& args)
{
    if (args.size() != 2) {
        return usage();
    }
    // As the query box takes it: Latin letters are lower case there as they are typed (Search reads them so anyway).
    // Lowered in UTF-8, where a byte below 0x80 is always a character of its own (in GBK it may be the second byte of
    // a Chinese character). Blanks stay: Search ignores them as it does in the box, but not in a query of digits.
    std::string typed = args[1];
    for (char& c : typed) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    bool valid = true;
    const std::string query = text::utf8ToGbk(typed, &valid);
    if (!valid) {
        printError("the query is not UTF-8 text");
        return kExitUsage;
    }
    store::DirectoryStore store;
    if (!openStore(args[0], store)) {
        return kExitFile;
    }
    query::Directory directory(store);
    QString error;
    if (!directory.loadNow(&error)) {
        printError(args[0] + ": " + error.toUtf8().toStdString());
        return kExitFile;
    }
    const std::vector<std::int32_t> results = *directory.search(query);
    std::string out;
    int ordinal = 0;
    for (const std::int32_t n : results) {
        out += text::gbkToUtf8(query::resultRow(++ordinal, store.record(n)));
        out += '\n';
        if (out.size() >= 1 << 16) {
            if (!writeOut(out)) {
                return kExitOutput;
            }
            out.clear();
        }
    }
    store.close();
    return writeOut(out) ? kExitOk : kExitOutput;
}

int runCount(const Args& args)
{
    if (args.size() != 1) {
        return usage();
    }
    store::DirectoryStore store;
    if (!openStore(args[0], store)) {
        return kExitFile;
    }
    const int count = store.recordCount();
    store.close();
    return writeOut(std::to_string(count) + '\n') ? kExitOk : kExitOutput;
}

int runBackup(const Args& args)
{
    if (args.size() != 2) {
        return usage();
    }
    const auto local = [](const std::string& file) {
        return QString::fromLocal8Bit(file.data(), static_cast<qsizetype>(file.size()));
    };
    QString error;
    QString written;
    if (!store::backupStore(local(args[0]), local(args[1]), &error, &written)) {
        printError(args[0] + ": no backup written: " + error.toUtf8().toStdString());
        return kExitFile;
    }
    return writeOut(written.toUtf8().toStdString() + '\n') ? kExitOk : kExitOutput;
}

} // namespace telvane::cli
