// Input nobody should give, given anyway: binary and invalid bytes, NUL bytes and a 10 MB line through the column
// tidying and through `telvane-cli tidy` / `import`, and files called DHB.EDB that are no store given to
// `count`, `search` and `import`. Bad input is refused with one line on standard error and exit code 2, and no
// file is ever changed by a refusal.
#include "import/bulk_import.h"
#include "import/tidy.h"
#include "store/directory_store.h"
#include "tests/support/test_support.h"
#include "text/gbk.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace telvane;

namespace {

// Checksums of every file in a folder (a folder inside counts by its name and its files'), to see that nothing
// changed, appeared or vanished.
QMap<QString, QByteArray> snapshot(const QString& dir)
{
    QMap<QString, QByteArray> out;
    for (const QFileInfo& info : QDir(dir).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)) {
        if (info.isDir()) {
            out.insert(info.fileName() + u"/"_s, {});
            for (const auto& [name, sum] : snapshot(info.filePath()).asKeyValueRange()) {
                out.insert(info.fileName() + u"/"_s + name, sum);
            }
            continue;
        }
        QFile f(info.filePath());
        out.insert(info.fileName(), f.open(QIODevice::ReadOnly)
                                        ? QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256)
                                        : QByteArray("unreadable"));
    }
    return out;
}

QByteArray randomBytes(qsizetype size, quint32 seed)
{
    QRandomGenerator rng(seed);
    QByteArray b(size, '\0');
    for (char& c : b) {
        c = static_cast<char>(rng.bounded(256));
    }
    return b;
}

// A store with `records` records, made through the store itself.
bool makeStore(const QString& path, int records)
{
    std::vector<store::Record> rs;
    for (int i = 0; i < records; ++i) {
        rs.push_back(
            testing::record({u"张三"_s, u"单位"_s, u"remark %1"_s.arg(i), {}, {}, QString::number(13900000000LL + i)}));
    }
    return !testing::makeStore(path, rs).isEmpty();
}

// A 10 MB line: Chinese, ASCII, full-width forms, spaces, a four-byte character and lone CRs; no tab, no LF.
QByteArray hugeLineGbk()
{
    const QByteArray piece = QByteArray::fromHex("d5c5c8fd2061623132a3c1a1a181308130") + "x y\r z";
    QByteArray line;
    line.reserve(10 * 1024 * 1024 + piece.size());
    while (line.size() < 10 * 1024 * 1024) {
        line += piece;
    }
    return line;
}

void checkTidied(const std::string& tidied, int column, std::size_t inputLines)
{
    const std::size_t width = import::columnSpec(column).width;
    QVERIFY(tidied.ends_with("\r\n"));
    const auto lines = text::splitLines(tidied);
    QVERIFY(lines.size() <= std::max<std::size_t>(inputLines, 1));
    QVERIFY(tidied == "\r\n" || !lines.back().empty());
    for (const auto line : lines) {
        QVERIFY2(line.size() <= width, qPrintable(u"column %1: a line of %2 bytes"_s.arg(column).arg(line.size())));
    }
}

} // namespace

class BadInputTest : public QObject
{
    Q_OBJECT

private slots:
    void tidyingBadBytes_data()
    {
        QTest::addColumn<QByteArray>("gbk");
        QByteArray all;
        for (int b = 0; b < 256; ++b) {
            all += static_cast<char>(b);
        }
        QTest::newRow("every byte value") << all + all;
        QTest::newRow("random binary") << randomBytes(64 * 1024, 7);
        QTest::newRow("stray lead bytes and 80, FF")
            << QByteArray::fromHex("81 20 fe 0d 0a a1 ff 80 d5 0d 0a 81 30 81 0d 0a 84 31 a4");
        QTest::newRow("NUL bytes inside and around lines")
            << QByteArray::fromHex("00d5c500c8fd000d0a00000d0a310032003300a3c100");
        QTest::newRow("10 MB single line") << hugeLineGbk();
    }
    void tidyingBadBytes()
    {
        QFETCH(QByteArray, gbk);
        const std::string_view input(gbk.constData(), static_cast<std::size_t>(gbk.size()));
        const std::size_t lines = text::lineCount(input);
        import::ColumnTexts columns;
        for (int column = 1; column <= static_cast<int>(store::kFieldCount); ++column) {
            const std::string once = import::tidyColumn(column, input);
            checkTidied(once, column, lines);
            checkTidied(import::tidyColumn(column, once), column, text::lineCount(once));
            columns[static_cast<std::size_t>(column - 1)] = std::string(input);
        }
        const auto records = import::importedRecords(columns);
        QCOMPARE(records.size(), lines);
        for (const auto& r : records) {
            for (int k = 1; k <= static_cast<int>(store::kFieldCount); ++k) {
                QVERIFY(r[static_cast<std::size_t>(k - 1)].size() <= import::columnSpec(k).width);
            }
        }
    }

    void cliRefusesInvalidUtf8_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QByteArray>("input");
        for (const QString& command : {u"tidy"_s, u"import"_s}) {
            QTest::addRow("%s, random binary", qPrintable(command)) << command << randomBytes(4096, 11);
            QTest::addRow("%s, GBK bytes", qPrintable(command))
                << command << QByteArray::fromHex("d5c5c8fd09c0eecbc40a");
            QTest::addRow("%s, overlong NUL", qPrintable(command)) << command << QByteArray("a\tb\xC0\x80\n");
            QTest::addRow("%s, surrogate", qPrintable(command)) << command << QByteArray("\xED\xA0\x80\t1\n");
            QTest::addRow("%s, cut at the end", qPrintable(command)) << command << QByteArray("\xE5\xBC\xA0\xE4\xB8");
        }
    }
    void cliRefusesInvalidUtf8()
    {
        QFETCH(QString, command);
        QFETCH(QByteArray, input);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"DHB.EDB"_s);
        QVERIFY(makeStore(path, 3));
        const auto before = snapshot(dir.path());
        const testing::CliRun r =
            testing::runCli(command == u"tidy"_s ? QStringList {command, u"3"_s} : QStringList {command, path}, input);
        QCOMPARE(r.exitCode, 2);
        QCOMPARE(r.out, QString());
        QVERIFY2(r.err.endsWith(u'\n') && r.err.count(u'\n') == 1, qPrintable(r.err));
        QCOMPARE(snapshot(dir.path()), before);
    }

    void cliTakesNulAndHugeLines_data()
    {
        QTest::addColumn<QByteArray>("utf8");
        QTest::addColumn<int>("records");
        QTest::newRow("NUL bytes in cells") << QByteArray("\xE5\xBC\xA0") + '\0' + "\xE4\xB8\x89\tunit\t" + '\0' + "a"
                                                   + '\0' + "b" + '\0' + "\t010" + '\0' + "123\n"
                                            << 1;
        // Its lone CRs end rows, as some spreadsheets end them (-1: one record a CR, and one more).
        QTest::newRow("10 MB line") << QByteArray::fromStdString(text::gbkToUtf8(hugeLineGbk().toStdString())) << -1;
        QTest::newRow("10 MB line in the third column")
            << QByteArray("\t\t") + QByteArray::fromStdString(text::gbkToUtf8(hugeLineGbk().toStdString())) + "\n"
            << -1;
    }
    void cliTakesNulAndHugeLines()
    {
        QFETCH(QByteArray, utf8);
        QFETCH(int, records);
        records = records >= 0 ? records : static_cast<int>(utf8.count('\r')) + 1;
        QTemporaryDir dir;
        const QString path = dir.filePath(u"DHB.EDB"_s);
        QVERIFY(makeStore(path, 3));

        // tidy: every column gives lines within the width, one CR LF at the end.
        for (int column = 1; column <= static_cast<int>(store::kFieldCount); ++column) {
            const testing::CliRun t = testing::runCli({u"tidy"_s, QString::number(column)}, utf8);
            QCOMPARE(t.exitCode, 0);
            QVERIFY(text::isValidUtf8(t.rawOut.toStdString()));
            checkTidied(text::utf8ToGbk(t.rawOut.toStdString()), column, text::lineCount(utf8.toStdString()));
        }

        // import: the rows are added, every field within its width, and they read back as stored.
        const testing::CliRun r = testing::runCli({u"import"_s, path}, utf8);
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out, u"%1\n"_s.arg(records));
        store::DirectoryStore s;
        QVERIFY(s.open(path));
        QCOMPARE(s.recordCount(), 3 + records);
        const auto& columns = s.columns();
        for (int n = 4; n <= s.recordCount(); ++n) {
            for (std::size_t f = 1; f <= store::kFieldCount; ++f) {
                QVERIFY(columns.field(n, f).size()
                        <= static_cast<std::size_t>(store::kFields[static_cast<std::size_t>(f - 1)].width));
            }
        }
        // What tidying made of the remark column is what the store holds, NUL bytes included.
        import::ColumnTexts texts;
        QVERIFY(import::columnsFromRows(text::parseTsv(QString::fromUtf8(utf8)), texts));
        const auto expected = import::importedRecords(import::tidyColumns(texts));
        // (Columns tidied apart drop a last row that tidying emptied; a row read whole keeps it.)
        QVERIFY(!expected.empty() && static_cast<int>(expected.size()) <= records);
        for (std::size_t f = 1; f <= store::kFieldCount; ++f) {
            const auto stored = columns.field(4, f);
            QCOMPARE(QByteArray(stored.data(), static_cast<qsizetype>(stored.size())).toHex(' '),
                     QByteArray::fromStdString(expected[0][static_cast<std::size_t>(f - 1)]).toHex(' '));
        }
    }

    void notAStore_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("command");
        for (const QString& kind : {u"random bytes"_s, u"truncated store"_s, u"another program's database"_s,
                                    u"folder"_s, u"SQLite header only"_s}) {
            for (const QString& command : {u"count"_s, u"search"_s, u"import"_s}) {
                QTest::addRow("%s, %s", qPrintable(kind), qPrintable(command)) << kind << command;
            }
        }
    }
    void notAStore()
    {
        QFETCH(QString, kind);
        QFETCH(QString, command);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"DHB.EDB"_s);
        if (kind == u"folder"_s) {
            QVERIFY(QDir(dir.path()).mkdir(u"DHB.EDB"_s));
        } else if (kind == u"random bytes"_s) {
            QVERIFY(testing::writeFile(path, randomBytes(8192, 3)));
        } else if (kind == u"truncated store"_s) {
            // A store of many records cut to its first 8 pages: the header and the schema are still there.
            QVERIFY(makeStore(path, 3000));
            QVERIFY(QFile::resize(path, 8 * 4096));
        } else if (kind == u"SQLite header only"_s) {
            QVERIFY(testing::writeFile(path, QByteArray("SQLite format 3\0", 16)));
        } else if (kind == u"another program's database"_s) {
            QVERIFY(testing::execOther(path, "CREATE TABLE notes (id INTEGER PRIMARY KEY, body TEXT);"
                                             "INSERT INTO notes (body) VALUES ('keep me');"));
        } else {
            QFAIL("no such kind of file");
        }
        const auto before = snapshot(dir.path());
        QStringList args {command, path};
        if (command == u"search"_s) {
            args << u"zs"_s;
        }
        const testing::CliRun r = testing::runCli(args, "\xE5\xBC\xA0\xE4\xB8\x89\t\xE5\x8D\x95\xE4\xBD\x8D\n");
        QCOMPARE(r.exitCode, 2);
        QVERIFY2(r.err.startsWith(u"telvane-cli: "_s) && r.err.endsWith(u'\n') && r.err.count(u'\n') == 1,
                 qPrintable(r.err));
        QVERIFY2(r.err.contains(path), qPrintable(r.err));
        QVERIFY2(r.out.isEmpty(), qPrintable(r.out));
        QCOMPARE(snapshot(dir.path()), before);
    }

    void zeroByteFile_data()
    {
        QTest::addColumn<QString>("command");
        QTest::newRow("count") << u"count"_s;
        QTest::newRow("search") << u"search"_s;
        QTest::newRow("import") << u"import"_s;
    }
    void zeroByteFile()
    {
        QFETCH(QString, command);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"DHB.EDB"_s);
        QVERIFY(testing::writeFile(path, {}));
        QStringList args {command, path};
        if (command == u"search"_s) {
            args << u"zs"_s;
        }
        const testing::CliRun r = testing::runCli(args, "\xE5\xBC\xA0\xE4\xB8\x89\t\xE5\x8D\x95\xE4\xBD\x8D\n");
        if (command == u"import"_s) {
            // A 0-byte file counts as missing: the import makes the store there and adds the row.
            QCOMPARE(r.exitCode, 0);
            QCOMPARE(r.out, u"1\n"_s);
            QCOMPARE(store::DirectoryStore::inspect(path), store::FileState::Store);
            store::DirectoryStore s;
            QVERIFY(s.open(path));
            QCOMPARE(s.recordCount(), 1);
        } else {
            // Reading commands create nothing: the file stays empty.
            QCOMPARE(r.exitCode, 2);
            QVERIFY(r.err.endsWith(u'\n') && r.err.count(u'\n') == 1);
            QCOMPARE(QFileInfo(path).size(), 0);
            QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
        }
    }
};

QTEST_GUILESS_MAIN(BadInputTest)
#include "bad_input_test.moc"
