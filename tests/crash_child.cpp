// The writer that the crash test kills: it appends to a store as the program does and says on stdout, flushed,
// what it has been told is stored.
//
//   crash_child save <store>                 appends single records, remark "s<N>"; prints "saved N" after each
//   crash_child import <store> <batch size>  imports batches through the bulk import, every record of batch B with
//                                            the remark "b<B>"; prints "imported B" after each
//
// Both run until they are killed (or a write fails: exit code 1, the reason on stderr).
#include "import/bulk_import.h"
#include "store/directory_store.h"
#include "text/gbk.h"

#include <QString>

#include <cstdio>
#include <cstdlib>
#include <string>

using namespace telvane;

namespace {

int failed(const QString& what)
{
    std::fprintf(stderr, "crash_child: %s\n", what.toLocal8Bit().constData());
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        return failed(QStringLiteral("usage: crash_child save|import <store> [batch size]"));
    }
    const std::string mode = argv[1];
    store::DirectoryStore store;
    QString error;
    if (!store.open(QString::fromLocal8Bit(argv[2]), &error)) {
        return failed(error);
    }
    // The conversion tables are built on first use, which takes a fifth of a second under the sanitizers: built
    // before the writer says it is open, so that the kills fall among the writes and not before the first.
    text::gbkToUtf8("\xD5\xC5");
    std::printf("open %d\n", store.recordCount());
    std::fflush(stdout);
    if (mode == "save") {
        for (long n = 1;; ++n) {
            store::Record r;
            r[0] = "\xD5\xC5\xC8\xFD"; // 张三
            r[2] = "s" + std::to_string(n);
            r[5] = "139" + std::to_string(10000000 + n);
            if (!store.append(r, &error)) {
                return failed(error);
            }
            std::printf("saved %ld\n", n);
            std::fflush(stdout);
        }
    }
    if (mode == "import" && argc == 4) {
        const long size = std::strtol(argv[3], nullptr, 10);
        for (long b = 1;; ++b) {
            // The seven pasted columns of one batch: a name, the batch tag as remark, a mobile number per line.
            import::ColumnTexts columns;
            for (long i = 0; i < size; ++i) {
                columns[0] += "\xC0\xEE\xCB\xC4\r\n"; // 李四
                columns[2] += "b" + std::to_string(b) + "\r\n";
                columns[5] += std::to_string(13800000000 + i) + "\r\n";
            }
            const auto records = import::importedRecords(columns);
            if (!store.appendMany(records, &error)) {
                return failed(error);
            }
            std::printf("imported %ld\n", b);
            std::fflush(stdout);
        }
    }
    return failed(QStringLiteral("unknown mode"));
}
