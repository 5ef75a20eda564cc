#include "editor/tsv.h"

#include <QTest>

using namespace Qt::StringLiterals;
using telvane::editor::CellBlock;
using telvane::editor::parseTsv;
using telvane::editor::writeTsv;

class TsvTest : public QObject
{
    Q_OBJECT

private slots:
    void parse_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<CellBlock>("rows");

        QTest::newRow("empty") << QString() << CellBlock {};
        QTest::newRow("one cell") << u"张三"_s << CellBlock {{u"张三"_s}};
        QTest::newRow("crlf rows, trailing line end")
            << u"a\tb\r\nc\td\r\n"_s << CellBlock {{u"a"_s, u"b"_s}, {u"c"_s, u"d"_s}};
        QTest::newRow("lf rows, no trailing line end")
            << u"a\tb\nc\td"_s << CellBlock {{u"a"_s, u"b"_s}, {u"c"_s, u"d"_s}};
        QTest::newRow("lone cr ends a row") << u"a\rb"_s << CellBlock {{u"a"_s}, {u"b"_s}};
        QTest::newRow("empty cells kept") << u"\t\tx\t\r\n"_s << CellBlock {{u""_s, u""_s, u"x"_s, u""_s}};
        QTest::newRow("empty line is a row") << u"a\r\n\r\nb"_s << CellBlock {{u"a"_s}, {u""_s}, {u"b"_s}};
        QTest::newRow("only a line end") << u"\r\n"_s << CellBlock {{u""_s}};
        QTest::newRow("rows of different length")
            << u"a\r\nb\tc\td"_s << CellBlock {{u"a"_s}, {u"b"_s, u"c"_s, u"d"_s}};
        QTest::newRow("quoted tab and line end") << u"\"x\ty\r\nz\"\tw"_s << CellBlock {{u"x\ty\r\nz"_s, u"w"_s}};
        QTest::newRow("doubled quote") << u"\"say \"\"hi\"\"\"\tb"_s << CellBlock {{u"say \"hi\""_s, u"b"_s}};
        QTest::newRow("text after closing quote") << u"\"ab\"cd\te"_s << CellBlock {{u"abcd"_s, u"e"_s}};
        QTest::newRow("quote inside a plain cell") << u"5\"x\t\"y\""_s << CellBlock {{u"5\"x"_s, u"y"_s}};
        QTest::newRow("unclosed quote runs to the end") << u"\"a\tb\r\nc"_s << CellBlock {{u"a\tb\r\nc"_s}};
        QTest::newRow("empty quoted cell") << u"\"\"\tb"_s << CellBlock {{u""_s, u"b"_s}};
    }

    void parse()
    {
        QFETCH(QString, text);
        QFETCH(CellBlock, rows);
        QCOMPARE(parseTsv(text), rows);
    }

    void write_data()
    {
        QTest::addColumn<CellBlock>("rows");
        QTest::addColumn<QString>("text");

        QTest::newRow("block") << CellBlock {{u"张三"_s, u"1"_s}, {u""_s, u"2"_s}} << u"张三\t1\r\n\t2"_s;
        QTest::newRow("quoted when needed") << CellBlock {{u"a\tb"_s, u"say \"hi\""_s, u"l1\nl2"_s, u"x\"y"_s}}
                                            << u"\"a\tb\"\t\"say \"\"hi\"\"\"\t\"l1\nl2\"\t\"x\"\"y\""_s;
        QTest::newRow("one empty cell") << CellBlock {{u""_s}} << u""_s;
    }

    void write()
    {
        QFETCH(CellBlock, rows);
        QFETCH(QString, text);
        QCOMPARE(writeTsv(rows), text);
    }

    void roundTrip_data()
    {
        QTest::addColumn<CellBlock>("rows");
        QTest::newRow("plain") << CellBlock {{u"a"_s, u"b"_s}, {u"c"_s, u"d"_s}};
        QTest::newRow("awkward cells") << CellBlock {{u"\"lead"_s, u"tab\tin"_s}, {u"cr\rlf\n"_s, u"\"\""_s}};
        QTest::newRow("empty cells") << CellBlock {{u"x"_s, u""_s}, {u""_s, u""_s}};
    }

    void roundTrip()
    {
        QFETCH(CellBlock, rows);
        QCOMPARE(parseTsv(writeTsv(rows)), rows);
    }
};

QTEST_GUILESS_MAIN(TsvTest)
#include "tsv_test.moc"
