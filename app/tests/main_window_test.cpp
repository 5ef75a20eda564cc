#include "app/main_window.h"
#include "tests/support/test_support.h"
#include "widgets/byte_line_edit.h"
#include "widgets/fonts.h"
#include "widgets/picture_button.h"
#include "widgets/query_box.h"

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>

#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using telvane::app::MainWindow;
using telvane::store::DirectoryStore;
using namespace telvane::testing;

namespace {

struct Message
{
    QString title;
    QString text;
};
QList<Message> g_messages;

QStringList rowTexts(MainWindow& w)
{
    return {w.标签表1->text(), w.标签表2->text(), w.标签表3->text(), w.标签表4->text(), w.标签表5->text()};
}

} // namespace

class MainWindowTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        telvane::widgets::installFontSubstitutes();
        MainWindow::setMessageSink([](const QString& title, const QString& text) { g_messages.append({title, text}); });
    }
    void init() { g_messages.clear(); }

    // The form as drawn: every control inside the window, none over another but 确定按钮, which lies on top of the
    // right part of 查询框 (it shows in Entry mode, where 查询框 holds the record count); each caption names its box
    // as a screen reader does. That the texts fit their controls is font_fit_test's part.
    void formLayout()
    {
        QTemporaryDir dir;
        MainWindow w(dir.path());
        const QList<QWidget*> controls = w.findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
        QCOMPARE(controls.size(), 33);
        for (QWidget* c : controls) {
            const QString name = c->objectName();
            QVERIFY2(w.rect().contains(c->geometry()), qPrintable(name));
            for (QWidget* other : controls) {
                const bool intended = QSet {c, other} == QSet<QWidget*> {w.确定按钮, w.查询框};
                QVERIFY2(c == other || intended || !c->geometry().intersects(other->geometry()),
                         qPrintable(name + u" overlaps "_s + other->objectName()));
            }
            if (auto* label = qobject_cast<QLabel*>(c)) {
                QCOMPARE(label->font().family(), u"宋体"_s);
                if (label->buddy()) {
                    QCOMPARE(label->text().trimmed(),
                             QAccessible::queryAccessibleInterface(label->buddy())->text(QAccessible::Name));
                }
            } else if (auto* edit = qobject_cast<QLineEdit*>(c)) {
                QVERIFY(edit->text().isEmpty());
                QCOMPARE(edit->font().family(), u"宋体"_s);
                QCOMPARE(edit->font().pixelSize(), 16);
            } else {
                QVERIFY2(qobject_cast<telvane::widgets::PictureButton*>(c), qPrintable(name));
            }
        }
        const QRect save = w.确定按钮->geometry();
        const QRect query = w.查询框->geometry();
        QVERIFY(save.intersects(query) && save.left() > query.left() && save.right() >= query.right());
        QVERIFY(controls.indexOf(w.确定按钮) > controls.indexOf(w.查询框));
    }

    void accessibleNames_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<bool>("entryMode");
        QTest::addColumn<QString>("name");
        const char* const spoken[][2] = {{"导入按钮", "导入"},   {"帮助按钮", "帮助"},      {"关闭按钮", "关闭"},
                                         {"查询按钮", "查询"},   {"输入按钮", "增加"},      {"表格按钮", "修改"},
                                         {"确定按钮", "存盘"},   {"上翻页按钮", "上一页"},  {"下翻页按钮", "下一页"},
                                         {"姓名框", "姓名"},     {"手机框", "手机"},        {"家里框", "宅电"},
                                         {"单位框", "单位"},     {"办公框", "工作电话"},    {"备注框", "备注"},
                                         {"小灵通框", "小灵通"}, {"查询框", "智能查询输入"}};
        for (const auto& [control, name] : spoken) {
            QTest::newRow(control) << QString::fromUtf8(control) << false << QString::fromUtf8(name);
        }
        QTest::newRow("查询框 in Entry mode") << u"查询框"_s << true << u"总记录数"_s;
    }
    // What a screen reader is told each control is called.
    void accessibleNames()
    {
        QFETCH(QString, control);
        QFETCH(bool, entryMode);
        QFETCH(QString, name);
        QTemporaryDir dir;
        MainWindow w(dir.path());
        if (entryMode) {
            w.enterEntryMode();
        }
        auto* c = w.findChild<QWidget*>(control);
        QVERIFY(c);
        QAccessibleInterface* spoken = QAccessible::queryAccessibleInterface(c);
        QVERIFY(spoken);
        QCOMPARE(spoken->text(QAccessible::Name), name);
    }

    void windowAndColours()
    {
        QTemporaryDir dir;
        MainWindow w(dir.path());
        QCOMPARE(w.size(), QSize(405, 210));
        QCOMPARE(w.pos(), QPoint(50, 50));
        QCOMPARE(w.windowTitle(), u"Quorvel v1.4"_s);
        QCOMPARE(w.说明标签->text(), u"快速电话查号程序,拥有智能搜索引擎. 使用Korvex编写"_s);
        QVERIFY(w.windowFlags() & Qt::FramelessWindowHint);
        QCOMPARE(w.说明标签8->palette().color(QPalette::WindowText), QColor(0, 96, 192));
        QCOMPARE(w.说明标签8->font().pixelSize(), 12);
        QCOMPARE(w.说明标签6->palette().color(QPalette::WindowText), QColor(255, 0, 0));
        QCOMPARE(w.说明标签6->font().pixelSize(), 14);
        QVERIFY(w.说明标签6->alignment() & Qt::AlignRight);
        QCOMPARE(w.数量标签->palette().color(QPalette::WindowText), QColor(128, 128, 128));
        QCOMPARE(w.标签表1->palette().color(QPalette::Window), QColor(193, 225, 255));
        QCOMPARE(w.标签表2->palette().color(QPalette::Window), QColor(236, 236, 236));
        QCOMPARE(w.标签表5->palette().color(QPalette::Window), QColor(193, 225, 255));
        QCOMPARE(w.姓名框->palette().color(QPalette::Base), QColor(236, 236, 236));
        QVERIFY(w.姓名框->alignment() & Qt::AlignHCenter);
        QCOMPARE(w.查询按钮->kind(), telvane::widgets::PictureButton::Kind::FourState);
        QCOMPARE(w.关闭按钮->kind(), telvane::widgets::PictureButton::Kind::ThreeState);
        QCOMPARE(w.确定按钮->kind(), telvane::widgets::PictureButton::Kind::Save);
        const std::pair<QLineEdit*, int> limits[] = {{w.姓名框, 10}, {w.手机框, 11}, {w.家里框, 13},   {w.单位框, 24},
                                                     {w.办公框, 13}, {w.备注框, 32}, {w.小灵通框, 13}, {w.查询框, 14}};
        for (auto [box, limit] : limits) {
            QCOMPARE(static_cast<telvane::widgets::ByteLimitedLineEdit*>(box)->maxBytes(), limit);
        }
    }

    void firstRunLandsInEntryMode()
    {
        QTemporaryDir dir;
        MainWindow w(dir.path());
        QVERIFY(showAndActivate(&w));
        QVERIFY(w.startUp());
        QVERIFY(g_messages.isEmpty());
        QCOMPARE(DirectoryStore::inspect(dir.filePath(u"DHB.EDB"_s)), telvane::store::FileState::Store);
        QCOMPARE(w.说明标签6->text(), u"总记录数"_s);
        QCOMPARE(w.查询框->text(), u"0"_s);
        QVERIFY(!w.查询框->isEnabled());
        QVERIFY(!w.查询框->hasFrame());
        QVERIFY(w.确定按钮->isVisible() && w.确定按钮->isEnabled());
        QVERIFY(w.查询按钮->isEnabled());
        QVERIFY(!w.输入按钮->isEnabled());
        QVERIFY(w.姓名框->isEnabled() && w.小灵通框->isEnabled());
        QCOMPARE(rowTexts(w).first(), u" 欢迎使用Dialora，本程序拥有智能中文首拼查询功能。"_s);
        QCOMPARE(rowTexts(w).last(), u" 您所输入的全部信息都被保存在 DHB.EDB 文件内。请妥善保存此文件。"_s);
        QTRY_COMPARE(focusName(), u"姓名框"_s);
        QCOMPARE(w.姓名框->palette().color(QPalette::Base), QColor(Qt::white));
    }

    void laterRunLandsInQueryMode()
    {
        QTemporaryDir dir;
        QVERIFY(!makeStore(dir, {{u"张三"_s}}).isEmpty());
        MainWindow w(dir.path());
        QVERIFY(showAndActivate(&w));
        QVERIFY(w.startUp());
        QCOMPARE(w.说明标签6->text(), u"智能查询输入"_s);
        QVERIFY(w.查询框->isEnabled() && w.查询框->hasFrame());
        QVERIFY(!w.确定按钮->isVisible());
        QVERIFY(!w.查询按钮->isEnabled());
        QVERIFY(w.输入按钮->isEnabled() && w.表格按钮->isEnabled());
        QVERIFY(!w.姓名框->isEnabled());
        QVERIFY(!w.上翻页按钮->isEnabled() && !w.下翻页按钮->isEnabled());
        QCOMPARE(rowTexts(w).first(), u" 请在智能查询输入框中输入要查询的电话号码，或汉字的首拼字母。"_s);
        QTRY_COMPARE(focusName(), u"查询框"_s);
        QCOMPARE(w.查询框->palette().color(QPalette::Base), QColor(255, 255, 0));
        QCOMPARE(w.store().recordCount(), 1);
    }

    void refusesAFileThatIsNotAStore_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("text file") << QByteArray("name,phone\n张三,123\n");
        QTest::newRow("binary") << QByteArray(3000, '\x9c');
    }
    void refusesAFileThatIsNotAStore()
    {
        QFETCH(QByteArray, content);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"DHB.EDB"_s);
        QVERIFY(writeFile(path, content));
        QFile::setPermissions(path, QFile::ReadOwner);
        const auto permissions = QFile::permissions(path);
        MainWindow w(dir.path());
        QVERIFY(!w.startUp());
        QCOMPARE(g_messages.size(), 1);
        QVERIFY(g_messages[0].text.contains(u"DHB.EDB"_s));
        QVERIFY(g_messages[0].text.contains(u"没有改动"_s));
        QCOMPARE(fileBytes(path), content);
        QCOMPARE(QFile::permissions(path), permissions);
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                 QStringList {u"DHB.EDB"_s});
        QVERIFY(!w.trayIcon());
    }

    void readOnlyFileIsMadeWritable()
    {
        QTemporaryDir dir;
        const QString path = makeStore(dir);
        QVERIFY(!path.isEmpty());
        QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup);
        MainWindow w(dir.path());
        QVERIFY(w.startUp());
        QVERIFY(QFile::permissions(path) & QFile::WriteOwner);
    }

    void readOnlyFolderIsRefused()
    {
        if (::geteuid() != 0) {
            QSKIP("needs root to mount a read-only folder (unshare -m and a read-only bind mount)");
        }
        QTemporaryDir dir;
        int pipeFd[2];
        QVERIFY(::pipe(pipeFd) == 0);
        const pid_t child = ::fork();
        if (child == 0) {
            ::close(pipeFd[0]);
            const QByteArray p = QFile::encodeName(dir.path());
            QByteArray report = "unshare-failed";
            if (::unshare(CLONE_NEWNS) == 0 && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0
                && ::mount(p.constData(), p.constData(), nullptr, MS_BIND, nullptr) == 0
                && ::mount(nullptr, p.constData(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) == 0) {
                MainWindow w(dir.path());
                const bool started = w.startUp();
                report = (started ? "started" : "refused") + QByteArray("\n");
                for (const auto& m : std::as_const(g_messages)) {
                    report += m.title.toUtf8() + '\n' + m.text.toUtf8() + '\n';
                }
                report += w.trayIcon() ? "tray" : "notray";
            }
            [[maybe_unused]] auto n = ::write(pipeFd[1], report.constData(), static_cast<size_t>(report.size()));
            ::_exit(0);
        }
        ::close(pipeFd[1]);
        QByteArray report;
        char buf[4096];
        ssize_t n;
        while ((n = ::read(pipeFd[0], buf, sizeof buf)) > 0) {
            report.append(buf, n);
        }
        ::close(pipeFd[0]);
        int status = 0;
        ::waitpid(child, &status, 0);
        if (report == "unshare-failed") {
            QSKIP("this machine does not allow a private mount namespace");
        }
        const QStringList lines = QString::fromUtf8(report).split(u'\n');
        QCOMPARE(lines.value(0), u"refused"_s);
        QCOMPARE(lines.value(1), u" 程序不能在只读环境中运行。"_s);
        QCOMPARE(
            lines.value(2),
            u"    本程序在只读环境中无法正常运行，请取消磁盘的写保护。如果程序在光盘中,请将程序复制到硬盘或优盘中使用。"_s);
        QCOMPARE(lines.value(3), u"notray"_s);
        QVERIFY(!QFile::exists(dir.filePath(u"DHB.EDB"_s)));
        QVERIFY(MainWindow::folderIsWritable(dir.path()));
    }

    void folderTestDecidesByWriting_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("writable");
        // The folder belongs to root; the program runs as another user.
        QTest::newRow("someone else's folder, open to all") << 0777 << true;
        QTest::newRow("someone else's folder, sticky like /tmp") << 01777 << true;
        QTest::newRow("someone else's folder, read-only to others") << 0755 << false;
    }
    void folderTestDecidesByWriting()
    {
        QFETCH(int, mode);
        QFETCH(bool, writable);
        if (::geteuid() != 0) {
            QSKIP("needs root to run the test as another user");
        }
        QTemporaryDir dir;
        QVERIFY(::chmod(QFile::encodeName(dir.path()).constData(), static_cast<mode_t>(mode)) == 0);
        const pid_t child = ::fork();
        if (child == 0) {
            const bool dropped = ::setgid(65534) == 0 && ::setuid(65534) == 0;
            ::_exit(!dropped ? 2 : MainWindow::folderIsWritable(dir.path()) ? 0 : 1);
        }
        int status = 0;
        QCOMPARE(::waitpid(child, &status, 0), child);
        QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) != 2);
        QCOMPARE(WEXITSTATUS(status) == 0, writable);
        // Nothing is left behind by the probe.
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());
    }

    void focusOrderAndLowerCase()
    {
        QTemporaryDir dir;
        MainWindow w(dir.path());
        QVERIFY(showAndActivate(&w));
        QVERIFY(w.startUp());
        // First run: entry mode; Tab walks the boxes row by row and lands on the Save button past 查询框.
        QTRY_COMPARE(focusName(), u"姓名框"_s);
        const QStringList order {u"手机框"_s, u"家里框"_s,   u"单位框"_s,  u"办公框"_s,
                                 u"备注框"_s, u"小灵通框"_s, u"确定按钮"_s};
        for (const QString& next : order) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QTRY_COMPARE(focusName(), next);
        }
        w.查询按钮->click();
        QTRY_COMPARE(focusName(), u"查询框"_s);
        QTest::keyClicks(w.查询框, u"ZS"_s);
        QCOMPARE(w.查询框->text(), u"zs"_s);
        w.查询框->clear();
        QTest::keyClicks(w.查询框, u"13A"_s);
        QCOMPARE(w.查询框->text(), u"13a"_s);
    }

    void byteLimitOfTheNameBox()
    {
        QTemporaryDir dir;
        MainWindow w(dir.path());
        QVERIFY(showAndActivate(&w));
        QVERIFY(w.startUp());
        typeText(w.姓名框, u"张三李四王五"_s);
        QCOMPARE(w.姓名框->text(), u"张三李四王"_s);
        w.姓名框->clear();
        // Latin letters are stored full-width, two bytes each: five fit.
        QTest::keyClicks(w.姓名框, u"abcdefghijkl"_s);
        QCOMPARE(w.姓名框->text(), u"abcde"_s);
        // The remark counts them as they are stored: one byte each.
        QTest::keyClicks(w.备注框, QString(40, u'x'));
        QCOMPARE(w.备注框->text(), QString(32, u'x'));
    }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
