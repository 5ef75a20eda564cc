#include "contacts/duplicates.h"
#include "text/gbk.h"

#include <QTest>

using namespace telvane;
using namespace telvane::contacts;
using namespace Qt::StringLiterals;

using Indexes = std::vector<std::size_t>;
Q_DECLARE_METATYPE(Indexes)

namespace {

store::Record gbkRecord(const QStringList& fields)
{
    store::Record record;
    for (qsizetype k = 0; k < fields.size(); ++k) {
        record[static_cast<std::size_t>(k)] = text::toGbk(fields[k]);
    }
    return record;
}

std::vector<store::Record> gbkRecords(const QList<QStringList>& list)
{
    std::vector<store::Record> records;
    for (const QStringList& fields : list) {
        records.push_back(gbkRecord(fields));
    }
    return records;
}

} // namespace

class DuplicatesTest : public QObject
{
    Q_OBJECT

private slots:
    void digits_data()
    {
        QTest::addColumn<QByteArray>("gbk");
        QTest::addColumn<QByteArray>("digits");
        QTest::newRow("separators") << "139-1234 5678"_ba
                                    << "13912345678"_ba;
        QTest::newRow("+86") << "+86 139 1234 5678"_ba
                             << "13912345678"_ba;
        QTest::newRow("0086") << "0086-10-62751234"_ba
                              << "1062751234"_ba;
        QTest::newRow("86 without a plus is digits") << "8613912345678"_ba
                                                     << "8613912345678"_ba;
        QTest::newRow("full-width digits") << "\xA3\xB1\xA3\xB3\xA3\xB9\xA3\xB0\xA3\xB0"_ba
                                           << "13900"_ba;
        // The second and fourth bytes of a four-byte GB18030 character are digit bytes, and no digits.
        QTest::newRow("four-byte characters") << "\x81\x30\x81\x30\x81\x30\x81\x30"
                                                 "12"_ba
                                              << ""_ba;
        QTest::newRow("a placeholder takes no part") << "0"_ba
                                                     << ""_ba;
    }
    void digits()
    {
        QFETCH(QByteArray, gbk);
        QTEST(QByteArray::fromStdString(comparableDigits(gbk.toStdString())), "digits");
    }

    void repeats_data()
    {
        QTest::addColumn<QList<QStringList>>("records");
        QTest::addColumn<Indexes>("repeats");
        // name, unit, remark, office, home, mobile, PHS
        QTest::newRow("same mobile, written differently")
            << QList<QStringList> {{u"张三"_s, {}, {}, {}, {}, u"13912345678"_s},
                                   {u"李四"_s, {}, {}, {}, {}, u"+86 139-1234-5678"_s},
                                   {u"王五"_s, {}, {}, {}, {}, u"13912345679"_s}}
            << Indexes {1};
        QTest::newRow("same name and one number in any field")
            << QList<QStringList> {{u"张三"_s, {}, {}, u"010-62751234"_s},
                                   {u"张三"_s, {}, {}, {}, {}, {}, u"01062751234"_s},
                                   {u"李四"_s, {}, {}, {}, u"010-62751234"_s},
                                   {u"张三"_s, {}, {}, u"010-62751235"_s}}
            << Indexes {1};
        QTest::newRow("same office number, no name")
            << QList<QStringList> {{{}, {}, {}, u"010-62751234"_s}, {{}, {}, {}, u"010-62751234"_s}} << Indexes {};
        QTest::newRow("same name alone") << QList<QStringList> {{u"张三"_s}, {u"张三"_s}} << Indexes {};
        QTest::newRow("a chain: each repeats the one before")
            << QList<QStringList> {{u"甲"_s, {}, {}, u"62751234"_s, {}, u"13900000001"_s},
                                   {u"甲"_s, {}, {}, u"62751234"_s, {}, u"13900000002"_s},
                                   {u"乙"_s, {}, {}, {}, {}, u"13900000002"_s}}
            << Indexes {1, 2};
        QTest::newRow("numbers too long to pack")
            << QList<QStringList> {{u"甲"_s, {}, {}, u"1234567890123456789"_s},
                                   {u"甲"_s, {}, {}, {}, u"1234567890123456789"_s},
                                   {u"乙"_s, {}, {}, {}, {}, u"1234567890123456789"_s},
                                   {u"丙"_s, {}, {}, {}, {}, u"1234567890123456789"_s}}
            << Indexes {1, 3};
    }
    void repeats()
    {
        QFETCH(QList<QStringList>, records);
        QTEST(findRepeats(gbkRecords(records)), "repeats");
    }

    void stored()
    {
        // Incoming rows against the store: only stored records count, and the first of several is named.
        DuplicateIndex index;
        for (const store::Record& record : gbkRecords({{u"张三"_s, {}, {}, {}, {}, u"13912345678"_s},
                                                       {u"李四"_s, {}, {}, u"62751234"_s},
                                                       {u"王五"_s, {}, {}, {}, {}, u"13912345678"_s}})) {
            index.add({record[0], record[1], record[2], record[3], record[4], record[5], record[6]});
        }
        const std::vector<store::Record> incoming = gbkRecords({{u"李四"_s, {}, {}, {}, u"6275-1234"_s},
                                                                {u"赵六"_s, {}, {}, {}, {}, u"13900000000"_s},
                                                                {u"赵六"_s, {}, {}, {}, {}, u"13900000000"_s},
                                                                {u"某"_s, {}, {}, {}, {}, u"139 1234 5678"_s}});
        QCOMPARE(findStoredRepeats(index, incoming), (Indexes {0, 3}));
        const store::Record& last = incoming[3];
        QCOMPARE(index.find({last[0], last[1], last[2], last[3], last[4], last[5], last[6]}), std::size_t {0});
        QCOMPARE(index.size(), std::size_t {3});
    }
};

QTEST_GUILESS_MAIN(DuplicatesTest)
#include "duplicates_test.moc"
