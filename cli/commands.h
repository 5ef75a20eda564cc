#pragma once

#include <string>
#include <vector>

// The commands of telvane-cli. Each takes the arguments after the command name as the raw bytes the shell passed
// (UTF-8 text) and returns the process exit code.
namespace telvane::cli {

// Exit codes shared by all commands.
inline constexpr int kExitOk = 0;
inline constexpr int kExitUsage = 1; // wrong arguments
inline constexpr int kExitFile = 2; // the store file is missing, not a store, or unreadable; it is left untouched
inline constexpr int kExitOutput = 3; // standard output could not be written

using Args = std::vector<std::string>;

// ---- query commands (query_commands.cpp) ----------------------------------------------------------------------------

// search FILE QUERY: the rows of every record the query box would find for QUERY, in Result-list order.
int runSearch(const Args& args);
// count FILE: the number of records.
int runCount(const Args& args);
// backup FILE DEST: a consistent copy of the store (also while other programs write it), one self-contained file.
int runBackup(const Args& args);

// ---- import commands (import_commands.cpp) --------------------------------------------------------------------------

// Standard input could not be read, or is not valid UTF-8 / tab-separated rows. The store file is left untouched.
inline constexpr int kExitInput = 2;

// tidy COLUMN: a column's text (UTF-8) from standard input, tidied by the rule of column 1..7, to standard output.
int runTidy(const Args& args);
// import FILE [--exact]: tab-separated rows from standard input, added as the import window adds its seven columns,
// in one transaction; creates FILE as an empty store when it does not exist. Prints the number of records added,
// and on standard error how many cells tidying changed. With --exact every cell and row is stored as it is, so
// that what export wrote comes back byte for byte. With --from CONTACTS the rows are the records of a contacts file
// (vCard, CSV/TXT, .xlsx, .ods) instead; with --skip-duplicates rows that repeat a stored record or an earlier row
// are left out. An existing store is backed up into the backup folder beside it first.
int runImport(const Args& args);
// export FILE: every record in store order as one tab-separated line (LF), fields quoted where needed. With
// --as vcf a vCard 3.0 file for phones, with --as csv a CSV file for spreadsheets.
int runExport(const Args& args);

// ---- shared helpers (main.cpp) --------------------------------------------------------------------------------------

// Writes UTF-8 text to standard output; false (and why, said once on standard error) when it could not be written.
bool writeOut(const std::string& utf8);
// Flushes standard output; false as writeOut.
bool finishOutput();
// Writes one line to standard error, prefixed with the program name.
void printError(const std::string& utf8Line);
// The usage text, written to standard error; returns kExitUsage.
int usage();

} // namespace telvane::cli
