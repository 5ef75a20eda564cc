// The Main window's rules without the window: what start-up does with the folder and file it finds, and the mode
// table the two modes apply.
#include "app/main_rules.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace telvane;
using app::FolderAccess;
using app::StartPlan;
using store::FileState;

Q_DECLARE_METATYPE(FolderAccess)
Q_DECLARE_METATYPE(FileState)
Q_DECLARE_METATYPE(StartPlan::Step)

class MainRulesTest : public QObject
{
    Q_OBJECT

private slots:
    void startUpPlan_data()
    {
        QTest::addColumn<FolderAccess>("access");
        QTest::addColumn<FileState>("state");
        QTest::addColumn<StartPlan::Step>("step");
        QTest::addColumn<QString>("said"); // in the refusal
        QTest::newRow("first run") << FolderAccess::Writable << FileState::Missing << StartPlan::Step::Create
                                   << QString();
        QTest::newRow("later runs") << FolderAccess::Writable << FileState::Store << StartPlan::Step::Open << QString();
        QTest::newRow("read-only folder, before looking at the file")
            << FolderAccess::ReadOnly << FileState::Store << StartPlan::Step::Refuse << u"只读环境"_s;
        QTest::newRow("full disk is no refusal")
            << FolderAccess::Full << FileState::Store << StartPlan::Step::Open << QString();
        QTest::newRow("a file that is no store")
            << FolderAccess::Writable << FileState::NotSqlite << StartPlan::Step::Refuse << u"没有改动这个文件"_s;
        QTest::newRow("a store that acts")
            << FolderAccess::Full << FileState::Unsafe << StartPlan::Step::Refuse << u"触发器"_s;
    }
    void startUpPlan()
    {
        QFETCH(FolderAccess, access);
        QFETCH(FileState, state);
        QFETCH(StartPlan::Step, step);
        QFETCH(QString, said);
        const StartPlan plan = app::planStart(access, state, u"/x/DHB.EDB"_s);
        QCOMPARE(plan.step, step);
        QCOMPARE(plan.refusal.text.contains(said) && !plan.refusal.text.isEmpty(), !said.isEmpty());
        QCOMPARE(plan.fullDisk, access == FolderAccess::Full && step != StartPlan::Step::Refuse);
    }

    // The read-only refusal's title and content, blanks included.
    void readOnlyRefusalWords()
    {
        const app::Message m = app::planStart(FolderAccess::ReadOnly, FileState::Missing, {}).refusal;
        QCOMPARE(m.title, u" 程序不能在只读环境中运行。"_s);
        QVERIFY(m.text.startsWith(u"    本程序在只读环境中无法正常运行"_s));
    }

    void probeTellsAWritableFolder()
    {
        QTemporaryDir dir;
        QCOMPARE(app::probeFolder(dir.path()), FolderAccess::Writable);
        QCOMPARE(app::probeFolder(dir.filePath(u"no such folder"_s)), FolderAccess::ReadOnly);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 0);
    }

    // The two modes are each other's opposite, but for 表格按钮, which both enable.
    void modesAreOpposite()
    {
        const app::ModeControls query = app::controlsIn(app::Mode::Query);
        const app::ModeControls entry = app::controlsIn(app::Mode::Entry);
        QCOMPARE(query.queryButton, !entry.queryButton);
        QCOMPARE(query.entryButton, !entry.entryButton);
        QVERIFY(query.gridButton && entry.gridButton);
        QCOMPARE(query.saveButton, !entry.saveButton);
        QCOMPARE(query.queryBox, !entry.queryBox);
        QCOMPARE(query.recordBoxes, !entry.recordBoxes);
        QVERIFY(!query.queryButton && query.queryBox && !query.saveButton);
    }
};

QTEST_GUILESS_MAIN(MainRulesTest)
#include "main_rules_test.moc"
