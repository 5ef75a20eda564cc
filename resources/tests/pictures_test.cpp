#include "resources/pictures.h"

#include <QFile>
#include <QImage>
#include <QtEndian>
#include <QtTest>

using namespace Qt::StringLiterals;
using namespace telvane::resources;

class PicturesTest : public QObject
{
    Q_OBJECT

private slots:
    void resourcesLinkedIntoExecutable();
    void pictureSizes_data();
    void pictureSizes();
    void unknownNameIsNull();
    void stateSets_data();
    void stateSets();
    void programIconFileLayout();
    void programIconMaskAndColours();
    void icons();
};

// This program links only the static `resources` library: the files must still be there.
void PicturesTest::resourcesLinkedIntoExecutable()
{
    QVERIFY(QFile::exists(u":/pictures/main_background.jpg"_s));
    QVERIFY(QFile::exists(u":/pictures/program.ico"_s));
}

void PicturesTest::pictureSizes_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QSize>("size");
    QTest::newRow("main background") << u"main_background"_s << QSize(405, 210);
    QTest::newRow("help background") << u"help_background"_s << QSize(430, 300);
    for (const char* base : {"import", "help", "close"}) {
        for (const char* state : {"normal", "hover", "pressed"}) {
            const QString name = QString::fromLatin1(base) + u'_' + QString::fromLatin1(state);
            QTest::newRow(qPrintable(name)) << name << QSize(28, 28);
        }
    }
    for (const char* base : {"query", "entry", "grid", "prev", "next"}) {
        const QSize size = (qstrcmp(base, "prev") == 0 || qstrcmp(base, "next") == 0) ? QSize(45, 26) : QSize(44, 28);
        for (const char* state : {"normal", "hover", "pressed", "disabled"}) {
            const QString name = QString::fromLatin1(base) + u'_' + QString::fromLatin1(state);
            QTest::newRow(qPrintable(name)) << name << size;
        }
    }
    for (const char* state : {"normal", "highlighted", "disabled"}) {
        const QString name = u"save_"_s + QString::fromLatin1(state);
        QTest::newRow(qPrintable(name)) << name << QSize(77, 26);
    }
}

void PicturesTest::pictureSizes()
{
    QFETCH(QString, name);
    QFETCH(QSize, size);
    const QPixmap pixmap = picture(name);
    QVERIFY2(!pixmap.isNull(), qPrintable(name));
    QCOMPARE(pixmap.size(), size);
    // Button and background pictures are JPEG files.
    QFile file(u":/pictures/"_s + name + u".jpg"_s);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.read(3), QByteArray("\xFF\xD8\xFF", 3));
}

void PicturesTest::unknownNameIsNull()
{
    QVERIFY(picture(u"no_such_picture").isNull());
    QVERIFY(picture(u"").isNull());
}

void PicturesTest::stateSets_data()
{
    QTest::addColumn<QString>("base");
    QTest::addColumn<int>("count");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("close, 3") << u"close"_s << 3
                              << QStringList {u"close_normal"_s, u"close_hover"_s, u"close_pressed"_s};
    QTest::newRow("query, 4") << u"query"_s << 4
                              << QStringList {u"query_normal"_s, u"query_hover"_s, u"query_pressed"_s,
                                              u"query_disabled"_s};
    QTest::newRow("save, 3") << u"save"_s << 3
                             << QStringList {u"save_normal"_s, u"save_highlighted"_s, u"save_disabled"_s};
}

void PicturesTest::stateSets()
{
    QFETCH(QString, base);
    QFETCH(int, count);
    QFETCH(QStringList, expected);
    const QList<QPixmap> states = pictureStates(base, count);
    QCOMPARE(states.size(), expected.size());
    for (qsizetype i = 0; i < states.size(); ++i) {
        QVERIFY2(!states[i].isNull(), qPrintable(expected[i]));
        QCOMPARE(states[i].toImage(), picture(expected[i]).toImage());
    }
    // Every state looks different from the normal one, or the user sees no reaction.
    for (qsizetype i = 1; i < states.size(); ++i) {
        QVERIFY2(states[i].toImage() != states[0].toImage(), qPrintable(expected[i]));
    }
}

// The Program icon is a 3,262-byte ICO: one 32 x 32 image, 24-bit colour plus a 1-bit mask.
void PicturesTest::programIconFileLayout()
{
    QFile file(u":/pictures/program.ico"_s);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray ico = file.readAll();
    QCOMPARE(ico.size(), 3262);
    const auto u16 = [&](int at) { return qFromLittleEndian<quint16>(ico.constData() + at); };
    const auto u32 = [&](int at) { return qFromLittleEndian<quint32>(ico.constData() + at); };
    QCOMPARE(u16(0), quint16(0));
    QCOMPARE(u16(2), quint16(1)); // icon
    QCOMPARE(u16(4), quint16(1)); // one image
    QCOMPARE(quint8(ico[6]), quint8(32));
    QCOMPARE(quint8(ico[7]), quint8(32));
    QCOMPARE(u16(12), quint16(24));
    QCOMPARE(u32(14), quint32(3240));
    QCOMPARE(u32(18), quint32(22));
    QCOMPARE(u32(22), quint32(40));
    QCOMPARE(u32(26), quint32(32));
    QCOMPARE(u32(30), quint32(64)); // colour rows and mask rows
    QCOMPARE(u16(36), quint16(24));
    QCOMPARE(u32(38), quint32(0));
}

void PicturesTest::programIconMaskAndColours()
{
    const QImage image = programIcon().pixmap(32, 32).toImage().convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(image.size(), QSize(32, 32));
    // The corners are masked out; the middle of the screen and the person are drawn.
    QCOMPARE(qAlpha(image.pixel(0, 31)), 0);
    QCOMPARE(qAlpha(image.pixel(31, 0)), 0);
    QCOMPARE(qAlpha(image.pixel(16, 18)), 255);
    const QRgb screen = image.pixel(8, 6);
    QCOMPARE(qAlpha(screen), 255);
    QVERIFY2(qBlue(screen) > qRed(screen) + 60, "the screen is blue");
}

void PicturesTest::icons()
{
    QVERIFY(!programIcon().isNull());
    QCOMPARE(programIcon().availableSizes(), QList<QSize> {QSize(32, 32)});
    QVERIFY(!appIcon().isNull());
    QList<QSize> appSizes = appIcon().availableSizes();
    std::sort(appSizes.begin(), appSizes.end(), [](QSize a, QSize b) { return a.width() < b.width(); });
    QCOMPARE(appSizes, (QList<QSize> {QSize(16, 16), QSize(32, 32), QSize(48, 48)}));
    QVERIFY(!listIcon().isNull());
    QCOMPARE(listIcon().availableSizes(), QList<QSize> {QSize(32, 32)});
    QVERIFY(QImage(u":/pictures/app_icon.png"_s).hasAlphaChannel());
}

QTEST_MAIN(PicturesTest)
#include "pictures_test.moc"
