#include "query/query_mode.h"

#include "store/directory_store.h"
#include "text/gbk.h"

#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>

using namespace Qt::StringLiterals;

namespace telvane::query {

namespace {

const std::array<QString, 5> kQueryHelpLines {
    u" 请在智能查询输入框中输入要查询的电话号码，或汉字的首拼字母。"_s,
    u" 查询电话号码，可以输入电话号中任意几位连续数字进行模糊查询。"_s,
    u" 查询汉字信息时，只需输入每个字的拼音声母即可查询，非常方便。"_s,
    u" 汉字查询同样也可以输入中间几个连续字的声母进行模糊查询。"_s,
    u" 遇到韵母字时须将韵母全部输入。如：二(er)、安(an)、昂(ang)等。"_s,
};

const std::array<QString, 5> kWelcomeLines {
    u" 欢迎使用Dialora，本程序拥有智能中文首拼查询功能。"_s,
    u" 首次运行本程序时，会在程序所在文件夹内创建数据库文件 DHB.EDB 。"_s,
    u" 新建的数据库文件是空文件，您必须输入一些信息才能使用查询功能。"_s,
    u" 您可以逐条输入信息，也可从Excel电子表格中用复制和粘贴导入信息。"_s,
    u" 您所输入的全部信息都被保存在 DHB.EDB 文件内。请妥善保存此文件。"_s,
};

QColor stripe(int row)
{
    return row % 2 == 1 ? kRowBlue : kRowGrey;
}

} // namespace

void setBackground(QWidget* widget, const QColor& colour)
{
    QPalette p = widget->palette();
    p.setColor(QPalette::Window, colour);
    p.setColor(QPalette::Base, colour);
    widget->setPalette(p);
    widget->setAutoFillBackground(true);
}

QueryMode::QueryMode(const MainControls& controls, store::DirectoryStore& store)
    : m_controls(controls)
    , m_store(store)
{ }

void QueryMode::enterQueryMode()
{
    m_controls.queryButton->setEnabled(false);
    m_controls.entryButton->setEnabled(true);
    m_controls.gridButton->setEnabled(true);
    m_controls.saveButton->setEnabled(false);
    m_controls.saveButton->setVisible(false);
    m_controls.queryBox->setFrame(true);
    m_controls.queryBox->setEnabled(true);
    for (QLineEdit* box : m_controls.fieldBoxes) {
        box->setEnabled(false);
    }
    m_controls.previousButton->setEnabled(false);
    m_controls.nextButton->setEnabled(false);
    m_controls.queryCaption->setText(u"智能查询输入"_s);
    m_controls.queryBox->setText(QString());
    m_lastQuery.clear();
    m_controls.queryBox->setFocus(Qt::OtherFocusReason);
    m_searcher.clearResults();
    clearEntryBoxes();
    showHelpLines(HelpLines::Query);
}

void QueryMode::keyDown(int key)
{
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        m_controls.queryBox->selectAll();
    }
    clearRows();
    switch (key) {
        case Qt::Key_PageUp:
        case Qt::Key_Left:
            previousPage();
            break;
        case Qt::Key_PageDown:
        case Qt::Key_Right:
            nextPage();
            break;
        case Qt::Key_Up:
            moveSelection(true);
            break;
        case Qt::Key_Down:
            moveSelection(false);
            break;
        default:
            break;
    }
}

void QueryMode::keyUp()
{
    std::string query = text::toGbk(m_controls.queryBox->text());
    if (query != m_lastQuery) {
        m_lastQuery = std::move(query);
        m_searcher.search(m_lastQuery, m_store);
    }
    updatePageButtons();
    fillRows();
    showRow(m_paging.selectedRow());
}

void QueryMode::gotFocus()
{
    setBackground(m_controls.queryBox, kYellow);
    m_controls.queryBox->selectAll();
}

void QueryMode::lostFocus()
{
    setBackground(m_controls.queryBox, kWhite);
}

void QueryMode::paintRows()
{
    for (int r = 1; r <= Paging::kRows; ++r) {
        setBackground(m_controls.rows[static_cast<std::size_t>(r - 1)],
                      r == m_paging.selectedRow() ? kYellow : stripe(r));
    }
}

void QueryMode::fillRows()
{
    const int n = total();
    m_paging.clampSelection(n);
    paintRows();
    if (n > 0) {
        m_controls.countLabel->setText(QString::number(n) + u"条"_s);
        m_controls.pageLabel->setText(QString::number(m_paging.currentPage() + 1) + u"/"_s
                                      + QString::number(Paging::pages(n)) + u"页"_s);
    } else {
        m_controls.countLabel->setText(QString());
        m_controls.pageLabel->setText(QString());
    }
    const int on = m_paging.on(n);
    const int base = m_paging.base();
    for (int r = 1; r <= Paging::kRows; ++r) {
        QLabel* row = m_controls.rows[static_cast<std::size_t>(r - 1)];
        if (on >= r) {
            row->setText(rowText(base + r, m_searcher.results()[static_cast<std::size_t>(base + r - 1)]));
        } else {
            row->setText(QString());
        }
    }
}

QString QueryMode::rowText(int ordinal, int record)
{
    m_store.moveTo(record);
    std::string line = text::decimal(ordinal);
    for (std::size_t f = 1; f <= store::kFieldCount; ++f) {
        line += ' ';
        line += m_store.readField(f);
    }
    return text::fromGbk(line);
}

void QueryMode::updatePageButtons()
{
    const Paging::Buttons b = m_paging.updateButtons(total());
    m_controls.previousButton->setEnabled(b.previous);
    m_controls.nextButton->setEnabled(b.next);
}

void QueryMode::nextPage()
{
    if (m_paging.nextPage(total())) {
        fillRows();
    }
    updatePageButtons();
    showRow(m_paging.selectedRow());
}

void QueryMode::previousPage()
{
    if (m_paging.previousPage(total())) {
        fillRows();
    }
    updatePageButtons();
    showRow(m_paging.selectedRow());
}

void QueryMode::moveSelection(bool up)
{
    if (up) {
        m_paging.moveUp(total());
    } else {
        m_paging.moveDown(total());
    }
    fillRows();
}

void QueryMode::showRow(int row)
{
    const auto index = m_paging.resultIndex(row, total());
    if (!index) {
        return;
    }
    m_store.moveTo(m_searcher.results()[static_cast<std::size_t>(*index)]);
    for (std::size_t f = 1; f <= store::kFieldCount; ++f) {
        QLineEdit* box = m_controls.fieldBoxes[static_cast<std::size_t>(f - 1)];
        box->setText(text::fromGbk(m_store.readField(f)));
        // Show the beginning of a value wider than its box.
        box->setCursorPosition(0);
    }
}

void QueryMode::hover(int row)
{
    if (m_paging.hoverRow() == row) {
        return;
    }
    // The paging records the row as hovered and selected; paint it and show its record first.
    for (int r = 1; r <= Paging::kRows; ++r) {
        setBackground(m_controls.rows[static_cast<std::size_t>(r - 1)], r == row ? kYellow : stripe(r));
    }
    showRow(row);
    m_paging.hover(row);
}

void QueryMode::leaveRows()
{
    if (!m_paging.leave()) {
        return;
    }
    for (int r = 1; r <= Paging::kRows; ++r) {
        setBackground(m_controls.rows[static_cast<std::size_t>(r - 1)], stripe(r));
    }
}

void QueryMode::clearRows()
{
    for (QLabel* row : m_controls.rows) {
        row->setText(QString());
    }
}

void QueryMode::showHelpLines(HelpLines lines)
{
    const auto& texts = lines == HelpLines::Query ? kQueryHelpLines : kWelcomeLines;
    for (std::size_t r = 0; r < texts.size(); ++r) {
        m_controls.rows[r]->setText(texts[r]);
    }
}

void QueryMode::clearEntryBoxes()
{
    for (QLineEdit* box : m_controls.fieldBoxes) {
        box->setText(QString());
    }
}

} // namespace telvane::query
