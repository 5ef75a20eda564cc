#include "widgets/byte_line_edit.h"

#include "text/gbk.h"

#include <QApplication>
#include <QClipboard>
#include <QInputMethodEvent>
#include <QtTest>

using namespace Qt::StringLiterals;
using telvane::widgets::ByteLimitedLineEdit;

namespace {

// Types text key by key, each key carrying one character, as a keyboard layout or a direct-input method does.
void type(QWidget* widget, const QString& text)
{
    for (const QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(widget, &press);
        QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(widget, &release);
    }
}

void commit(QWidget* widget, const QString& text)
{
    QInputMethodEvent preedit(u"zhang"_s, {});
    QApplication::sendEvent(widget, &preedit);
    QInputMethodEvent event;
    event.setCommitString(text);
    QApplication::sendEvent(widget, &event);
}

QByteArray gbkHex(const QString& text)
{
    const std::string bytes = telvane::text::toGbk(text);
    return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())).toHex(' ');
}

// A four-byte GB18030 character (U+20000, outside GBK).
const QString fourByte = QString::fromUcs4(U"\U00020000");

} // namespace

class ByteLineEditTest : public QObject
{
    Q_OBJECT

private slots:
    void typing_data();
    void typing();
    void inputMethodCommit_data();
    void inputMethodCommit();
    void paste_data();
    void paste();
    void lowerCasing_data();
    void lowerCasing();
    void programTextIsTakenAsIs();
    void deletingFromOverlongProgramText();
};

void ByteLineEditTest::typing_data()
{
    QTest::addColumn<int>("maxBytes");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QByteArray>("expectedGbk");

    QTest::newRow("ten ASCII fill a name box")
        << 10 << u"abcdefghijk"_s << u"abcdefghij"_s << QByteArray("61 62 63 64 65 66 67 68 69 6a");
    QTest::newRow("five Chinese fill a name box")
        << 10 << u"张三李四王五"_s << u"张三李四王"_s << QByteArray("d5 c5 c8 fd c0 ee cb c4 cd f5");
    QTest::newRow("a Chinese key with one byte free is refused")
        << 10 << u"a张三李四王"_s << u"a张三李四"_s << QByteArray("61 d5 c5 c8 fd c0 ee cb c4");
    QTest::newRow("ASCII still fits the last byte")
        << 10 << u"a张三李四王b"_s << u"a张三李四b"_s << QByteArray("61 d5 c5 c8 fd c0 ee cb c4 62");
    QTest::newRow("mobile box, 11 digits")
        << 11 << u"138001380001"_s << u"13800138000"_s << QByteArray("31 33 38 30 30 31 33 38 30 30 30");
}

void ByteLineEditTest::typing()
{
    QFETCH(int, maxBytes);
    QFETCH(QString, typed);
    QFETCH(QString, expected);
    QFETCH(QByteArray, expectedGbk);

    ByteLimitedLineEdit edit(maxBytes);
    QCOMPARE(edit.maxBytes(), maxBytes);
    type(&edit, typed);
    QCOMPARE(edit.text(), expected);
    QCOMPARE(gbkHex(edit.text()), expectedGbk);
}

void ByteLineEditTest::inputMethodCommit_data()
{
    QTest::addColumn<int>("maxBytes");
    QTest::addColumn<QString>("before");
    QTest::addColumn<int>("selectionStart"); // -1: no selection, cursor at `cursor`
    QTest::addColumn<int>("cursor");
    QTest::addColumn<QString>("committed");
    QTest::addColumn<QString>("expected");

    QTest::newRow("3 Chinese into 5 free bytes keep 2") << 10 << u"abcde"_s << -1 << 5 << u"张三丰"_s << u"abcde张三"_s;
    QTest::newRow("commit that fits") << 10 << u"ab"_s << -1 << 2 << u"张三丰"_s << u"ab张三丰"_s;
    QTest::newRow("four-byte character counts 4") << 6 << u"ab"_s << -1 << 2 << fourByte + u"c"_s << u"ab"_s + fourByte;
    QTest::newRow("four-byte character never split") << 5 << u"ab"_s << -1 << 2 << fourByte << u"ab"_s;
    QTest::newRow("inserted in the middle") << 6 << u"abcd"_s << -1 << 2 << u"张三"_s << u"ab张cd"_s;
    QTest::newRow("replacing a selection") << 4 << u"abcd"_s << 0 << 4 << u"张三丰"_s << u"张三"_s;
    QTest::newRow("full box takes nothing") << 4 << u"张三"_s << -1 << 2 << u"a"_s << u"张三"_s;
    QTest::newRow("lone surrogate is dropped") << 10 << u""_s << -1 << 0 << QString(QChar(0xD800)) + u"a"_s << u"a"_s;
}

void ByteLineEditTest::inputMethodCommit()
{
    QFETCH(int, maxBytes);
    QFETCH(QString, before);
    QFETCH(int, selectionStart);
    QFETCH(int, cursor);
    QFETCH(QString, committed);
    QFETCH(QString, expected);

    ByteLimitedLineEdit edit(maxBytes);
    edit.setText(before);
    if (selectionStart >= 0) {
        edit.setSelection(selectionStart, cursor - selectionStart);
    } else {
        edit.setCursorPosition(cursor);
    }
    commit(&edit, committed);
    QCOMPARE(edit.text(), expected);
    QVERIFY(telvane::text::byteLength(edit.text()) <= std::size_t(maxBytes));
}

void ByteLineEditTest::paste_data()
{
    QTest::addColumn<int>("maxBytes");
    QTest::addColumn<bool>("lower");
    QTest::addColumn<QString>("clipboard");
    QTest::addColumn<QString>("expected");

    QTest::newRow("phone number with extension cut") << 13 << false << u"010-62345678 ext 12"_s << u"010-62345678 "_s;
    QTest::newRow("unit name cut between characters")
        << 24 << false << u"北京市海淀区人民政府办公室秘书处"_s << u"北京市海淀区人民政府办公"_s;
    QTest::newRow("query box lower-cases pasted letters") << 14 << true << u"ZhangSan 张三"_s << u"zhangsan 张三"_s;
}

void ByteLineEditTest::paste()
{
    QFETCH(int, maxBytes);
    QFETCH(bool, lower);
    QFETCH(QString, clipboard);
    QFETCH(QString, expected);

    ByteLimitedLineEdit edit(maxBytes);
    edit.setLowerCaseLatin(lower);
    QApplication::clipboard()->setText(clipboard);
    if (QApplication::clipboard()->text() != clipboard) {
        QSKIP("no clipboard on this platform");
    }
    edit.paste();
    QCOMPARE(edit.text(), expected);
}

void ByteLineEditTest::lowerCasing_data()
{
    QTest::addColumn<bool>("lower");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("expected");
    QTest::newRow("ZS") << true << u"ZS"_s << u"zs"_s;
    QTest::newRow("digits and Chinese unchanged") << true << u"Zs13张"_s << u"zs13张"_s;
    QTest::newRow("full-width letters unchanged") << true << u"ＺS"_s << u"Ｚs"_s;
    QTest::newRow("off: as typed") << false << u"ZS"_s << u"ZS"_s;
}

void ByteLineEditTest::lowerCasing()
{
    QFETCH(bool, lower);
    QFETCH(QString, typed);
    QFETCH(QString, expected);

    ByteLimitedLineEdit edit(14);
    edit.setLowerCaseLatin(lower);
    QCOMPARE(edit.lowerCaseLatin(), lower);
    // Real key presses for ASCII (Shift+Z gives "Z"), character keys for the rest.
    for (const QChar c : typed) {
        if (c.unicode() < 0x80) {
            QTest::keyClick(&edit, c.toLatin1(), c.isUpper() ? Qt::ShiftModifier : Qt::NoModifier);
        } else {
            type(&edit, QString(c));
        }
    }
    QCOMPARE(edit.text(), expected);
}

// The program writes record counts and stored fields into these boxes: setText keeps them whole.
void ByteLineEditTest::programTextIsTakenAsIs()
{
    ByteLimitedLineEdit edit(14);
    edit.setLowerCaseLatin(true);
    const QString longText = u"ABCDEFGHIJKLMNOPQRSTUVWXYZ"_s;
    edit.setText(longText);
    QCOMPARE(edit.text(), longText);
    edit.setText(u"12345"_s);
    QCOMPARE(edit.text(), u"12345"_s);
}

void ByteLineEditTest::deletingFromOverlongProgramText()
{
    ByteLimitedLineEdit edit(4);
    edit.setText(u"张三李四"_s);
    edit.setCursorPosition(4);
    type(&edit, u"x"_s);
    QCOMPARE(edit.text(), u"张三李四"_s);
    QTest::keyClick(&edit, Qt::Key_Backspace);
    QCOMPARE(edit.text(), u"张三李"_s);
    QTest::keyClick(&edit, Qt::Key_Backspace);
    QCOMPARE(edit.text(), u"张三"_s);
    type(&edit, u"x"_s);
    QCOMPARE(edit.text(), u"张三"_s);
}

QTEST_MAIN(ByteLineEditTest)
#include "byte_line_edit_test.moc"
