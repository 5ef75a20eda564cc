#include "query/phonetic.h"
#include "query/pinyin.h"
#include "text/gbk.h"

#include <QTest>

#include <algorithm>

using namespace telvane;
using namespace Qt::StringLiterals;

namespace {

QString codesOf(std::string_view gbkChar)
{
    QStringList list;
    for (const auto code : query::pinyinCodes(gbkChar)) {
        list << QString::fromLatin1(code.data(), static_cast<qsizetype>(code.size()));
    }
    return list.join(QLatin1Char(' '));
}

} // namespace

class PinyinTest : public QObject
{
    Q_OBJECT

private slots:
    void codes_data();
    void codes();
    void fullWidthLetters_data();
    void fullWidthLetters();
    void table();
    void syllables_data();
    void syllables();
    void surnames_data();
    void surnames();
    void phonetic_data();
    void phonetic();
    void compare_data();
    void compare();
    void compareRaw_data();
    void compareRaw();
};

void PinyinTest::codes_data()
{
    QTest::addColumn<QString>("character");
    QTest::addColumn<QString>("expected");
    const char* rows[][2] = {
        // surnames with several readings
        {"单", "c d s"},
        {"曾", "c z"},
        {"解", "j x"},
        {"区", "ou q"},
        {"查", "c z"},
        {"仇", "c q"},
        {"朴", "p"},
        {"盖", "g"},
        {"覃", "q t"},
        {"尉", "w y"},
        {"乐", "l y"},
        {"缪", "m"},
        {"重", "c z"},
        {"长", "c z"},
        {"行", "h x"},
        // readings of names added to the Unihan data; traditional forms keep their surname readings
        {"晟", "c s"},
        {"谌", "c s"},
        {"么", "m y"},
        {"區", "ou q"},
        {"單", "c d s"},
        {"萬", "m w"},
        {"長", "c z"},
        // archaic readings of other dictionaries stay out
        {"广", "g"},
        {"冯", "f"},
        {"谷", "g"},
        {"陶", "t"},
        // one reading, where another table would add a rare one
        {"能", "n"},
        {"王", "w"},
        {"张", "z"},
        {"三", "s"},
        {"李", "l"},
        {"田", "t"},
        {"芳", "f"},
        {"北", "b"},
        {"京", "j"},
        // zh ch sh give one letter; y and w are consonants
        {"中", "z"},
        {"成", "c"},
        {"上", "s"},
        {"杨", "y"},
        {"吴", "w"},
        // syllables without an initial are whole
        {"二", "er"},
        {"安", "an"},
        {"昂", "ang"},
        {"爱", "ai"},
        {"欧", "ou"},
        {"恩", "en"},
        {"额", "e"},
        {"哦", "e o"},
        {"阿", "a e"},
        {"鞥", "eng"},
        {"〇", "l"},
        // compatibility ideograph in GBK's FD/FE rows reads as its canonical form
        {"\xEF\xA8\x8C", "w"},
        // FE51 is U+20087 in the GB18030 the program converts with (a private-use point in older tables)
        {"\xF0\xA0\x82\x87", "z"},
        // symbols and full-width digits have no code
        {"，", ""},
        {"０", ""},
        {"α", ""},
    };
    for (const auto& row : rows) {
        QTest::newRow(row[0]) << QString::fromUtf8(row[0]) << QString::fromLatin1(row[1]);
    }
}

void PinyinTest::codes()
{
    QFETCH(QString, character);
    QFETCH(QString, expected);
    const std::string bytes = text::toGbk(character);
    QCOMPARE(bytes.size(), std::size_t {2});
    QCOMPARE(codesOf(bytes), expected);
}

void PinyinTest::fullWidthLetters_data()
{
    QTest::addColumn<int>("lead");
    QTest::addColumn<int>("trail");
    QTest::addColumn<QString>("expected");
    QTest::newRow("A3C1 Ａ") << 0xA3 << 0xC1 << u"a"_qs;
    QTest::newRow("A3DA Ｚ") << 0xA3 << 0xDA << u"z"_qs;
    QTest::newRow("A3E1 ａ") << 0xA3 << 0xE1 << u"a"_qs;
    QTest::newRow("A3FA ｚ") << 0xA3 << 0xFA << u"z"_qs;
    QTest::newRow("A3C0 ＠") << 0xA3 << 0xC0 << QString();
    QTest::newRow("A3DB ［") << 0xA3 << 0xDB << QString();
    QTest::newRow("A3E0 ｀") << 0xA3 << 0xE0 << QString();
    QTest::newRow("A3FB ｛") << 0xA3 << 0xFB << QString();
}

void PinyinTest::fullWidthLetters()
{
    QFETCH(int, lead);
    QFETCH(int, trail);
    QFETCH(QString, expected);
    const std::string bytes {static_cast<char>(lead), static_cast<char>(trail)};
    QCOMPARE(codesOf(bytes), expected);
}

void PinyinTest::table()
{
    const auto& table = query::pinyinClassTable();
    // Byte pairs that are no GBK double-byte character have no class.
    for (unsigned lead = 0; lead < 256; ++lead) {
        for (unsigned trail = 0; trail < 256; ++trail) {
            const bool gbkPair = lead >= 0x81 && lead <= 0xFE && trail >= 0x40 && trail <= 0xFE && trail != 0x7F;
            if (!gbkPair) {
                QCOMPARE(table[lead * 256 + trail], std::uint8_t {0});
            }
        }
    }
    // Every class but 0 is a non-empty set of codes, each lower-case letters; each class is used.
    QVERIFY(query::pinyinClassCount() > 100);
    QVERIFY(query::pinyinClassCodes(0).empty());
    std::vector<bool> used(static_cast<std::size_t>(query::pinyinClassCount()));
    for (auto c : table) {
        used[c] = true;
    }
    for (int c = 1; c < query::pinyinClassCount(); ++c) {
        QVERIFY2(used[static_cast<std::size_t>(c)], qPrintable(QString::number(c)));
        const auto codes = query::pinyinClassCodes(c);
        QVERIFY(!codes.empty());
        for (const auto code : codes) {
            QVERIFY(!code.empty());
            QVERIFY(std::all_of(code.begin(), code.end(), [](char ch) { return ch >= 'a' && ch <= 'z'; }));
            // A consonant code is one letter; only vowel syllables are longer.
            if (code.size() > 1) {
                QVERIFY(code[0] == 'a' || code[0] == 'e' || code[0] == 'o');
            }
        }
    }
    // GB2312's level-1 characters (B0A1..D7F9) all have a code.
    for (unsigned lead = 0xB0; lead <= 0xD7; ++lead) {
        for (unsigned trail = 0xA1; trail <= 0xFE; ++trail) {
            if (lead == 0xD7 && trail > 0xF9) {
                break;
            }
            QVERIFY2(table[lead * 256 + trail] != 0, qPrintable(QString::number(lead * 256 + trail, 16)));
        }
    }
}

void PinyinTest::syllables_data()
{
    QTest::addColumn<QString>("character");
    QTest::addColumn<QString>("expected");
    const char* rows[][2] = {
        // the usual reading first, then the others
        {"单", "dan chan shan"},
        {"曾", "ceng zeng"},
        {"长", "zhang chang"},
        {"行", "xing hang heng"},
        {"张", "zhang"},
        {"王", "wang"},
        // ü is written v, as it is typed
        {"女", "nv"},
        {"吕", "lv"},
        {"略", "lve"},
        // readings of names added to the Unihan data
        {"晟", "cheng sheng"},
        {"長", "zhang chang"},
        {"〇", "ling"},
        // no reading: letters, digits, symbols
        {"Ａ", ""},
        {"０", ""},
        {"，", ""},
    };
    for (const auto& row : rows) {
        QTest::newRow(row[0]) << QString::fromUtf8(row[0]) << QString::fromLatin1(row[1]);
    }
}

void PinyinTest::syllables()
{
    QFETCH(QString, character);
    QFETCH(QString, expected);
    QStringList list;
    for (const auto s : query::pinyinSyllables(text::toGbk(character))) {
        list << QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size()));
    }
    QCOMPARE(list.join(QLatin1Char(' ')), expected);
    // The codes are those of the syllables: the first letter, or the whole syllable when it starts with a vowel.
    if (!expected.isEmpty()) {
        QStringList codes;
        for (const QString& s : list) {
            const QString code = QStringLiteral("aeo").contains(s[0]) ? s : s.left(1);
            if (!codes.contains(code)) {
                codes << code;
            }
        }
        codes.sort();
        QCOMPARE(codesOf(text::toGbk(character)), codes.join(QLatin1Char(' ')));
    }
}

void PinyinTest::surnames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("expected");
    QTest::newRow("曾国藩") << u"曾国藩"_qs << u"zeng"_qs;
    QTest::newRow("单田芳") << u"单田芳"_qs << u"shan"_qs;
    QTest::newRow("区") << u"区"_qs << u"ou"_qs;
    QTest::newRow("解缙") << u"解缙"_qs << u"xie"_qs;
    QTest::newRow("朴") << u"朴"_qs << u"piao"_qs;
    QTest::newRow("查良镛") << u"查良镛"_qs << u"zha"_qs;
    QTest::newRow("覃") << u"覃"_qs << u"qin"_qs;
    QTest::newRow("區: traditional") << u"區"_qs << u"ou"_qs;
    QTest::newRow("尉: Wei alone") << u"尉缭"_qs << u"wei"_qs;
    QTest::newRow("尉迟恭") << u"尉迟恭"_qs << u"yu"_qs;
    QTest::newRow("万俟") << u"万俟卨"_qs << u"mo"_qs;
    QTest::newRow("单于") << u"单于"_qs << u"chan"_qs;
    QTest::newRow("长孙无忌") << u"长孙无忌"_qs << u"zhang"_qs;
    QTest::newRow("王: as usual") << u"王五"_qs << u"wang"_qs;
    QTest::newRow("吕: as usual") << u"吕布"_qs << u"lv"_qs;
    QTest::newRow("no reading") << u"Ａ"_qs << QString();
}

void PinyinTest::surnames()
{
    QFETCH(QString, name);
    QFETCH(QString, expected);
    const std::string gbk = text::toGbk(name);
    const std::string_view first = std::string_view(gbk).substr(0, 2);
    const std::string_view next = gbk.size() >= 4 ? std::string_view(gbk).substr(2, 2) : std::string_view();
    const auto got = query::pinyinSurname(first, next);
    QCOMPARE(QString::fromLatin1(got.data(), static_cast<qsizetype>(got.size())), expected);
}

void PinyinTest::compare_data()
{
    QTest::addColumn<QString>("letters");
    QTest::addColumn<QString>("candidate");
    QTest::addColumn<bool>("foldCase");
    QTest::addColumn<int>("expected");
    QTest::newRow("zs 张三") << u"zs"_qs << u"张三"_qs << false << 1;
    QTest::newRow("z 张三: whole candidate") << u"z"_qs << u"张三"_qs << false << 0;
    QTest::newRow("zsl 张三: too many letters") << u"zsl"_qs << u"张三"_qs << false << 0;
    QTest::newRow("sz 张三: order") << u"sz"_qs << u"张三"_qs << false << 0;
    QTest::newRow("stf 单田芳") << u"stf"_qs << u"单田芳"_qs << false << 1;
    QTest::newRow("dtf 单田芳") << u"dtf"_qs << u"单田芳"_qs << false << 1;
    QTest::newRow("zgf 曾国藩") << u"zgf"_qs << u"曾国藩"_qs << false << 1;
    QTest::newRow("cgf 曾国藩") << u"cgf"_qs << u"曾国藩"_qs << false << 1;
    QTest::newRow("xj 解决") << u"xj"_qs << u"解决"_qs << false << 1;
    QTest::newRow("jj 解决") << u"jj"_qs << u"解决"_qs << false << 1;
    QTest::newRow("ouy 区阳") << u"ouy"_qs << u"区阳"_qs << false << 1;
    QTest::newRow("qy 区阳") << u"qy"_qs << u"区阳"_qs << false << 1;
    QTest::newRow("oy 区阳: o is no code of 区") << u"oy"_qs << u"区阳"_qs << false << 0;
    QTest::newRow("ny 能源") << u"ny"_qs << u"能源"_qs << false << 1;
    QTest::newRow("ty 能源: 能 has no t") << u"ty"_qs << u"能源"_qs << false << 0;
    QTest::newRow("yz 王子: 王 has no y") << u"yz"_qs << u"王子"_qs << false << 0;
    QTest::newRow("gsr 盖晟睿") << u"gsr"_qs << u"盖晟睿"_qs << false << 1;
    QTest::newRow("gcr 盖晟睿") << u"gcr"_qs << u"盖晟睿"_qs << false << 1;
    QTest::newRow("sl 谌龙") << u"sl"_qs << u"谌龙"_qs << false << 1;
    QTest::newRow("cl 谌龙") << u"cl"_qs << u"谌龙"_qs << false << 1;
    QTest::newRow("mq 萬俟") << u"mq"_qs << u"萬俟"_qs << false << 1;
    QTest::newRow("ccq 陳長青") << u"ccq"_qs << u"陳長青"_qs << false << 1;
    QTest::newRow("gz 广州") << u"gz"_qs << u"广州"_qs << false << 1;
    QTest::newRow("az 广州: 广 has no an") << u"az"_qs << u"广州"_qs << false << 0;
    QTest::newRow("pb 冯波: 冯 has no p") << u"pb"_qs << u"冯波"_qs << false << 0;
    // a vowel final is one character, or two whose codes split it
    QTest::newRow("an 安") << u"an"_qs << u"安"_qs << false << 1;
    QTest::newRow("an 阿能") << u"an"_qs << u"阿能"_qs << false << 1;
    QTest::newRow("an 安能: one letter short") << u"an"_qs << u"安能"_qs << false << 0;
    QTest::newRow("ang 昂") << u"ang"_qs << u"昂"_qs << false << 1;
    QTest::newRow("ang 安歌") << u"ang"_qs << u"安歌"_qs << false << 1;
    QTest::newRow("ang 阿能高") << u"ang"_qs << u"阿能高"_qs << false << 1;
    QTest::newRow("er 二") << u"er"_qs << u"二"_qs << false << 1;
    QTest::newRow("er 饿人") << u"er"_qs << u"饿人"_qs << false << 1;
    QTest::newRow("ai 爱") << u"ai"_qs << u"爱"_qs << false << 1;
    QTest::newRow("ai 阿姨: i is no code") << u"ai"_qs << u"阿姨"_qs << false << 0;
    QTest::newRow("erl 二〇") << u"erl"_qs << u"二〇"_qs << false << 1;
    QTest::newRow("ab 全角ＡＢ") << u"ab"_qs << u"ＡＢ"_qs << false << 1;
    // letters are taken exactly unless folding is asked for
    QTest::newRow("ZS 张三") << u"ZS"_qs << u"张三"_qs << false << 0;
    QTest::newRow("ZS 张三 folded") << u"ZS"_qs << u"张三"_qs << true << 1;
    QTest::newRow("z s 张三") << u"z s"_qs << u"张三"_qs << false << 0;
    QTest::newRow("z1 张三") << u"z1"_qs << u"张三"_qs << false << 0;
    QTest::newRow("empty letters, empty candidate") << QString() << QString() << false << 0;
    QTest::newRow("zs, empty candidate") << u"zs"_qs << QString() << false << 0;
    QTest::newRow("ab ASCII candidate") << u"ab"_qs << u"ab"_qs << false << 0;
    QTest::newRow("z 张 with a symbol") << u"zs"_qs << u"张，"_qs << false << 0;
}

void PinyinTest::compare()
{
    QFETCH(QString, letters);
    QFETCH(QString, candidate);
    QFETCH(bool, foldCase);
    QFETCH(int, expected);
    QCOMPARE(query::pinyinCompare(text::toGbk(letters), text::toGbk(candidate), foldCase, query::kPinyinInitials),
             expected);
}

void PinyinTest::compareRaw_data()
{
    QTest::addColumn<QByteArray>("letters");
    QTest::addColumn<QByteArray>("candidate");
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("expected");
    // 张 D5C5 三 C8FD
    QTest::newRow("odd length") << QByteArray("zs") << QByteArray::fromHex("d5c5c8") << 1 << 0;
    QTest::newRow("ASCII shifts the pairs") << QByteArray("zs") << QByteArray::fromHex("61d5c5c8") << 1 << 0;
    // Pairs are read where they stand: C5C8 (the tail of 张 and the head of 三) is 湃 (p).
    QTest::newRow("pair across characters") << QByteArray("p") << QByteArray::fromHex("c5c8") << 1 << 1;
    QTest::newRow("four-byte character") << QByteArray("zz") << QByteArray::fromHex("81308130") << 1 << 0;
    // 丂 8140 (trail below 0x80) reads kao
    QTest::newRow("trail below 0x80") << QByteArray("k") << QByteArray::fromHex("8140") << 1 << 1;
    QTest::newRow("unknown mode") << QByteArray("zs") << QByteArray::fromHex("d5c5c8fd") << 2 << -1;
    QTest::newRow("GBK byte in letters") << QByteArray::fromHex("d5c5") << QByteArray::fromHex("d5c5") << 1 << 0;
}

void PinyinTest::compareRaw()
{
    QFETCH(QByteArray, letters);
    QFETCH(QByteArray, candidate);
    QFETCH(int, mode);
    QFETCH(int, expected);
    QCOMPARE(query::pinyinCompare(std::string_view(letters.constData(), static_cast<std::size_t>(letters.size())),
                                  std::string_view(candidate.constData(), static_cast<std::size_t>(candidate.size())),
                                  false, mode),
             expected);
}

void PinyinTest::phonetic_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("asSurname");
    QTest::addColumn<QStringList>("syllables");
    QTest::newRow("曾 as a surname") << u"曾"_s << true << QStringList {u"zeng"_s};
    QTest::newRow("曾 in a given name") << u"曾"_s << false << QStringList {u"ceng"_s};
    QTest::newRow("单 as a surname") << u"单"_s << true << QStringList {u"shan"_s};
    QTest::newRow("单 in a given name") << u"单"_s << false << QStringList {u"dan"_s};
    QTest::newRow("compound surname read together") << u"尉迟"_s << true << QStringList {u"yu"_s, u"chi"_s};
    QTest::newRow("given name") << u"国藩"_s << false << QStringList {u"guo"_s, u"fan"_s};
    QTest::newRow("a letter has no reading") << u"张A"_s << false << QStringList {};
}

void PinyinTest::phonetic()
{
    QFETCH(QString, text);
    QFETCH(bool, asSurname);
    QTEST(query::phoneticReading(text, asSurname), "syllables");
}

QTEST_GUILESS_MAIN(PinyinTest)
#include "pinyin_test.moc"
