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
    std::fputs("usage: telvane-cli search FILE QUERY   rows of the records QUERY finds (digits: phone numbers and\n"
               "                                       remarks; letters: pinyin initials), one per line\n"
               "       telvane-cli count FILE          the number of records\n",
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
    } else {
        code = usage();
    }
    std::fflush(stdout);
    return std::ferror(stdout) ? kExitOutput : code;
}
