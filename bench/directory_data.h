#pragma once

#include "store/record.h"

#include <QByteArray>
#include <QString>

#include <vector>

// Realistic directories for the benchmarks: people's names from common surnames and given-name characters, work
// units made of a city, a trade and a kind of organisation, remarks that mix Chinese, Latin and digits, and the
// telephone numbers people have (a mobile on nearly everyone, office, home and PHS numbers on some).
namespace telvane::bench {

// `count` records as the store keeps them (GBK, already tidied); the same for the same seed.
std::vector<store::Record> directoryRecords(int count, unsigned seed = 20261208);
// The same records as a UTF-8 tab-separated text, one row per line, as `telvane-cli import` reads it.
QByteArray directoryTsv(int count, unsigned seed = 20261208);
// A store file holding `count` such records, made once and kept as DHB.EDB in a folder of its own beside the
// benchmark (bench-data/<count>/), so the program can be started on it.
QString directoryStore(int count);

} // namespace telvane::bench
