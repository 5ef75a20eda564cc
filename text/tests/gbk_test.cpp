#include "text/gbk.h"

#include <QTest>

#include <iconv.h>

using namespace Qt::StringLiterals;
namespace text = telvane::text;

namespace {

std::string hex(const QByteArray& h)
{
    const QByteArray b = QByteArray::fromHex(h);
    return std::string(b.constData(), static_cast<std::size_t>(b.size()));
}

QByteArray toHex(const std::string& s)
{
    return QByteArray(s.data(), static_cast<qsizetype>(s.size())).toHex(' ');
}

} // namespace

class GbkTest : public QObject
{
    Q_OBJECT

private slots:
    void everyCharacterConvertsAsIconvHasIt()
    {
        // The conversions go through tables made at the start; iconv, asked here on its own, is the judge. Every
        // character of the basic plane, every two-byte code, and texts that leave the tables.
        auto viaIconv = [](const char* to, const char* from, const std::string& in) {
            iconv_t cd = iconv_open(to, from);
            std::string out(in.size() * 4 + 8, '\0');
            char* src = const_cast<char*>(in.data());
            std::size_t srcLeft = in.size();
            char* dst = out.data();
            std::size_t dstLeft = out.size();
            const std::size_t rc = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
            iconv_close(cd);
            out.resize(out.size() - dstLeft);
            return rc == static_cast<std::size_t>(-1) ? std::string("\x01") : out;
        };
        int checked = 0;
        for (char32_t c = 0x80; c <= 0xFFFF; ++c) {
            if (c >= 0xD800 && c <= 0xDFFF) {
                continue;
            }
            const QString one(QChar(static_cast<char16_t>(c)));
            const QByteArray utf8 = one.toUtf8();
            const std::string expected = viaIconv("GB18030", "UTF-8", utf8.toStdString());
            if (expected == "\x01") {
                // A private-use character GB18030 has no code for: each of its bytes replaced, and said so.
                bool ok = true;
                std::string replaced;
                for (int k = 0; k < utf8.size(); ++k) {
                    replaced += "\x84\x31\xA4\x37";
                }
                QCOMPARE(telvane::text::utf8ToGbk(utf8.toStdString(), &ok), replaced);
                QVERIFY(!ok);
                continue;
            }
            if (telvane::text::utf8ToGbk(utf8.toStdString()) != expected || telvane::text::toGbk(one) != expected
                || telvane::text::byteLength(one) != expected.size()) {
                QFAIL(qPrintable(u"U+%1"_s.arg(static_cast<uint>(c), 4, 16, QChar(u'0'))));
            }
            ++checked;
        }
        for (unsigned lead = 0x81; lead <= 0xFE; ++lead) {
            for (unsigned trail = 0x40; trail <= 0xFE; ++trail) {
                if (trail == 0x7F) {
                    continue;
                }
                const std::string code {static_cast<char>(lead), static_cast<char>(trail)};
                const std::string expected = viaIconv("UTF-8", "GB18030", code);
                if (expected.starts_with('\x01')) {
                    continue;
                }
                if (telvane::text::gbkToUtf8(code) != expected
                    || telvane::text::fromGbk(code)
                           != QString::fromUtf8(expected.data(), static_cast<qsizetype>(expected.size()))) {
                    QFAIL(qPrintable(u"%1 %2"_s.arg(lead, 2, 16).arg(trail, 2, 16)));
                }
                ++checked;
            }
        }
        QVERIFY(checked > 60000 + 20000);
        // Texts the tables do not cover go through iconv as a whole, with the same result.
        for (const std::string& gbk :
             {std::string("\xD5\xC5\x81\x30\x81\x30x"), std::string("\x95\x32\x82\x36\xB0\xA1")}) {
            QCOMPARE(telvane::text::gbkToUtf8(gbk), viaIconv("UTF-8", "GB18030", gbk));
        }
        const std::string astral = "\xF0\xA0\x80\x80\xE5\xBC\xA0"; // 𠀀张
        QCOMPARE(telvane::text::utf8ToGbk(astral), viaIconv("GB18030", "UTF-8", astral));
    }

    void conversion_data()
    {
        QTest::addColumn<QString>("unicode");
        QTest::addColumn<QByteArray>("gbk");
        QTest::newRow("ascii") << u"ab 12"_s << QByteArray("61 62 20 31 32");
        QTest::newRow("gb2312") << u"张三"_s << QByteArray("d5 c5 c8 fd");
        QTest::newRow("full-width A") << u"Ａ"_s << QByteArray("a3 c1");
        QTest::newRow("ideographic space") << u"\u3000"_s << QByteArray("a1 a1");
        QTest::newRow("gbk outside gb2312") << u"丂"_s << QByteArray("81 40");
        QTest::newRow("four-byte") << u"\U00020000"_s << QByteArray("95 32 82 36");
        QTest::newRow("euro sign") << u"€"_s << QByteArray("a2 e3");
        QTest::newRow("leading U+FEFF is kept") << u"\uFEFFa"_s << QByteArray("84 31 95 33 61");
        // A few characters outside the basic plane have two-byte forms: a surrogate pair is not always 4 bytes.
        QTest::newRow("two-byte, outside the basic plane") << u"\U000241FE"_s << QByteArray("fe 91");
    }
    void conversion()
    {
        QFETCH(QString, unicode);
        QFETCH(QByteArray, gbk);
        const std::string bytes = text::toGbk(unicode);
        QCOMPARE(toHex(bytes), gbk);
        QCOMPARE(text::fromGbk(bytes), unicode);
        QCOMPARE(text::byteLength(QStringView(unicode)), bytes.size());
    }

    void invalidInputIsReported()
    {
        bool ok = true;
        const std::string gbk = text::utf8ToGbk("a\xFF"
                                                "b",
                                                &ok);
        QVERIFY(!ok);
        QCOMPARE(gbk.front(), 'a');
        QCOMPARE(gbk.back(), 'b');
        ok = true;
        const std::string utf8 = text::gbkToUtf8("\xD5\xC5\x80", &ok);
        QVERIFY(!ok);
        QCOMPARE(utf8, std::string("\xE5\xBC\xA0\xEF\xBF\xBD"));
        QVERIFY(text::isValidUtf8("\xE5\xBC\xA0"));
        QVERIFY(!text::isValidUtf8("\xE5\xBC"));
        QVERIFY(!text::isValidUtf8("\xED\xA0\x80")); // surrogate
        QVERIFY(!text::isValidUtf8("\xC0\x80")); // overlong NUL
    }

    void charLength_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("at");
        QTest::addColumn<int>("length");
        QTest::newRow("ascii") << QByteArray("41 42") << 0 << 1;
        QTest::newRow("double") << QByteArray("d5 c5") << 0 << 2;
        QTest::newRow("low trail byte") << QByteArray("81 40") << 0 << 2;
        QTest::newRow("four-byte") << QByteArray("95 32 82 36") << 0 << 4;
        QTest::newRow("cut lead byte") << QByteArray("41 d5") << 1 << 1;
        QTest::newRow("cut four-byte") << QByteArray("95 32 82") << 0 << 1;
        QTest::newRow("lone 0x80") << QByteArray("80 41") << 0 << 1;
        QTest::newRow("past end") << QByteArray("41") << 1 << 0;
    }
    void charLength()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, at);
        QFETCH(int, length);
        QCOMPARE(int(text::charLength(hex(bytes), static_cast<std::size_t>(at))), length);
    }

    void byteHelpers()
    {
        QCOMPARE(text::decimal(0), std::string("0"));
        QCOMPARE(text::decimal(-12), std::string("-12"));
    }

    void spaces_data()
    {
        QTest::addColumn<QByteArray>("in");
        QTest::addColumn<QByteArray>("trimmed");
        QTest::addColumn<QByteArray>("noSpaces");
        QTest::newRow("both ends") << QByteArray("20 20 41 20 42 20") << QByteArray("41 20 42") << QByteArray("41 42");
        QTest::newRow("ideographic") << QByteArray("d5 c5 a1 a1 c8 fd") << QByteArray("d5 c5 a1 a1 c8 fd")
                                     << QByteArray("d5 c5 c8 fd");
        // A1 A1 across a character boundary is not an ideographic space.
        QTest::newRow("straddling") << QByteArray("b0 a1 a1 b0") << QByteArray("b0 a1 a1 b0")
                                    << QByteArray("b0 a1 a1 b0");
        QTest::newRow("only spaces") << QByteArray("20 a1 a1 20") << QByteArray("a1 a1") << QByteArray("");
        QTest::newRow("low trail byte") << QByteArray("81 40 20") << QByteArray("81 40") << QByteArray("81 40");
    }
    void spaces()
    {
        QFETCH(QByteArray, in);
        QFETCH(QByteArray, trimmed);
        QFETCH(QByteArray, noSpaces);
        QCOMPARE(toHex(text::trimSpaces(hex(in))), trimmed);
        QCOMPARE(toHex(text::removeSpaces(hex(in))), noSpaces);
    }

    void fullWidth_data()
    {
        QTest::addColumn<QByteArray>("half");
        QTest::addColumn<QByteArray>("full");
        QTest::newRow("letters digits") << QByteArray("41 7a 30") << QByteArray("a3 c1 a3 fa a3 b0");
        QTest::newRow("punctuation range ends") << QByteArray("21 7e") << QByteArray("a3 a1 a3 fe");
        QTest::newRow("space") << QByteArray("20") << QByteArray("a1 a1");
        QTest::newRow("chinese kept") << QByteArray("d5 c5 31") << QByteArray("d5 c5 a3 b1");
        QTest::newRow("four-byte kept") << QByteArray("95 32 82 36") << QByteArray("95 32 82 36");
    }
    void fullWidth()
    {
        QFETCH(QByteArray, half);
        QFETCH(QByteArray, full);
        QCOMPARE(toHex(text::toFullWidth(hex(half))), full);
    }

    void fullWidthRespectsCharacters()
    {
        // The trail byte 0x40 of a GBK character is not an '@' to convert.
        QCOMPARE(toHex(text::toFullWidth(hex("81 40 40"))), QByteArray("81 40 a3 c0"));
    }

    void lines_data()
    {
        QTest::addColumn<QByteArray>("in");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("empty") << QByteArray() << QStringList {};
        QTest::newRow("one") << QByteArray("a") << QStringList {u"a"_s};
        QTest::newRow("one with break") << QByteArray("a\r\n") << QStringList {u"a"_s};
        QTest::newRow("two") << QByteArray("a\r\nb") << QStringList {u"a"_s, u"b"_s};
        QTest::newRow("two with break") << QByteArray("a\r\nb\r\n") << QStringList {u"a"_s, u"b"_s};
        QTest::newRow("lone break") << QByteArray("\r\n") << QStringList {u""_s};
        QTest::newRow("trailing empty") << QByteArray("a\r\n\r\n") << QStringList {u"a"_s, u""_s};
        QTest::newRow("middle empty") << QByteArray("a\r\n\r\nb") << QStringList {u"a"_s, u""_s, u"b"_s};
        QTest::newRow("lone LF") << QByteArray("a\nb\n") << QStringList {u"a\nb\n"_s};
        QTest::newRow("lone CR at end") << QByteArray("a\r") << QStringList {u"a\r"_s};
        QTest::newRow("CR CR LF") << QByteArray("a\r\r\nb") << QStringList {u"a\r"_s, u"b"_s};
    }
    void lines()
    {
        QFETCH(QByteArray, in);
        QFETCH(QStringList, lines);
        const std::string s(in.constData(), static_cast<std::size_t>(in.size()));
        QStringList got;
        for (auto l : text::splitLines(s)) {
            got << QString::fromLatin1(l.data(), static_cast<qsizetype>(l.size()));
        }
        QCOMPARE(got, lines);
        QCOMPARE(text::lineCount(s), static_cast<std::size_t>(lines.size()));
        QCOMPARE(text::lineCount(QStringView(QString::fromLatin1(in))), static_cast<std::size_t>(lines.size()));
    }

    void leftBytesNeverSplits()
    {
        QCOMPARE(text::leftBytes(u"张三李"_s, 5), u"张三"_s);
        QCOMPARE(text::leftBytes(u"ab张"_s, 3), u"ab"_s);
        QCOMPARE(text::leftBytes(u"a\U00020000"_s, 4), u"a"_s);
        QCOMPARE(text::leftBytes(u"a\U00020000"_s, 5), u"a\U00020000"_s);
    }
};

QTEST_GUILESS_MAIN(GbkTest)
#include "gbk_test.moc"
