#include "import/bulk_import.h"
#include "import/tidy.h"
#include "text/gbk.h"

#include <QTest>

#include <string>

using namespace telvane;
using namespace telvane::import;

namespace {

// GBK bytes written as hex, spaces ignored.
QByteArray hex(const char* digits)
{
    return QByteArray::fromHex(QByteArray(digits));
}

QByteArray times(const char* digits, int n)
{
    return hex(digits).repeated(n);
}

std::string bytes(const QByteArray& a)
{
    return std::string(a.constData(), static_cast<std::size_t>(a.size()));
}

QByteArray toArray(const std::string& s)
{
    return QByteArray(s.data(), static_cast<qsizetype>(s.size()));
}

} // namespace

class TidyTest : public QObject
{
    Q_OBJECT

private slots:
    void lineRules_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QByteArray>("expected");

        // Chinese-only rule: names (10 bytes) and units (24 bytes).
        QTest::newRow("name: spaces, letters and digits go") << 1 << hex("D5C5 20 C8FD 616263 3132") << hex("D5C5C8FD");
        QTest::newRow("name: ideographic space goes") << 1 << hex("D5C5 A1A1 C8FD") << hex("D5C5C8FD");
        QTest::newRow("name: tab and control bytes go") << 1 << hex("D5C5 09 C8FD 0D") << hex("D5C5C8FD");
        QTest::newRow("name: six characters keep five")
            << 1 << hex("D2BB B6FE C8FD CBC4 CEE5 C1F9") << hex("D2BB B6FE C8FD CBC4 CEE5");
        QTest::newRow("unit: thirteen characters keep twelve") << 2 << times("D6D0", 13) << times("D6D0", 12);
        QTest::newRow("name: full-width letters and digits stay") << 1 << hex("A3C1 41 A3B1") << hex("A3C1 A3B1");
        QTest::newRow("name: GBK characters with a low second byte stay whole")
            << 1 << hex("61 8140 8140 8140 8140 8140 8140") << times("8140", 5);
        QTest::newRow("name: four-byte character that fits")
            << 1 << hex("D5C5 C8FD C0EE 95328236") << hex("D5C5 C8FD C0EE 95328236");
        QTest::newRow("name: four-byte character past the width goes whole")
            << 1 << hex("D5C5 C8FD C0EE CBC4 95328236") << hex("D5C5 C8FD C0EE CBC4");
        QTest::newRow("name: letters only") << 1 << hex("42 6F 62") << QByteArray();

        // Remark rule (32 bytes).
        QTest::newRow("remark: seventeen characters keep sixteen") << 3 << times("D6D0", 17) << times("D6D0", 16);
        QTest::newRow("remark: odd run at the cut loses its last byte")
            << 3 << hex("61") + times("D6D0", 16) << hex("61") + times("D6D0", 15);
        QTest::newRow("remark: exactly 32 bytes stay")
            << 3 << hex("6162") + times("D6D0", 15) << hex("6162") + times("D6D0", 15);
        QTest::newRow("remark: letter, digit and punctuation stay")
            << 3 << hex("D5C5 2C 61 31 2D 28 29") << hex("D5C5 2C 61 31 2D 28 29");
        QTest::newRow("remark: full width to half width, ends trimmed")
            << 3 << hex("A1A1 20 A3C1 A3B1 A1A1 D5C5 A1A1 20") << hex("41 31 20 D5C5");
        QTest::newRow("remark: only spaces") << 3 << hex("A1A1 20 A1A1") << QByteArray();
        QTest::newRow("remark: space before the cut stays")
            << 3 << times("61", 31) + hex("20 62 63") << times("61", 31) + hex("20");
        QTest::newRow("remark: four-byte character at the cut goes whole")
            << 3 << times("D6D0", 15) + hex("95328236") << times("D6D0", 15);
        QTest::newRow("remark: GBK character with low second byte at the cut goes whole")
            << 3 << hex("61") + times("D6D0", 15) + hex("8140") << hex("61") + times("D6D0", 15);
        QTest::newRow("remark: GBK character with low second byte before the cut stays")
            << 3 << hex("6162") + times("D6D0", 14) + hex("8140 8140") << hex("6162") + times("D6D0", 14) + hex("8140");

        // Phone rule: office, home, PHS 13 bytes, mobile 11.
        QTest::newRow("phone: full-width digits and hyphen")
            << 4 << hex("A3B0 A3B1 A3B0 A3AD A3B8 A3B8 A3B8 A3B8") << hex("30 31 30 2D 38 38 38 38");
        QTest::newRow("phone: 010 8888 8888 and an extension")
            << 4 << QByteArray("010 8888 8888 ") + hex("D7AA") + QByteArray("123") << QByteArray("010 8888 8888");
        QTest::newRow("phone: Chinese only") << 5 << hex("D5C5 C8FD") << QByteArray();
        QTest::newRow("phone: dropping Chinese exposes a space")
            << 4 << hex("B7D6 BBFA") + QByteArray(" 8888") << QByteArray(" 8888");
        QTest::newRow("mobile: eleven bytes") << 6 << QByteArray("139123456789999") << QByteArray("13912345678");
        QTest::newRow("mobile: ideographic spaces at the ends")
            << 6 << hex("A1A1") + QByteArray("13912345678") + hex("A1A1") << QByteArray("13912345678");
        QTest::newRow("PHS: letters and brackets stay") << 7 << QByteArray("(0571)x-12") << QByteArray("(0571)x-12");
        QTest::newRow("phone: GBK character with low second byte goes whole") << 4 << hex("8140 31 32") << hex("31 32");
        QTest::newRow("phone: four-byte character goes whole") << 4 << hex("95328236 31") << hex("31");
        QTest::newRow("phone: lone CR and LF become spaces") << 4 << hex("31 0D 32 0A") << hex("31 20 32");
        QTest::newRow("phone: a line break around Chinese is one space")
            << 4 << hex("31 0D D7AA 0A 32") << hex("31 20 20 32");
        // A number too long for its field loses its separators and country code rather than digits.
        QTest::newRow("mobile: hyphens go") << 6 << QByteArray("139-1234-5678") << QByteArray("13912345678");
        QTest::newRow("mobile: spaces go") << 6 << QByteArray("139 1234 5678") << QByteArray("13912345678");
        QTest::newRow("mobile: +86 goes") << 6 << QByteArray("+8613912345678") << QByteArray("13912345678");
        QTest::newRow("mobile: 0086 and brackets go")
            << 6 << QByteArray("(0086) 139.1234.5678") << QByteArray("13912345678");
        QTest::newRow("office: +86 kept when the rest fits")
            << 4 << QByteArray("+86 10 6234 5678") << QByteArray("+861062345678");
        QTest::newRow("office: landline gets its trunk 0")
            << 4 << QByteArray("+86 (755) 2345 6789") << QByteArray("075523456789");
        QTest::newRow("office: +86 (0) as phones write it")
            << 4 << QByteArray("+86 (0)10 6275 1234") << QByteArray("01062751234");
        QTest::newRow("office: a fitting number keeps its separators")
            << 4 << QByteArray("010-6234-5678") << QByteArray("010-6234-5678");
        QTest::newRow("mobile: still too long is cut as it stands")
            << 6 << QByteArray("139 1234 5678 9") << QByteArray("139 1234 56");
        QTest::newRow("remark: a tab and a run of line breaks become spaces")
            << 3 << QByteArray("3\xba\xc5\xc2\xa5\n\r2\t1") << QByteArray("3\xba\xc5\xc2\xa5 2 1");
    }

    void lineRules()
    {
        QFETCH(int, column);
        QFETCH(QByteArray, line);
        QFETCH(QByteArray, expected);
        const ColumnSpec spec = columnSpec(column);
        QCOMPARE(toArray(tidyLine(bytes(line), spec.rule, spec.width)), expected);
        // Tidying a column of that one line gives the line and one CR LF, or one empty line.
        QCOMPARE(toArray(tidyColumn(column, bytes(line))), expected + hex("0D0A"));
    }

    void columns_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("expected");

        QTest::newRow("empty column is one empty line") << 1 << QByteArray() << hex("0D0A");
        QTest::newRow("a lone CR LF is one empty line") << 3 << hex("0D0A") << hex("0D0A");
        QTest::newRow("trailing empty lines go") << 1 << hex("D5C5 C8FD 0D0A 0D0A 0D0A") << hex("D5C5C8FD 0D0A");
        QTest::newRow("final line without break gets one") << 3 << QByteArray("a\r\nb") << QByteArray("a\r\nb\r\n");
        QTest::newRow("empty line in the middle stays")
            << 3 << QByteArray("a\r\n\r\nb") << QByteArray("a\r\n\r\nb\r\n");
        QTest::newRow("letter lines at the end go, in the middle stay empty")
            << 1 << hex("D5C5C8FD 0D0A 616263 0D0A C0EECBC4 0D0A 646566 0D0A 67")
            << hex("D5C5C8FD 0D0A 0D0A C0EECBC4 0D0A");
        QTest::newRow("lone LF at the end of the last line is no line of its own")
            << 3 << QByteArray("ab\r\ncd\n") << QByteArray("ab\r\ncd\r\n");
        QTest::newRow("lone LF in a phone line") << 4 << QByteArray("123\n") << QByteArray("123\r\n");
        QTest::newRow("CR before a line break is no line of its own")
            << 3 << QByteArray("a\r\r\nb") << QByteArray("a\r\nb\r\n");
        QTest::newRow("column of spaces") << 5 << QByteArray("  \r\n \r\n") << hex("0D0A");
        QTest::newRow("phones with Chinese only become empty rows")
            << 6 << hex("D5C5 0D0A 3133 0D0A D5C5") << hex("0D0A 3133 0D0A");
    }

    void columns()
    {
        QFETCH(int, column);
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, expected);
        QCOMPARE(toArray(tidyColumn(column, bytes(text))), expected);
    }

    void tidyingTwice_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("twice");

        QTest::newRow("space exposed by dropping Chinese")
            << 4 << hex("B7D6 BBFA") + QByteArray(" 8888") << QByteArray("8888\r\n");
        QTest::newRow("space before the remark cut")
            << 3 << times("61", 31) + QByteArray(" bc\r\nx") << times("61", 31) + QByteArray("\r\nx\r\n");
        QTest::newRow("line left with spaces only at the end is dropped")
            << 4 << QByteArray("1\r\n") + hex("D7AA") + QByteArray(" ") + hex("D7AA") << QByteArray("1\r\n");
        QTest::newRow("CR, Chinese, LF in a phone line")
            << 7 << hex("31 0D D7AA 0A 32 0D0A 33") << hex("31 20 20 32 0D0A 33 0D0A");
        QTest::newRow("names unchanged") << 1 << hex("D5C5 20 C8FD 0D0A 0D0A C0EE")
                                         << hex("D5C5C8FD 0D0A 0D0A C0EE 0D0A");
    }

    void tidyingTwice()
    {
        QFETCH(int, column);
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, twice);
        const std::string once = tidyColumn(column, bytes(text));
        const std::string again = tidyColumn(column, once);
        QCOMPARE(toArray(again), twice);
        QVERIFY(text::lineCount(again) <= text::lineCount(once));
        QCOMPARE(tidyColumn(column, again), again);
    }

    void largestLineCount_data()
    {
        QTest::addColumn<QByteArrayList>("texts");
        QTest::addColumn<int>("expected");
        QTest::newRow("all empty") << QByteArrayList {"", "", "", "", "", "", ""} << 0;
        QTest::newRow("one box with a break") << QByteArrayList {"", "", "\r\n", "", "", "", ""} << 1;
        QTest::newRow("largest wins") << QByteArrayList {"a", "a\r\nb\r\n", "a\r\n\r\nc", "", "", "", "x\ny"} << 3;
    }

    void largestLineCount()
    {
        QFETCH(QByteArrayList, texts);
        QFETCH(int, expected);
        std::vector<std::string> strings;
        for (const QByteArray& t : texts) {
            strings.push_back(bytes(t));
        }
        QCOMPARE(import::largestLineCount(strings), static_cast<std::size_t>(expected));
    }

    void recordsFromColumnsOfDifferentLengths()
    {
        ColumnTexts columns;
        std::string names;
        std::string phones;
        for (int i = 0; i < 10; ++i) {
            names += text::utf8ToGbk("张三") + std::string(1, static_cast<char>('a' + i)) + "\r\n";
        }
        for (int i = 0; i < 8; ++i) {
            phones += "1390000000" + std::to_string(i) + "\r\n";
        }
        columns[0] = tidyColumn(1, names);
        columns[5] = tidyColumn(6, phones);
        columns[2] = tidyColumn(3, std::string("\r\n \r\nremark"));
        for (int k : {2, 4, 5, 7}) {
            columns[static_cast<std::size_t>(k - 1)] = tidyColumn(k, std::string());
        }
        const std::vector<store::Record> records = importedRecords(columns);
        QCOMPARE(records.size(), std::size_t(10));
        for (std::size_t r = 0; r < 10; ++r) {
            QCOMPARE(records[r][0], text::utf8ToGbk("张三"));
            QCOMPARE(records[r][5], r < 8 ? "1390000000" + std::to_string(r) : std::string());
            QCOMPARE(records[r][2], r == 2 ? std::string("remark") : std::string());
            QCOMPARE(records[r][1], std::string());
        }
    }

    void secondTidyingRemovesExposedSpaces()
    {
        // What the boxes show after the first tidying still has a space the second tidying takes away.
        ColumnTexts columns;
        columns[3] = tidyColumn(4, bytes(hex("B7D6 BBFA") + " 8888"));
        QCOMPARE(columns[3], std::string(" 8888\r\n"));
        const std::vector<store::Record> records = importedRecords(columns);
        QCOMPARE(records.size(), std::size_t(1));
        QCOMPARE(records[0][3], std::string("8888"));
    }

    void windowAndCommandLineStoreTheSameForMalformedBytes()
    {
        // Bytes that are not GB18030 (a file read as GBK that is not) shift the character boundaries of a unit at
        // each pass: 导入数据 after 整理数据 tidies once more than telvane-cli import, and both must store the same.
        const QByteArray unit = hex("31A437 20 8431A437 62 0C 0A 2020 B1B1 8431A437 8431A437 DCFB 8431A437 8431A437 "
                                    "8431A437 8431A437 20 8431A437");
        ColumnTexts columns;
        columns[1] = bytes(unit);
        const std::vector<store::Record> window = importedRecords(tidyColumns(columns));
        RowCells cells;
        cells[1] = columns[1];
        const store::Record once = tidyRow(cells);
        QCOMPARE(window.size(), std::size_t(1));
        QCOMPARE(toArray(window[0][1]), toArray(once[1]));
        RowCells again;
        again[1] = once[1];
        QCOMPARE(toArray(tidyRow(again)[1]), toArray(once[1]));
    }

    void emptyTidiedWindowGivesOneEmptyRecord()
    {
        ColumnTexts columns;
        columns[0] = "Bob\r\n";
        columns = tidyColumns(columns);
        for (const std::string& c : columns) {
            QCOMPARE(c, std::string("\r\n"));
        }
        const std::vector<store::Record> records = importedRecords(columns);
        QCOMPARE(records.size(), std::size_t(1));
        QCOMPARE(records[0], store::Record {});
    }

    void nothingToImport() { QVERIFY(importedRecords(ColumnTexts {}).empty()); }

    void columnsFromTsvRows()
    {
        telvane::text::TsvRows rows {
            {QStringLiteral("张三"), QString(), QStringLiteral("a\r\nb"), QStringLiteral("010")},
            {QStringLiteral("李四"), QStringLiteral("单位"), QString(), QString(), QString(), QString(),
             QStringLiteral("5"), QString(), QString()}};
        ColumnTexts columns;
        QString error;
        QVERIFY2(columnsFromRows(rows, columns, &error), qPrintable(error));
        QCOMPARE(columns[0], text::utf8ToGbk("张三\r\n李四"));
        QCOMPARE(columns[1], text::utf8ToGbk("\r\n单位"));
        QCOMPARE(columns[2], std::string("a b\r\n")); // the cell's own break does not split its row
        QCOMPARE(columns[3], std::string("010\r\n"));
        QCOMPARE(columns[6], std::string("\r\n5"));
        const std::vector<store::Record> records = importedRecords(tidyColumns(columns));
        QCOMPARE(records.size(), std::size_t(2));
        QCOMPARE(records[0][2], std::string("a b"));
        QCOMPARE(records[1][6], std::string("5"));

        rows.append(QStringList {QStringLiteral("王五"), {}, {}, {}, {}, {}, {}, QStringLiteral("extra")});
        QVERIFY(!columnsFromRows(rows, columns, &error));
        QVERIFY(error.contains(QLatin1String("3")));
    }
};

QTEST_GUILESS_MAIN(TidyTest)
#include "tidy_test.moc"
