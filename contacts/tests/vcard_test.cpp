#include "contacts/table_reader.h"
#include "contacts/vcard_reader.h"
#include "contacts/writers.h"
#include "import/bulk_import.h"
#include "text/gbk.h"

#include <QFile>
#include <QRandomGenerator>
#include <QStringEncoder>
#include <QTest>

using namespace telvane;
using namespace telvane::contacts;
using namespace Qt::StringLiterals;

using Records = QList<QStringList>;

namespace {

QByteArray dataFile(const QString& name)
{
    QFile file(QStringLiteral(TELVANE_CONTACTS_DATA) + u'/' + name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

Records texts(const QList<RecordTexts>& records)
{
    Records out;
    for (const RecordTexts& record : records) {
        out.append(QStringList(record.begin(), record.end()));
    }
    return out;
}

RecordTexts record(const QStringList& fields)
{
    RecordTexts r;
    for (qsizetype k = 0; k < fields.size(); ++k) {
        r[static_cast<std::size_t>(k)] = fields[k];
    }
    return r;
}

QByteArray utf16le(const QString& text)
{
    QStringEncoder encoder(QStringEncoder::Utf16LE);
    return encoder.encode(text);
}

// A test fixture standing in for the directory's reading table: a few characters, and 曾 read zeng only as a family
// name. Any character it does not know makes the whole text unreadable.
QStringList fixtureReading(QStringView text, bool asSurname)
{
    static const QHash<QString, QString> syllables {
        {u"张"_s, u"zhang"_s}, {u"三"_s, u"san"_s}, {u"曾"_s, u"ceng"_s}, {u"欧"_s, u"ou"_s},
        {u"阳"_s, u"yang"_s},  {u"娜"_s, u"na"_s},  {u"李"_s, u"li"_s},   {u"丰"_s, u"feng"_s},
    };
    QStringList out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QString c = text.mid(i, 1).toString();
        if (i == 0 && asSurname && c == u"曾"_s) {
            out.append(u"zeng"_s);
        } else if (syllables.contains(c)) {
            out.append(syllables.value(c));
        } else {
            return {};
        }
    }
    return out;
}

} // namespace

class VCardTest : public QObject
{
    Q_OBJECT

private slots:
    void files_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<Records>("records");
        QTest::addColumn<int>("elsewhere");
        QTest::addColumn<int>("inRemark");
        QTest::addColumn<int>("skipped");

        // Numbers come as the file writes them; the import's tidying fits them to their fields.
        // Quoted-printable names and notes with soft line breaks, bare types, a preferred work number, a second
        // mobile number, a base64 photo whose lines are not indented, a GB2312 note, five mobile numbers, a card with
        // only an e-mail address.
        QTest::newRow("Android 2.1") << u"android21.vcf"_s
                                     << Records {{u"张三"_s, u"北京市第一中学"_s,
                                                  u"班主任 周一值班，这一行备注很长需要软换行"_s, u"010-88887777"_s,
                                                  u"010-66668888"_s, u"139-1234-5678"_s, u"13800000000"_s},
                                                 {u"欧阳娜娜"_s, QString(), u"你好 13911116666"_s, u"13911113333"_s,
                                                  u"13911114444"_s, u"13911112222"_s, u"13911115555"_s}}
                                     << 4 << 1 << 1;
        // Repeated type parameters, item groups with their labels (小灵通, Other), escapes, a folded note, a photo,
        // a company card whose number has a type of no field.
        QTest::newRow("iOS 3.0")
            << u"ios30.vcf"_s
            << Records {{u"王小明"_s, u"腾飞科技有限公司"_s,
                         u"第一行 第二行, 含逗号; 分号\\反斜杠。这一行很长，按七十五个八位组折行之后下一行以空格开头，读回来时要去掉这个空格。"_s,
                         u"(0755) 8765-4321"_s, u"400-800-8888"_s, u"+86 139 8765 4321"_s, u"0755-12345678"_s},
                        {u"中国银行"_s, u"中国银行"_s, QString(), u"95566"_s, QString(), QString(), QString()}}
            << 2 << 0 << 0;
        // tel: addresses with international numbers and an extension, quoted type lists, PREF=1.
        QTest::newRow("4.0") << u"v40.vcf"_s
                             << Records {{u"李雷"_s, u"Example, Inc."_s, QString(), u"+86-10-8888-6666,102"_s,
                                          u"+86-10-6666-8888"_s, u"+86-138-0013-8000"_s, QString()}}
                             << 0 << 0 << 0;
        // An older phone's file in GB18030 without a byte-order mark or CHARSET; N without FN.
        QTest::newRow("GB18030") << u"gb18030.vcf"_s
                                 << Records {{u"赵六"_s, QString(), u"老同学"_s, u"020-8888-7777"_s, QString(),
                                              u"13500001111"_s, QString()}}
                                 << 0 << 0 << 0;
    }
    void files()
    {
        QFETCH(QString, file);
        QFETCH(Records, records);
        const QByteArray bytes = dataFile(file);
        QVERIFY(!bytes.isEmpty());
        const ContactList list = readVCards(bytes);
        QCOMPARE(texts(list.records), records);
        QTEST(list.report.numbersElsewhere, "elsewhere");
        QTEST(list.report.numbersInRemark, "inRemark");
        QTEST(list.report.skippedEmpty, "skipped");
    }

    void cards_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QStringList>("first"); // the first record

        QTest::newRow("3.0 unfolding drops one blank")
            << "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:张\r\n 三\r\nNOTE:a\r\n  b\r\nEND:VCARD\r\n"_ba
            << QStringList {u"张三"_s, QString(), u"a b"_s};
        QTest::newRow("2.1 unfolding keeps the blank")
            << "BEGIN:VCARD\r\nVERSION:2.1\r\nFN:x\r\nNOTE:a\r\n b\r\nEND:VCARD\r\n"_ba
            << QStringList {u"x"_s, QString(), u"a b"_s};
        QTest::newRow("N without FN, Latin letters")
            << "BEGIN:VCARD\nN:Smith;John;;;\nEND:VCARD\n"_ba << QStringList {u"John Smith"_s};
        QTest::newRow("FN without N, lower case, LF only")
            << "begin:vcard\nversion:3.0\nfn:李四\ntel;type=cell:139\nend:vcard\n"_ba
            << QStringList {u"李四"_s, {}, {}, {}, {}, u"139"_s};
        QTest::newRow("CR only, empty FN falls back to N")
            << "BEGIN:VCARD\rFN:\rN:欧阳;锋\rEND:VCARD\r"_ba << QStringList {u"欧阳锋"_s};
        QTest::newRow("the preferred of two mobile numbers takes the field")
            << "BEGIN:VCARD\r\nVERSION:2.1\r\nFN:x\r\nTEL;CELL:111\r\nTEL;CELL;PREF:222\r\nEND:VCARD\r\n"_ba
            << QStringList {u"x"_s, {}, {}, u"111"_s, {}, u"222"_s};
        QTest::newRow("a work fax is no office number")
            << "BEGIN:VCARD\r\nFN:x\r\nTEL;TYPE=WORK,FAX:1\r\nTEL;TYPE=WORK:2\r\nEND:VCARD\r\n"_ba
            << QStringList {u"x"_s, {}, {}, u"2"_s, u"1"_s};
        QTest::newRow("an agent's card inside is skipped")
            << "BEGIN:VCARD\r\nVERSION:2.1\r\nFN:甲\r\nAGENT:\r\nBEGIN:VCARD\r\nFN:乙\r\nTEL:1\r\nEND:VCARD\r\n"
               "TEL;CELL:2\r\nEND:VCARD\r\n"_ba
            << QStringList {u"甲"_s, {}, {}, {}, {}, u"2"_s};
        QTest::newRow("a stray soft line break before the end of the card")
            << "BEGIN:VCARD\r\nVERSION:2.1\r\nNOTE;ENCODING=QUOTED-PRINTABLE:=41=\r\nEND:VCARD\r\nBEGIN:VCARD\r\nFN:"
               "y\r\n"
               "END:VCARD\r\n"_ba
            << QStringList {QString(), QString(), u"A"_s};
        QTest::newRow("a file cut short keeps its last card")
            << "BEGIN:VCARD\r\nFN:丙\r\nTEL;HOME:5"_ba << QStringList {u"丙"_s, {}, {}, {}, u"5"_s};
        QTest::newRow("tabs and line breaks become spaces")
            << "BEGIN:VCARD\r\nFN:x\r\nNOTE:a\tb\\n\\nc\\N\r\nORG:\\;甲\\,乙;部门\r\nEND:VCARD\r\n"_ba
            << QStringList {u"x"_s, u";甲,乙"_s, u"a b c"_s};
        QTest::newRow("a label in an X- type")
            << "BEGIN:VCARD\r\nVERSION:2.1\r\nFN:x\r\nTEL;X-小灵通:7\r\nEND:VCARD\r\n"_ba
            << QStringList {u"x"_s, {}, {}, {}, {}, {}, u"7"_s};
        QTest::newRow("a quoted parameter holding a colon")
            << "BEGIN:VCARD\r\nVERSION:4.0\r\nFN:x\r\nTEL;TYPE=\"home\";X-NOTE=\"a:b\":8\r\nEND:VCARD\r\n"_ba
            << QStringList {u"x"_s, {}, {}, {}, u"8"_s};
        QTest::newRow("GB18030 file, a UTF-8 property")
            << QByteArray("BEGIN:VCARD\r\nFN:\xD5\xC5\xC8\xFD\r\nNOTE;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:=E4=BD=A0"
                          "\r\nEND:VCARD\r\n")
            << QStringList {u"张三"_s, {}, u"你"_s};
        QTest::newRow("UTF-8 file, a GBK property") << QByteArray(
            "BEGIN:VCARD\r\nFN:张三\r\nNOTE;CHARSET=GBK;ENCODING=QUOTED-PRINTABLE:=C4=E3\r\nEND:VCARD\r\n")
                                                    << QStringList {u"张三"_s, {}, u"你"_s};
        QTest::newRow("a value starting with U+FEFF keeps it")
            << "BEGIN:VCARD\r\nFN:\xEF\xBB\xBF张\r\nEND:VCARD"_ba << QStringList {u"\uFEFF张"_s};
        QTest::newRow("UTF-16 with its byte-order mark")
            << QByteArray("\xFF\xFE", 2) + utf16le(u"BEGIN:VCARD\r\nFN:王五\r\nEND:VCARD"_s) << QStringList {u"王五"_s};
    }
    void cards()
    {
        QFETCH(QByteArray, file);
        QFETCH(QStringList, first);
        const ContactList list = readVCards(file);
        QVERIFY(!list.records.isEmpty());
        while (first.size() < 7) {
            first.append(QString());
        }
        QCOMPARE(texts(list.records).front(), first);
    }

    void splitName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("family");
        QTest::addColumn<QString>("given");
        QTest::newRow("single") << u"张三丰"_s << u"张"_s << u"三丰"_s;
        QTest::newRow("compound") << u"欧阳娜娜"_s << u"欧阳"_s << u"娜娜"_s;
        QTest::newRow("compound, one given character") << u"司马光"_s << u"司马"_s << u"光"_s;
        QTest::newRow("two characters are one family and one given") << u"欧阳"_s << u"欧"_s << u"阳"_s;
        QTest::newRow("a pair left out of the list") << u"单于飞"_s << u"单"_s << u"于飞"_s;
        QTest::newRow("family name alone") << u"张"_s << u"张"_s << QString();
        QTest::newRow("beyond the basic plane") << u"𠀀三"_s << u"𠀀"_s << u"三"_s;
        QTest::newRow("full-width letters are no Chinese name") << u"ＪＯＨＮ"_s << QString() << u"ＪＯＨＮ"_s;
        QTest::newRow("mixed") << u"张Ａ"_s << QString() << u"张Ａ"_s;
    }
    void splitName()
    {
        QFETCH(QString, name);
        const NameParts parts = contacts::splitName(name);
        QTEST(parts.family, "family");
        QTEST(parts.given, "given");
    }

    void writeCard()
    {
        const QByteArray card = writeVCards({record({u"曾三丰"_s, u"某某单位"_s, u"备注;含,分号\\与逗号"_s, u"010-1"_s,
                                                     u"020-2"_s, u"139"_s, u"0755-3"_s}),
                                             record({u"ＪＯＨＮ"_s, {}, {}, {}, {}, u"138"_s}), record({}),
                                             record({u"欧阳娜娜"_s, {}, {}, {}, {}, {}, {}})},
                                            fixtureReading);
        QCOMPARE(
            card,
            "BEGIN:VCARD\r\nVERSION:3.0\r\nN:曾;三丰;;;\r\nFN:曾三丰\r\nX-PHONETIC-LAST-NAME:Zeng\r\n"
            "X-PHONETIC-FIRST-NAME:Sanfeng\r\nORG:某某单位\r\nNOTE:备注\\;含\\,分号\\\\与逗号\r\n"
            "TEL;TYPE=WORK,VOICE:010-1\r\nTEL;TYPE=HOME,VOICE:020-2\r\nTEL;TYPE=CELL,VOICE:139\r\n"
            "item1.TEL;TYPE=VOICE:0755-3\r\nitem1.X-ABLabel:小灵通\r\nEND:VCARD\r\n"
            "BEGIN:VCARD\r\nVERSION:3.0\r\nN:;ＪＯＨＮ;;;\r\nFN:ＪＯＨＮ\r\nTEL;TYPE=CELL,VOICE:138\r\nEND:VCARD\r\n"
            "BEGIN:VCARD\r\nVERSION:3.0\r\nN:欧阳;娜娜;;;\r\nFN:欧阳娜娜\r\nX-PHONETIC-LAST-NAME:Ouyang\r\n"
            "X-PHONETIC-FIRST-NAME:Nana\r\nEND:VCARD\r\n"_ba);
    }

    void folding()
    {
        // Three-byte characters, a one-byte start: the fold can never fall on a character boundary by chance.
        const QString remark = u"x"_s + QString(u"备注很长"_s).repeated(40);
        const QByteArray card = writeVCards({record({u"张三"_s, {}, remark})}, {});
        QString unfolded;
        const QList<QByteArray> lines = card.split('\n');
        for (const QByteArray& line : lines) {
            QVERIFY(line.isEmpty() || line.endsWith('\r'));
            QVERIFY2(line.size() <= 76, line.constData()); // 75 octets and the CR
            QVERIFY(text::isValidUtf8(std::string_view(line.constData(), static_cast<std::size_t>(line.size()))));
            const QString text = QString::fromUtf8(line.chopped(line.isEmpty() ? 0 : 1));
            unfolded += text.startsWith(u' ') ? text.mid(1) : u'\n' + text;
        }
        QVERIFY(unfolded.contains(u"\nNOTE:"_s + remark + u'\n'));
        QCOMPARE(texts(readVCards(card).records).front().at(2), remark);
    }

    void roundTrip()
    {
        // Records as the store holds them after an import: every record the import's tidying leaves as it is comes
        // back from a vCard file and from a CSV file unchanged.
        const QStringList names {u"张三"_s, u"欧阳娜娜"_s, u"曾丰"_s, u"ＪＯＨＮ"_s, u"𠀀三"_s, QString(), u"Ａ，Ｂ"_s};
        const QStringList units {u"北京大学"_s, QString(), u"某某有限公司研发部"_s, u"；甲"_s};
        const QStringList remarks {QString(),        u"老同学"_s, u"a,b;c\\d:e \"f\""_s,
                                   u"备注 含空格"_s, u"=1+1"_s,   u"13912345678"_s};
        const QStringList phones {QString(),  u"010-62751234"_s, u"+86 1391234"_s, u"(0755)1234"_s,
                                  u"1,2;3"_s, u"\\9"_s,          u"13912345678"_s};
        QRandomGenerator random(19);
        QList<RecordTexts> records;
        for (int i = 0; i < 400; ++i) {
            auto pick = [&random](const QStringList& from) { return from[random.bounded(from.size())]; };
            RecordTexts r = record({pick(names), pick(units), pick(remarks), pick(phones), pick(phones),
                                    pick(phones).left(11), pick(phones)});
            import::RowCells cells;
            store::Record gbk;
            for (std::size_t k = 0; k < r.size(); ++k) {
                gbk[k] = text::toGbk(r[k]);
                cells[k] = gbk[k];
            }
            store::Record tidied = import::tidyRow(cells);
            import::retidyRow(tidied);
            if (tidied != gbk || std::all_of(r.begin(), r.end(), [](const QString& f) { return f.isEmpty(); })) {
                continue; // tidying would change it, or it has nothing to write
            }
            records.append(r);
        }
        QVERIFY(records.size() > 100);
        qsizetype written = 0;
        const QByteArray vcf = writeVCards(records, fixtureReading, &written);
        QCOMPARE(written, records.size());
        QCOMPARE(texts(readVCards(vcf).records), texts(records));
        const ContactList fromCsv = readCsv(writeCsv(records));
        QVERIFY(fromCsv.report.header);
        QCOMPARE(texts(fromCsv.records), texts(records));
    }
};

QTEST_GUILESS_MAIN(VCardTest)
#include "vcard_test.moc"
