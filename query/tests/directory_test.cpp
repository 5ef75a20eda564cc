// The search index built in the background: whatever happens to the store while it is built or after, a search
// answers what a search over the store as it is would answer.
#include "query/directory.h"
#include "query/search.h"
#include "store/directory_store.h"
#include "tests/support/test_support.h"
#include "text/gbk.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace telvane;

namespace {

// What happens to the store while its index is built, or after.
enum class Change { Nothing, AppendDuring, AppendAfter, OtherAdds, OtherEdits };

// The answer of a search over a fresh index of the file as it is now.
std::vector<std::int32_t> expected(const QString& path, std::string_view query)
{
    store::DirectoryStore store;
    if (!store.open(path, nullptr, store::DirectoryStore::Access::ReadOnly)) {
        return {{-1}};
    }
    query::Directory directory(store);
    if (!directory.loadNow()) {
        return {{-1}};
    }
    return *directory.search(query);
}

// Waits for the directory's answer, as the query box does when the index is not ready yet.
std::vector<std::int32_t> answer(query::Directory& directory, std::string_view query)
{
    for (int tries = 0; tries < 3; ++tries) {
        if (const auto* found = directory.search(query)) {
            return *found;
        }
        QSignalSpy ready(&directory, &query::Directory::ready);
        if (!ready.wait(10000)) {
            break;
        }
    }
    return {{-2}};
}

} // namespace

class DirectoryTest : public QObject
{
    Q_OBJECT

private slots:
    void answersAsTheStoreIs_data()
    {
        QTest::addColumn<Change>("change");
        QTest::newRow("nothing") << Change::Nothing;
        QTest::newRow("saved while the index is built") << Change::AppendDuring;
        QTest::newRow("saved after") << Change::AppendAfter;
        QTest::newRow("another program adds") << Change::OtherAdds;
        QTest::newRow("another program deletes and edits") << Change::OtherEdits;
    }
    void answersAsTheStoreIs()
    {
        QFETCH(Change, change);
        QTemporaryDir dir;
        std::vector<store::Record> records;
        for (int i = 0; i < 3000; ++i) {
            records.push_back(testing::record(
                {i % 3 ? u"张三"_s : u"李四"_s, u"北京单位%1"_s.arg(i % 7), QString(), u"0101234%1"_s.arg(i)}));
        }
        const QString path = testing::makeStore(dir.filePath(u"DHB.EDB"_s), records);
        store::DirectoryStore store;
        QVERIFY(store.open(path));
        query::Directory directory(store);
        directory.load();
        if (change == Change::AppendDuring) {
            QVERIFY(store.append(testing::record({u"张珊"_s, QString(), QString(), u"999"_s})));
        }
        QSignalSpy ready(&directory, &query::Directory::ready);
        QVERIFY(ready.wait(10000) || directory.isReady());
        if (change == Change::AppendAfter) {
            QVERIFY(store.append(testing::record({u"张珊"_s, QString(), QString(), u"999"_s})));
        } else if (change == Change::OtherAdds) {
            QCOMPARE(testing::runCli({u"import"_s, path}, "张思\t\t\t999\n").exitCode, 0);
        } else if (change == Change::OtherEdits) {
            QVERIFY(testing::execOther(path, "DELETE FROM directory WHERE id % 5 = 0;"
                                             " UPDATE directory SET 姓名 = '赵四', 办公 = '999' WHERE id % 7 = 1;"));
        }
        for (const char* query : {"zs", "z", "bjdw", "999", "0101234", "zs1"}) {
            QCOMPARE(answer(directory, query), expected(path, query));
        }
        // The numbering the results speak of is the store's own.
        const std::vector<std::int32_t> found = answer(directory, "999");
        QVERIFY(!found.empty() || change == Change::Nothing);
        for (const std::int32_t n : found) {
            QVERIFY(text::fromGbk(store.record(n)[store::kOffice]).contains(u"999"_s));
        }
    }

    // A query asked while the index is being built is answered from the store's rows as the index would answer it
    // (both parts, numbered as the store numbers the records), and the index then answers the same. A record
    // another program adds and one it removes while the rows are read are never missed or shown.
    void answersWhileBuilding_data()
    {
        QTest::addColumn<QByteArray>("query");
        QTest::newRow("initials") << QByteArray("zs");
        QTest::newRow("full pinyin") << QByteArray("zhangs");
        QTest::newRow("characters") << QByteArray::fromStdString(text::utf8ToGbk("北京"));
        QTest::newRow("digits") << QByteArray("0101234");
        QTest::newRow("another program writes meanwhile") << QByteArray("zs");
    }
    void answersWhileBuilding()
    {
        QFETCH(QByteArray, query);
        const std::string_view q(query.constData(), static_cast<std::size_t>(query.size()));
        QTemporaryDir dir;
        std::vector<store::Record> records;
        for (int i = 0; i < 40000; ++i) {
            records.push_back(testing::record(
                {i % 3 ? u"张三"_s : u"周山"_s, u"北京单位%1"_s.arg(i % 7), QString(), u"0101234%1"_s.arg(i % 1000)}));
        }
        const QString path = testing::makeStore(dir.filePath(u"DHB.EDB"_s), records);
        const std::vector<std::int32_t> want = expected(path, q);
        store::DirectoryStore store;
        QVERIFY(store.open(path));
        query::Directory directory(store);
        directory.load();
        QSignalSpy ready(&directory, &query::Directory::ready);
        QVERIFY(directory.search(q) == nullptr);
        QVERIFY(directory.search("") != nullptr); // nothing to wait for
        if (QByteArray(QTest::currentDataTag()).startsWith("another")) {
            // The first half's first record goes, a record joins the second half: every record after it is numbered
            // one lower.
            QVERIFY(testing::execOther(path, "DELETE FROM directory WHERE id = 1; INSERT INTO directory (\"姓名\") "
                                             "VALUES ('李四')"));
            QCOMPARE(answer(directory, q), expected(path, q));
            QVERIFY(answer(directory, q) != want);
            return;
        }
        QVERIFY(ready.wait(20000));
        const auto* found = directory.search(q);
        QVERIFY(found);
        QCOMPARE(*found, want);
        QVERIFY(!want.empty());
        for (const std::int32_t n : {want.front(), want.back()}) {
            QVERIFY(!store.record(n)[store::kName].empty());
        }
        QVERIFY(QTest::qWaitFor([&] { return directory.isReady(); }, 20000));
        QCOMPARE(answer(directory, q), want);
    }
};

QTEST_GUILESS_MAIN(DirectoryTest)
#include "directory_test.moc"
