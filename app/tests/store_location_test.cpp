#include "app/store_location.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using telvane::app::chooseStore;
using telvane::app::Layout;
using telvane::app::layoutOf;
using telvane::app::StoreContext;

class StoreLocationTest : public QObject
{
    Q_OBJECT

private slots:
    // Only bin/ with the package's launcher under ../share/ is the package layout; anything less is a folder of its
    // own, whose DHB.EDB stays beside the program.
    void layoutFromTheFoldersAround_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<bool>("packaged");
        const QString launcher = u"usr/share/applications/telvane.desktop"_s;
        QTest::newRow("unpacked package") << u"usr/bin"_s << QStringList {launcher} << true;
        QTest::newRow("folder layout") << u"dist/telvane"_s << QStringList {u"dist/telvane/telvane.desktop"_s} << false;
        QTest::newRow("bin without the launcher")
            << u"usr/bin"_s << QStringList {u"usr/share/applications/x.desktop"_s} << false;
        QTest::newRow("launcher beside another folder")
            << u"usr/telvane"_s << QStringList {u"usr/share/applications/telvane.desktop"_s} << false;
        QTest::newRow("a folder where the launcher should be")
            << u"usr/bin"_s << QStringList {launcher + u"/x"_s} << false;
    }
    void layoutFromTheFoldersAround()
    {
        QFETCH(QString, program);
        QFETCH(QStringList, files);
        QFETCH(bool, packaged);
        QTemporaryDir root;
        QVERIFY(QDir(root.path()).mkpath(program));
        for (const QString& file : files) {
            QVERIFY(QDir(root.path()).mkpath(QFileInfo(file).path()));
            QFile f(root.filePath(file));
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        QCOMPARE(layoutOf(root.filePath(program)) == Layout::Packaged, packaged);
    }

    void storeOfTheRun_data()
    {
        QTest::addColumn<bool>("packaged");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("xdgDataHome");
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("makeFolder");
        const QStringList none;
        QTest::newRow("folder: beside the program") << false << none << u"/xdg"_s << u"/opt/tv/DHB.EDB"_s << false;
        QTest::newRow("package: XDG_DATA_HOME") << true << none << u"/xdg"_s << u"/xdg/telvane/DHB.EDB"_s << true;
        QTest::newRow("package: XDG_DATA_HOME unset")
            << true << none << QString() << u"/home/u/.local/share/telvane/DHB.EDB"_s << true;
        QTest::newRow("package: a relative XDG_DATA_HOME is ignored")
            << true << none << u"xdg"_s << u"/home/u/.local/share/telvane/DHB.EDB"_s << true;
        QTest::newRow("package: --store")
            << true << QStringList {u"--store"_s, u"/mnt/a.EDB"_s} << u"/xdg"_s << u"/mnt/a.EDB"_s << false;
        QTest::newRow("folder: --store=, relative")
            << false << QStringList {u"--store=../b/DHB.EDB"_s} << QString() << u"/work/b/DHB.EDB"_s << false;
        QTest::newRow("other arguments left alone")
            << true << QStringList {u"-style"_s, u"fusion"_s, u"--store"_s, u"c.EDB"_s, u"x"_s} << u"/xdg"_s
            << u"/work/here/c.EDB"_s << false;
    }
    void storeOfTheRun()
    {
        QFETCH(bool, packaged);
        QFETCH(QStringList, arguments);
        QFETCH(QString, xdgDataHome);
        QFETCH(QString, file);
        QFETCH(bool, makeFolder);
        const StoreContext context {packaged ? Layout::Packaged : Layout::Folder,
                                    u"/opt/tv"_s,
                                    arguments,
                                    xdgDataHome,
                                    u"/home/u"_s,
                                    u"/work/here"_s};
        QString error;
        const auto choice = chooseStore(context, &error);
        QVERIFY2(choice, qPrintable(error));
        QCOMPARE(choice->file, file);
        // The read-only test runs on the folder that holds the store, whichever it is.
        QCOMPARE(choice->folder, QFileInfo(file).path());
        QCOMPARE(choice->makeFolder, makeFolder);
    }

    void wrongCommandLines_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("home");
        QTest::newRow("--store without a path") << QStringList {u"--store"_s} << u"/home/u"_s;
        QTest::newRow("--store= empty") << QStringList {u"--store="_s} << u"/home/u"_s;
        QTest::newRow("no home for the data folder") << QStringList() << QString();
    }
    void wrongCommandLines()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, home);
        const StoreContext context {Layout::Packaged, u"/usr/bin"_s, arguments, QString(), home, u"/"_s};
        QString error;
        QVERIFY(!chooseStore(context, &error));
        QVERIFY(!error.isEmpty());
    }
};

QTEST_GUILESS_MAIN(StoreLocationTest)
#include "store_location_test.moc"
