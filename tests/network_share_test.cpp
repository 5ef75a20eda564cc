// A store on a network file system (faked for statfs()): SQLite's WAL cannot work there and file locks cannot be
// trusted, so nothing writes to it. The program and telvane-cli read it, refuse every write with the reason, and
// leave nothing beside it.
#include "app/main_window.h"
#include "store/directory_store.h"
#include "store/record_table.h"
#include "tests/support/test_support.h"
#include "widgets/byte_line_edit.h"
#include "widgets/picture_button.h"
#include "widgets/query_box.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace telvane;

class NetworkShareTest : public QObject
{
    Q_OBJECT

private slots:
    void nothingWritesToANetworkShare()
    {
        QTemporaryDir dir;
        const QString path = testing::makeStore(dir, {{u"张三"_s}});
        qputenv("TELVANE_FAKE_NETWORK_FS", QFile::encodeName(dir.path()));
        const auto restore = qScopeGuard([] { qunsetenv("TELVANE_FAKE_NETWORK_FS"); });
        const QStringList before = QDir(dir.path()).entryList(QDir::Files);

        QString error;
        QVERIFY(!store::DirectoryStore::create(dir.filePath(u"new.EDB"_s), &error));
        QVERIFY2(error.contains(u"网络"_s), qPrintable(error));
        store::RecordTable table;
        QVERIFY(table.open(path, &error));
        QVERIFY(table.writeRefusal().contains(u"NFS"_s));
        store::WriteOutcome outcome;
        QVERIFY(!table.write({{0, 2, u"备注"_s}}, {}, nullptr, &outcome));
        QVERIFY(outcome.error.contains(u"网络"_s));
        table.close();

        QStringList said;
        app::MainWindow::setMessageSink([&](const QString& title, const QString& text) { said << title + text; });
        const auto quiet = qScopeGuard([] { app::MainWindow::setMessageSink({}); });
        app::MainWindow w(dir.path());
        QVERIFY(w.startUp());
        QCOMPARE(said.size(), 1);
        QVERIFY2(said[0].contains(u"只能查询"_s) && said[0].contains(u"NFS"_s), qPrintable(said[0]));
        QTest::keyClicks(w.查询框, u"zs"_s);
        QTRY_COMPARE(w.queryMode().results().size(), std::size_t(1));
        w.输入按钮->click();
        testing::typeText(w.姓名框, u"李四"_s);
        w.确定按钮->click();
        QCOMPARE(said.size(), 2);
        QVERIFY(said[1].contains(u"网络"_s));
        QCOMPARE(w.姓名框->text(), u"李四"_s);
        w.shutDown();

        // telvane-cli through the same fake: reads, refuses to import.
        qputenv("LD_PRELOAD", TELVANE_FAKE_NETWORK_FS_MODULE);
        // (Under AddressSanitizer the module comes before the sanitizer's runtime, which it need not.)
        qputenv("ASAN_OPTIONS", qgetenv("ASAN_OPTIONS") + ":verify_asan_link_order=0");
        const auto unload = qScopeGuard([] { qunsetenv("LD_PRELOAD"); });
        QCOMPARE(testing::runCli({u"count"_s, path}).out, u"1\n"_s);
        const testing::CliRun import = testing::runCli({u"import"_s, path}, "李四\n");
        QCOMPARE(import.exitCode, 2);
        QVERIFY2(import.err.contains(u"NFS"_s), qPrintable(import.err));
        qunsetenv("LD_PRELOAD");

        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), before);
        QCOMPARE(testing::readRecords(path), testing::names({u"张三"_s}));
    }
};

QTEST_MAIN(NetworkShareTest)
#include "network_share_test.moc"
