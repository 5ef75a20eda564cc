// telvane-cli: the directory store from the command line, over the same libraries as the program.
#include "cli/commands.h"

#include <QCoreApplication>

#include <cstdio>
#include <string_view>

namespace telvane::cli {

void writeOut(const std::string& utf8)
{
    std::fwrite(utf8.data(), 1, utf8.size(), stdout);
}

void printError(const std::string& utf8Line)
{
    std::fprintf(stderr, "telvane-cli: %s\n", utf8Line.c_str());
}

int usage()
{
    std::fputs(
        "usage: telvane-cli search FILE QUERY   rows of the records QUERY finds, one per line, as the query box\n"
        "                                       finds them: a QUERY that starts with a digit finds the phone\n"
        "                                       numbers and remarks that hold it; any other finds names, units\n"
        "                                       and remarks by pinyin initials (zs), then by whole or mixed\n"
        "                                       pinyin (zhangsan, zsan), Chinese characters as themselves (张三,\n"
        "                                       张s) and letters and digits as written; blanks are ignored\n"
        "       telvane-cli count FILE          the number of records\n"
        "       telvane-cli tidy COLUMN         tidies standard input (UTF-8, lines end in CR LF) by the rule of\n"
        "                                       column 1..7: name, unit, remark, office, home, mobile, PHS\n"
        "       telvane-cli import FILE         adds tab-separated rows from standard input (up to seven\n"
        "                                       fields each) in one transaction, tidied as the import window\n"
        "                                       tidies them; creates FILE when missing; prints the count\n"
        "       telvane-cli export FILE         every record as a tab-separated line\n",
        stderr);
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
    } else {
        code = usage();
    }
    std::fflush(stdout);
    return std::ferror(stdout) ? kExitOutput : code;
}
