#include "widgets/fonts.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QGlyphRun>
#include <QLabel>
#include <QRawFont>
#include <QTextLayout>
#include <QtTest>

using namespace Qt::StringLiterals;
using namespace telvane::widgets;

class FontsTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void substitutesRegistered_data();
    void substitutesRegistered();
    void songtiRequest_data();
    void songtiRequest();
    void songtiResolvesToChineseFace();
    void missingCharactersFromNoto();
};

void FontsTest::initTestCase()
{
    installFontSubstitutes();
    installFontSubstitutes(); // twice does not duplicate
}

void FontsTest::substitutesRegistered_data()
{
    QTest::addColumn<QString>("family");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("宋体")
        << u"宋体"_s
        << QStringList {u"SimSun"_s,           u"NSimSun"_s,           u"AR PL UMing CN"_s,     u"Noto Serif CJK SC"_s,
                        u"Noto Sans CJK SC"_s, u"WenQuanYi Zen Hei"_s, u"WenQuanYi Micro Hei"_s};
    QTest::newRow("SimSun") << u"SimSun"_s
                            << QStringList {u"NSimSun"_s,          u"AR PL UMing CN"_s,    u"Noto Serif CJK SC"_s,
                                            u"Noto Sans CJK SC"_s, u"WenQuanYi Zen Hei"_s, u"WenQuanYi Micro Hei"_s};
}

void FontsTest::substitutesRegistered()
{
    QFETCH(QString, family);
    QFETCH(QStringList, expected);
    // Qt keeps family names in lower case; fontconfig matches them without regard to case.
    QStringList lowered;
    for (const QString& name : expected) {
        lowered.append(name.toLower());
    }
    QCOMPARE(QFont::substitutes(family), lowered);
}

void FontsTest::songtiRequest_data()
{
    QTest::addColumn<int>("pixels");
    QTest::newRow("labels") << 12;
    QTest::newRow("red caption") << 14;
    QTest::newRow("edit boxes") << 16;
}

void FontsTest::songtiRequest()
{
    QFETCH(int, pixels);
    const QFont font = songti(pixels);
    QCOMPARE(font.family(), u"宋体"_s);
    QCOMPARE(font.pixelSize(), pixels);
    QCOMPARE(font.weight(), QFont::Normal);
    QVERIFY(!font.italic());
    QVERIFY(!font.underline());
    QLabel label;
    label.setFont(font);
    QCOMPARE(label.font().family(), u"宋体"_s);
}

// Where one of the stand-in faces is installed, a 宋体 request lands on it rather than on a Latin-only face.
void FontsTest::songtiResolvesToChineseFace()
{
    const QStringList installed = QFontDatabase::families();
    QStringList candidates = QFont::substitutes(u"宋体"_s);
    candidates.erase(std::remove_if(candidates.begin(), candidates.end(),
                                    [&](const QString& f) { return !installed.contains(f, Qt::CaseInsensitive); }),
                     candidates.end());
    if (candidates.isEmpty()) {
        QSKIP("no Chinese face installed (fonts-noto-cjk)");
    }
    QCOMPARE(QFontInfo(songti(16)).family().toLower(), candidates.first().toLower());
}

// A GBK character the stand-in lacks (刏, not in AR PL UMing CN) is still drawn, from a Noto CJK face.
void FontsTest::missingCharactersFromNoto()
{
    const QString character = u"刏"_s;
    const QFont font = songti(16);
    if (QRawFont::fromFont(font).supportsCharacter(character[0])) {
        QSKIP("the face standing in for 宋体 has the character itself");
    }
    QTextLayout layout(character, font);
    layout.beginLayout();
    layout.createLine();
    layout.endLayout();
    const QList<QGlyphRun> runs = layout.glyphRuns();
    QCOMPARE(runs.size(), 1);
    QVERIFY2(runs[0].rawFont().familyName().startsWith(u"Noto"_s, Qt::CaseInsensitive),
             qPrintable(runs[0].rawFont().familyName()));
    QVERIFY(runs[0].rawFont().supportsCharacter(character[0]));
}

QTEST_MAIN(FontsTest)
#include "fonts_test.moc"
