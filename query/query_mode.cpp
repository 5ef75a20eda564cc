#include "query/query_mode.h"

#include "query/directory.h"
#include "query/result_row.h"
#include "store/directory_store.h"
#include "text/gbk.h"

#include <Qt>

using namespace Qt::StringLiterals;

namespace telvane::query {

namespace {

const std::array<QString, Paging::kRows> kQueryHelpLines {
    u" 请在智能查询输入框中输入要查询的电话号码，或汉字的首拼字母。"_s,
    u" 查询电话号码，可以输入电话号中任意几位连续数字进行模糊查询。"_s,
    u" 查询汉字信息时，只需输入每个字的拼音声母即可查询，非常方便。"_s,
    u" 汉字查询同样也可以输入中间几个连续字的声母进行模糊查询。"_s,
    u" 遇到韵母字时须将韵母全部输入。如：二(er)、安(an)、昂(ang)等。"_s,
};

const std::array<QString, Paging::kRows> kWelcomeLines {
    u" 欢迎使用Dialora，本程序拥有智能中文首拼查询功能。"_s,
    u" 首次运行本程序时，会在程序所在文件夹内创建数据库文件 DHB.EDB 。"_s,
    u" 新建的数据库文件是空文件，您必须输入一些信息才能使用查询功能。"_s,
    u" 您可以逐条输入信息，也可从Excel电子表格中用复制和粘贴导入信息。"_s,
    u" 您所输入的全部信息都被保存在 DHB.EDB 文件内。请妥善保存此文件。"_s,
};

} // namespace

QueryMode::QueryMode(store::DirectoryStore& store, Directory& directory)
    : m_store(store)
    , m_directory(directory)
{ }

void QueryMode::enter()
{
    m_view.previousEnabled = false;
    m_view.nextEnabled = false;
    m_lastQuery.clear();
    clearResults();
    m_view.boxes = {};
    showHelpLines(HelpLines::Query);
}

void QueryMode::keyDown(int key)
{
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

void QueryMode::keyUp(const QString& text)
{
    std::string query = text::toGbk(text);
    if (query != m_lastQuery) {
        m_lastQuery = std::move(query);
        search();
    }
    updatePageButtons();
    fillRows();
    showRow(m_paging.selectedRow());
}

void QueryMode::search()
{
    const std::vector<std::int32_t>* found = m_directory.search(m_lastQuery);
    m_waiting = found == nullptr;
    // A list of its own size: a long one before (a query of one digit finds nearly everyone) is given back.
    m_results = found ? std::vector<std::int32_t>(found->begin(), found->end()) : std::vector<std::int32_t>();
    m_directory.trimResults();
    // The rows name their records by key from here on: another program may number the records anew (deleting one
    // before them), but a key stays with its person.
    if (found) {
        m_store.ids();
        m_numbering = m_store.generation();
    }
    ++m_resultsVersion;
}

bool QueryMode::readResult(int index, store::Record* record)
{
    if (m_store.generation() == m_numbering
        && m_store.recordById(m_store.numberedId(m_results[static_cast<std::size_t>(index)]), record)) {
        return true;
    }
    // Another program removed it, or the records were numbered anew since: the rows are searched again rather than
    // show anyone else.
    m_stale = true;
    return false;
}

void QueryMode::searchAgainIfStale()
{
    if (!m_stale || m_searchingAgain) {
        return;
    }
    // Once: the search after another program wrote waits for the index (ready() answers it), so it finds no gone
    // record.
    m_searchingAgain = true;
    search();
    updatePageButtons();
    fillRows();
    m_stale = false;
    m_searchingAgain = false;
}

void QueryMode::directoryReady()
{
    if (!m_waiting && m_lastQuery.empty()) {
        return;
    }
    // What the key-up would have shown, had the index been ready then.
    search();
    updatePageButtons();
    fillRows();
    showRow(m_paging.selectedRow());
}

void QueryMode::fillRows()
{
    const int n = total();
    m_paging.clampSelection(n);
    m_view.yellowRow = m_paging.selectedRow() >= 1 ? m_paging.selectedRow() : 0;
    if (n > 0) {
        m_view.count = QString::number(n) + u"条"_s;
        m_view.page =
            QString::number(m_paging.currentPage() + 1) + u"/"_s + QString::number(Paging::pages(n)) + u"页"_s;
    } else {
        m_view.count.clear();
        m_view.page.clear();
    }
    const Filled now {m_resultsVersion, m_store.dataVersion(), m_paging.currentPage()};
    if (now == m_filled) {
        // Made from the same results and page before (a key-down filled them, or cleared them since): the same
        // texts come back without reading a record again.
        m_view.rows = m_filledRows;
        return;
    }
    const int on = m_paging.on(n);
    const int base = m_paging.base();
    for (int r = 1; r <= Paging::kRows; ++r) {
        QString& row = m_view.rows[static_cast<std::size_t>(r - 1)];
        store::Record record;
        if (on >= r && readResult(base + r - 1, &record)) {
            row = text::fromGbk(resultRow(base + r, record));
        } else {
            row.clear();
        }
    }
    m_filled = now;
    m_filledRows = m_view.rows;
    searchAgainIfStale();
}

void QueryMode::updatePageButtons()
{
    const Paging::Buttons b = m_paging.updateButtons(total());
    m_view.previousEnabled = b.previous;
    m_view.nextEnabled = b.next;
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
    store::Record record;
    if (!readResult(*index, &record)) {
        searchAgainIfStale();
        return;
    }
    for (std::size_t f = 0; f < store::kFieldCount; ++f) {
        m_view.boxes[f] = text::fromGbk(record[f]);
    }
}

void QueryMode::hover(int row)
{
    if (m_paging.hoverRow() == row) {
        return;
    }
    // The paging records the row as hovered and selected; it is painted and its record shown first.
    m_view.yellowRow = row;
    showRow(row);
    m_paging.hover(row);
}

void QueryMode::leaveRows()
{
    if (m_paging.leave()) {
        m_view.yellowRow = 0;
    }
}

void QueryMode::clearRows()
{
    m_view.rows = {};
}

void QueryMode::showHelpLines(HelpLines lines)
{
    m_view.rows = lines == HelpLines::Query ? kQueryHelpLines : kWelcomeLines;
}

} // namespace telvane::query
