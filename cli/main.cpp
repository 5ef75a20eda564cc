// telvane-cli: the directory store from the command line, over the same libraries as the program.
#include "cli/commands.h"

#include "store/fields.h"

#include <QCoreApplication>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace telvane::cli {

namespace {

bool g_outputFailed = false;

// Says once why standard output could not be written (a full disk, a closed pipe, /dev/full).
bool outputFailed(int error)
{
    if (!g_outputFailed) {
        g_outputFailed = true;
        printError(std::string("cannot write standard output: ") + std::strerror(error));
    }
    return false;
}

} // namespace

bool writeOut(const std::string& utf8)
{
    if (g_outputFailed) {
        return false;
    }
    if (std::fwrite(utf8.data(), 1, utf8.size(), stdout) != utf8.size()) {
        return outputFailed(errno);
    }
    return true;
}

bool finishOutput()
{
    if (g_outputFailed) {
        return false;
    }
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        return outputFailed(errno);
    }
    return true;
}

void printError(const std::string& utf8Line)
{
    std::fprintf(stderr, "telvane-cli: %s\n", utf8Line.c_str());
}

int usage()
{
    // The columns by number, as the field table has them.
    std::string columns;
    for (std::size_t f = 0; f < store::kFieldCount; ++f) {
        columns += (f ? " " : "") + std::to_string(f + 1) + " " + std::string(store::kFields[f].name);
    }
    const std::string text =
        "usage: telvane-cli search FILE QUERY   rows of the records QUERY finds, one per line, as the query box\n"
        "                                       finds them: a QUERY that starts with a digit finds the phone\n"
        "                                       numbers and remarks that hold it; any other finds names, units\n"
        "                                       and remarks by pinyin initials (zs), then by whole or mixed\n"
        "                                       pinyin (zhangsan, zsan), Chinese characters as themselves (张三,\n"
        "                                       张s) and letters and digits as written; blanks are ignored\n"
        "       telvane-cli count FILE          the number of records\n"
        "       telvane-cli tidy COLUMN         tidies standard input (UTF-8, lines end in CR LF) by the rule of\n"
        "                                       the column: "
        + columns
        + "\n"
          "       telvane-cli import FILE         adds tab-separated rows from standard input (a field a cell)\n"
          "                                       in one transaction, tidied as the import window tidies\n"
          "                                       them; creates FILE when missing; prints the count\n"
          "       telvane-cli import FILE --exact the same, every cell and row stored as it is (what export wrote)\n"
          "       telvane-cli import FILE --from CONTACTS\n"
          "                                       adds the contacts of a phone's or a spreadsheet's file (.vcf,\n"
          "                                       .csv, .txt, .xlsx, .ods), tidied as every import; says on\n"
          "                                       standard error how many rows repeat stored records\n"
          "       telvane-cli import FILE [--from CONTACTS] --skip-duplicates\n"
          "                                       leaves out rows that repeat stored records or earlier rows\n"
          "                                       (the same mobile number, or the same name and a same number)\n"
          "       telvane-cli export FILE         every record as a tab-separated line\n"
          "       telvane-cli export FILE --as vcf|csv\n"
          "                                       every record as a vCard 3.0 card for phones (names with their\n"
          "                                       pinyin) or as CSV for spreadsheets (UTF-8, byte-order mark)\n"
          "       telvane-cli backup FILE DEST    a complete copy of the store, also while others write it\n";
    std::fputs(text.c_str(), stderr);
    return kExitUsage;
}

} // namespace telvane::cli

int main(int argc, char** argv)
{
    using namespace telvane::cli;
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        return usage();
    }
    const std::string_view command = argv[1];
    const Args args(argv + 2, argv + argc);
    int code = kExitUsage;
    if (command == "search") {
        code = runSearch(args);
    } else if (command == "count") {
        code = runCount(args);
    } else if (command == "tidy") {
        code = runTidy(args);
    } else if (command == "import") {
        code = runImport(args);
    } else if (command == "export") {
        code = runExport(args);
    } else if (command == "backup") {
        code = runBackup(args);
    } else {
        code = usage();
    }
    return finishOutput() ? code : kExitOutput;
}
