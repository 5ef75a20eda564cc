#include "widgets/qt_translations.h"

#include <QDialogButtonBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QtTest>

#include <algorithm>
#include <memory>

using namespace Qt::StringLiterals;
using namespace telvane::widgets;

class QtTranslationsTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void editMenuInChinese_data();
    void editMenuInChinese();
    void dialogButtonsInChinese();
};

void QtTranslationsTest::initTestCase()
{
    // The tests run in the C locale: the texts must be Chinese whatever the desktop's language.
    QVERIFY2(installQtTranslations(), "Qt's zh_CN catalogue is missing (qt6-translations-l10n)");
}

void QtTranslationsTest::editMenuInChinese_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QStringList>("texts");
    // Entries and separators in the menu's order. Qt's catalogue writes Undo in the older form 撤消.
    QTest::newRow("undo") << 0 << QStringList {u"撤销"_s, u"撤消"_s};
    QTest::newRow("redo") << 1 << QStringList {u"重做"_s};
    QTest::newRow("cut") << 3 << QStringList {u"剪切"_s};
    QTest::newRow("copy") << 4 << QStringList {u"复制"_s};
    QTest::newRow("paste") << 5 << QStringList {u"粘贴"_s};
    QTest::newRow("delete") << 6 << QStringList {u"删除"_s};
    QTest::newRow("select all") << 8 << QStringList {u"全选"_s};
}

// The menu an edit box shows on the right mouse button.
void QtTranslationsTest::editMenuInChinese()
{
    QFETCH(int, index);
    QFETCH(QStringList, texts);
    QLineEdit box;
    const std::unique_ptr<QMenu> menu(box.createStandardContextMenu());
    const QList<QAction*> actions = menu->actions();
    QVERIFY(index < actions.size());
    const QString shown = actions[index]->text(); // as "撤消(&U)\tCtrl+Z"
    QVERIFY2(std::any_of(texts.begin(), texts.end(), [&](const QString& t) { return shown.startsWith(t); }),
             qPrintable(shown));
}

void QtTranslationsTest::dialogButtonsInChinese()
{
    QDialogButtonBox buttons(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    QCOMPARE(buttons.button(QDialogButtonBox::Ok)->text().remove(u'&'), u"确定"_s);
    QVERIFY(buttons.button(QDialogButtonBox::Cancel)->text().startsWith(u"取消"_s));
}

QTEST_MAIN(QtTranslationsTest)
#include "qt_translations_test.moc"
