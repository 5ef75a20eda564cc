#include "contacts/contact_file.h"
#include "contacts/encoding.h"
#include "contacts/sheet_reader.h"
#include "contacts/table_reader.h"

#include <QFile>
#include <QTest>

using namespace telvane;
using namespace telvane::contacts;
using namespace Qt::StringLiterals;

using Records = QList<QStringList>;

Q_DECLARE_METATYPE(telvane::contacts::TextEncoding)
Q_DECLARE_METATYPE(telvane::contacts::ContactFormat)

namespace {

QString dataPath(const QString& name)
{
    return QStringLiteral(TELVANE_CONTACTS_DATA) + u'/' + name;
}

Records texts(const QList<RecordTexts>& records)
{
    Records out;
    for (const RecordTexts& record : records) {
        out.append(QStringList(record.begin(), record.end()));
    }
    return out;
}

} // namespace

class TableTest : public QObject
{
    Q_OBJECT

private slots:
    void files_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<ContactFormat>("format");
        QTest::addColumn<Records>("records");
        QTest::addColumn<bool>("header");
        QTest::addColumn<int>("ignored");
        QTest::addColumn<int>("skipped");
        QTest::addColumn<int>("elsewhere");
        QTest::addColumn<int>("inRemark");

        // Given and family name joined, "Phone n - Label/Value" pairs, two numbers in one cell, a quoted line break.
        QTest::newRow("Google Contacts CSV")
            << u"google.csv"_s << ContactFormat::Csv
            << Records {{u"张三"_s, u"北京大学"_s, u"班主任 周一值班"_s, u"010-62751234"_s, u"13800000000"_s,
                         u"+86 139 1234 5678"_s, QString()},
                        {u"Alice Smith"_s, u"Acme"_s, QString(), QString(), u"+1 555 0100"_s, QString(), QString()}}
            << true << 15 << 0 << 1 << 0;
        // Every heading quoted, a byte-order mark, second numbers and numbers too wide for their field as written.
        QTest::newRow("Outlook CSV") << u"outlook.csv"_s << ContactFormat::Csv
                                     << Records {{u"李丽"_s, u"杭州西湖科技"_s, u"老客户 13600002222"_s,
                                                  u"0571-8765 4321"_s, u"0571-8888 1234"_s, u"13600001111"_s,
                                                  u"0571-8765 4322"_s}}
                                     << true << 7 << 0 << 1 << 1;
        // GBK without a byte-order mark, the import window's headings, doubled quotes, a comma in a quoted cell.
        QTest::newRow("GBK CSV") << u"gbk.csv"_s << ContactFormat::Csv
                                 << Records {{u"张三"_s, u"北京大学"_s, u"说\"好\"的 备注"_s, u"010-62751234"_s,
                                              QString(), u"13912345678"_s, QString()},
                                             {u"李四"_s, u"清华大学,计算机系"_s, QString(), QString(), QString(),
                                              u"13800138000"_s, QString()}}
                                 << true << 0 << 1 << 0 << 0;
        QTest::newRow("tab-separated, no headings")
            << u"headerless.txt"_s << ContactFormat::Csv
            << Records {{u"张三"_s, u"北京大学"_s, u"同学"_s, u"010-62751234"_s, QString(), u"+86 139 1234 5678"_s,
                         QString()},
                        {u"李四"_s, QString(), QString(), QString(), QString(), u"13800138000"_s, QString()}}
            << false << 1 << 0 << 0 << 0;
        QTest::newRow("sep=; first line")
            << u"semicolon.csv"_s << ContactFormat::Csv
            << Records {{u"王五"_s, QString(), QString(), QString(), QString(), u"13912345678"_s, QString()}} << true
            << 0 << 0 << 0 << 0;
        // Written by a spreadsheet program from contacts.fods: numbers stored as numbers (one of them a formula's
        // result), a cell of two lines, a blank row, and a second sheet that is not read.
        const Records sheet {
            {u"张三"_s, u"北京大学"_s, u"第一行 第二行"_s, u"010-62751234"_s, QString(), u"13912345678"_s, QString()},
            {u"李四"_s, u"清华大学"_s, QString(), QString(), QString(), u"13800138000"_s, QString()},
            {u"王五"_s, QString(), u"3.5"_s, u"88886666"_s, QString(), QString(), QString()}};
        QTest::newRow("xlsx") << u"contacts.xlsx"_s << ContactFormat::Xlsx << sheet << true << 0 << 1 << 0 << 0;
        QTest::newRow("ods") << u"contacts.ods"_s << ContactFormat::Ods << sheet << true << 0 << 1 << 0 << 0;
    }
    void files()
    {
        QFETCH(QString, file);
        ContactList list;
        QString error;
        ContactFormat format {};
        QVERIFY2(readContactFile(dataPath(file), &list, &error, &format), qPrintable(error));
        QTEST(format, "format");
        QFETCH(Records, records);
        QCOMPARE(texts(list.records), records);
        QTEST(list.report.header, "header");
        QTEST(list.report.columnsIgnored, "ignored");
        QTEST(list.report.skippedEmpty, "skipped");
        QTEST(list.report.numbersElsewhere, "elsewhere");
        QTEST(list.report.numbersInRemark, "inRemark");
    }

    void damagedSheet()
    {
        QFile file(dataPath(u"contacts.xlsx"_s));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QByteArray bytes = file.readAll();
        // The archive's directory survives, the compressed sheet inside does not.
        for (qsizetype i = 200; i < 1200 && i < bytes.size(); ++i) {
            bytes[i] = static_cast<char>(bytes[i] ^ 0x5A);
        }
        Table table;
        QString error;
        QVERIFY(!readSheetTable(bytes, &table, &error) || table.isEmpty());
        QVERIFY(!readContactFile(dataPath(u"missing.csv"_s), nullptr, &error));
    }

    void encoding_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<TextEncoding>("encoding");
        QTest::addColumn<QString>("text");
        QTest::newRow("UTF-8") << "张三"_ba << TextEncoding::Utf8 << u"张三"_s;
        QTest::newRow("UTF-8 mark") << "\xEF\xBB\xBF张三"_ba << TextEncoding::Utf8Bom << u"张三"_s;
        QTest::newRow("UTF-16 LE") << QByteArray("\xFF\xFE\x20\x5F\x09\x4E", 6) << TextEncoding::Utf16Le << u"张三"_s;
        QTest::newRow("UTF-16 BE") << QByteArray("\xFE\xFF\x5F\x20\x4E\x09", 6) << TextEncoding::Utf16Be << u"张三"_s;
        QTest::newRow("GBK") << "\xD5\xC5\xC8\xFD"_ba << TextEncoding::Gb18030 << u"张三"_s;
        // GBK characters whose bytes happen to start as valid UTF-8 are still GBK once the text goes on.
        QTest::newRow("GBK that starts like UTF-8")
            << "\xE4\xBD\xA0\xE5\xC4\xE3"_ba << TextEncoding::Gb18030 << u"浣犲你"_s;
        QTest::newRow("four-byte GB18030") << "\x95\x32\x82\x36"_ba << TextEncoding::Gb18030 << u"𠀀"_s;
    }
    void encoding()
    {
        QFETCH(QByteArray, bytes);
        TextEncoding found {};
        const QString text = decodeText(bytes, &found);
        QTEST(found, "encoding");
        QTEST(text, "text");
    }

    void csv_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QChar>("separator");
        QTest::addColumn<Table>("rows");
        QTest::newRow("commas, CR LF") << u"a,b\r\nc,d\r\n"_s << QChar(u',')
                                       << Table {{u"a"_s, u"b"_s}, {u"c"_s, u"d"_s}};
        QTest::newRow("tabs beat a comma inside a cell")
            << u"a,x\tb\nc\td"_s << QChar(u'\t') << Table {{u"a,x"_s, u"b"_s}, {u"c"_s, u"d"_s}};
        QTest::newRow("semicolons, commas only inside quotes")
            << u"\"a,1\";b\n\"c,2\";d\n"_s << QChar(u';') << Table {{u"a,1"_s, u"b"_s}, {u"c,2"_s, u"d"_s}};
        QTest::newRow("one column") << u"张三\n李四"_s << QChar(u',') << Table {{u"张三"_s}, {u"李四"_s}};
        QTest::newRow("quoted line break, doubled quote, text after the quote, CR only")
            << u"\"a\r\nb\"\"c\"d,e\rf"_s << QChar(u',') << Table {{u"a\r\nb\"cd"_s, u"e"_s}, {u"f"_s}};
        QTest::newRow("a quote inside a cell is a character")
            << u"5\"x,y"_s << QChar(u',') << Table {{u"5\"x"_s, u"y"_s}};
        QTest::newRow("a quote never closed runs to the end")
            << u"a,\"b\nc,d"_s << QChar(u',') << Table {{u"a"_s, u"b\nc,d"_s}};
        QTest::newRow("empty cells and an empty line")
            << u",\n\n,x,"_s << QChar(u',')
            << Table {{QString(), QString()}, {QString()}, {QString(), u"x"_s, QString()}};
    }
    void csv()
    {
        QFETCH(QString, text);
        QFETCH(QChar, separator);
        QCOMPARE(detectSeparator(text), separator);
        QTEST(parseCsv(text, separator), "rows");
    }

    void headings_data()
    {
        // How the first row is read: as headings (mapping columns by name) or as the first record.
        QTest::addColumn<Table>("table");
        QTest::addColumn<QStringList>("first");
        QTest::newRow("English names, any case")
            << Table {{u"MOBILE PHONE"_s, u"full name"_s, u"Company"_s}, {u"139"_s, u"王五"_s, u"某厂"_s}}
            << QStringList {u"王五"_s, u"某厂"_s, {}, {}, {}, u"139"_s, {}};
        QTest::newRow("Given Name + Family Name") << Table {{u"Given Name"_s, u"Family Name"_s}, {u"娜娜"_s, u"欧阳"_s}}
                                                  << QStringList {u"欧阳娜娜"_s, {}, {}, {}, {}, {}, {}};
        QTest::newRow("a row holding a number is data")
            << Table {{u"手机"_s, u"13912345678"_s}} << QStringList {u"手机"_s, u"13912345678"_s, {}, {}, {}, {}, {}};
        QTest::newRow("no known name is data")
            << Table {{u"甲"_s, u"乙"_s}} << QStringList {u"甲"_s, u"乙"_s, {}, {}, {}, {}, {}};
    }
    void headings()
    {
        QFETCH(Table, table);
        QFETCH(QStringList, first);
        const ContactList list = contactsFromTable(table);
        QVERIFY(!list.records.isEmpty());
        QCOMPARE(texts(list.records).front(), first);
    }
};

QTEST_GUILESS_MAIN(TableTest)
#include "table_test.moc"
