#include "text/tsv.h"

#include <QTest>

using namespace telvane::text;
using namespace Qt::StringLiterals;

class TsvTest : public QObject
{
    Q_OBJECT

private slots:
    void parse_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<TsvRows>("rows");

        QTest::newRow("empty") << QString() << TsvRows {};
        QTest::newRow("only a byte-order mark") << u"\uFEFF"_s << TsvRows {};
        QTest::newRow("one line break is one empty row") << u"\n"_s << TsvRows {{QString()}};
        QTest::newRow("LF rows, final break adds no row")
            << u"a\tb\nc\td\n"_s << TsvRows {{u"a"_s, u"b"_s}, {u"c"_s, u"d"_s}};
        QTest::newRow("CR LF rows, no final break") << u"a\tb\r\nc"_s << TsvRows {{u"a"_s, u"b"_s}, {u"c"_s}};
        QTest::newRow("byte-order mark skipped") << u"\uFEFF张三\t1"_s << TsvRows {{u"张三"_s, u"1"_s}};
        QTest::newRow("empty cells and a trailing tab")
            << u"\t\tx\t\n"_s << TsvRows {{QString(), QString(), u"x"_s, QString()}};
        QTest::newRow("empty row in the middle") << u"a\n\nb"_s << TsvRows {{u"a"_s}, {QString()}, {u"b"_s}};
        QTest::newRow("lone CR ends a row") << u"a\rb\tc"_s << TsvRows {{u"a"_s}, {u"b"_s, u"c"_s}};
        QTest::newRow("quoted cell with tab, line breaks and quotes")
            << u"\"a\tb\r\nc\"\"d\"\"\"\te\n"_s << TsvRows {{u"a\tb\r\nc\"d\""_s, u"e"_s}};
        QTest::newRow("text after the closing quote is kept") << u"\"ab\"cd\tx"_s << TsvRows {{u"abcd"_s, u"x"_s}};
        QTest::newRow("quote inside an unquoted cell is literal") << u"5\"\t3\"x"_s << TsvRows {{u"5\""_s, u"3\"x"_s}};
        QTest::newRow("unclosed quote is an ordinary character")
            << u"\"abc\tx\ny"_s << TsvRows {{u"\"abc"_s, u"x"_s}, {u"y"_s}};
        QTest::newRow("empty quoted cell") << u"\"\"\t1"_s << TsvRows {{QString(), u"1"_s}};
    }

    void parse()
    {
        QFETCH(QString, text);
        QFETCH(TsvRows, rows);
        QCOMPARE(parseTsv(text), rows);
    }

    void readInPieces_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("rows with CR LF") << u"张三\t单位\r\n李四\t\r\n\r\n王五"_s;
        QTest::newRow("quoted cells with line breaks") << u"\"一\r\n二\"\tx\n\"a\"\"b\"\n\"\"\n"_s;
        QTest::newRow("byte-order mark, lone CR") << u"\uFEFFa\rb\tc\r\n\uFEFFd"_s;
        QTest::newRow("quote never closed") << u"a\n\"b\tc\nd\n"_s;
        QTest::newRow("byte-order mark before a quoted cell") << u"\uFEFF\"a\nb\"\tc\nd\n"_s;
        QTest::newRow("text after a closing quote") << u"\"x\"y\"z\tw\n"_s;
    }
    void readInPieces()
    {
        // Every way of cutting the text in two, and one character at a time, gives what reading it at once gives.
        QFETCH(QString, text);
        const TsvRows whole = parseTsv(text);
        for (qsizetype cut = 0; cut <= text.size(); ++cut) {
            TsvReader reader;
            reader.feed(QStringView(text).left(cut));
            TsvRows rows = reader.takeRows();
            reader.feed(QStringView(text).mid(cut));
            rows += reader.takeRows();
            rows += reader.finish();
            QCOMPARE(rows, whole);
        }
        TsvReader reader;
        TsvRows rows;
        for (const QChar c : text) {
            reader.feed(QStringView(&c, 1));
            rows += reader.takeRows();
        }
        rows += reader.finish();
        QCOMPARE(rows, whole);
    }

    void roundTrip_data()
    {
        QTest::addColumn<TsvRows>("rows");
        QTest::newRow("plain") << TsvRows {{u"张三"_s, u"单位"_s, QString(), u"010 8888"_s}};
        QTest::newRow("every special character")
            << TsvRows {{u"\"quoted\""_s, u"tab\there"_s, u"cr\rlf\ncrlf\r\n"_s, u"\""_s, QString()}, {u"x"_s}};
        // The reader skips a byte-order mark at the start of the text; a first cell that begins with one keeps it.
        QTest::newRow("first cell begins with a byte-order mark") << TsvRows {{u"\uFEFFa"_s, u"b"_s}};
        QTest::newRow("seven empty fields")
            << TsvRows {{QString(), QString(), QString(), QString(), QString(), QString(), QString()}};
        // A one-column block whose last cell is empty keeps its last row.
        QTest::newRow("empty last row") << TsvRows {{u"x"_s}, {QString()}};
    }

    void roundTrip()
    {
        QFETCH(TsvRows, rows);
        const QString text = writeTsv(rows);
        QVERIFY(text.endsWith(u'\n'));
        QCOMPARE(text.count(u'\n') - QStringView(text).left(text.size() - 1).count(u'\n'), 1);
        QCOMPARE(parseTsv(text), rows);
        // The clipboard form ends every row in CR LF and reads back the same.
        QCOMPARE(parseTsv(writeTsv(rows, u"\r\n")), rows);
    }

    void quoting()
    {
        QCOMPARE(writeTsvRow({u"a"_s, u"b\"c"_s, u"d\te"_s, QString()}), u"a\t\"b\"\"c\"\t\"d\te\"\t"_s);
        QCOMPARE(writeTsvRow({u"\uFEFFa"_s, u"b\uFEFF"_s}), u"\"\uFEFFa\"\tb\uFEFF"_s);
    }
};

QTEST_GUILESS_MAIN(TsvTest)
#include "tsv_test.moc"
