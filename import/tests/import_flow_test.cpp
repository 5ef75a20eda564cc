// The import window's states and commands without the window, through a whole batch and the refusals on the way.
#include "import/import_flow.h"

#include <QTest>

using telvane::import::ImportFlow;
using State = ImportFlow::State;
using Tidy = ImportFlow::TidyStep;
using Import = ImportFlow::ImportStep;

class ImportFlowTest : public QObject
{
    Q_OBJECT

private slots:
    void aBatchGoesRound()
    {
        ImportFlow flow;
        QCOMPARE(flow.state(), State::Entering);
        QCOMPARE(flow.importClicked(true), Import::Nothing);
        QCOMPARE(flow.tidyClicked(false), Tidy::EmptyHint);
        QCOMPARE(flow.state(), State::Entering);

        QCOMPARE(flow.tidyClicked(true), Tidy::Tidy);
        QCOMPARE(flow.state(), State::Tidying);
        // Nothing starts while the boxes are being tidied.
        QCOMPARE(flow.tidyClicked(true), Tidy::Nothing);
        QCOMPARE(flow.importClicked(true), Import::Nothing);
        flow.tidyFinished();
        QCOMPARE(flow.state(), State::Tidied);
        flow.tidyFinished();
        QCOMPARE(flow.state(), State::Tidied);

        QCOMPARE(flow.importClicked(false), Import::EmptyHint);
        QCOMPARE(flow.importClicked(true), Import::Import);
        QVERIFY(!flow.importDone());
        flow.imported();
        QCOMPARE(flow.state(), State::Entering);
        QVERIFY(flow.importDone());

        // A second batch tidied, then started again without importing: the first import still counts.
        QCOMPARE(flow.tidyClicked(true), Tidy::Tidy);
        flow.tidyFinished();
        QCOMPARE(flow.tidyClicked(false), Tidy::EmptyHint);
        QCOMPARE(flow.state(), State::Tidied);
        QCOMPARE(flow.tidyClicked(true), Tidy::StartAgain);
        QCOMPARE(flow.state(), State::Entering);
        QVERIFY(flow.importDone());
    }
};

QTEST_GUILESS_MAIN(ImportFlowTest)
#include "import_flow_test.moc"
