#pragma once

#include "query/paging.h"
#include "store/record.h"

#include <QString>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace telvane::store {
class DirectoryStore;
}

namespace telvane::query {

class Directory;

// What Query mode shows in the Main window, as plain values: the window paints exactly this.
struct QueryView
{
    std::array<QString, Paging::kRows> rows; // 标签表1 .. 标签表5
    int yellowRow = 0; // the row painted yellow (selected or under the mouse); the others show their stripes
    QString count; // 数量标签
    QString page; // 页数标签
    bool previousEnabled = false; // 上翻页按钮
    bool nextEnabled = false; // 下翻页按钮
    store::RecordTexts boxes; // 姓名框 .. 小灵通框, in field order
    bool operator==(const QueryView&) const = default;
};

// Query mode of the Main window: the query box's search on each changed key, the five result rows with their
// paging, and the selected record in the seven boxes. It holds the smart query's state (the Result list, the Current
// page, Selected row and Hover row, and the Last query) and the view they make; each command changes the view as the
// window's event would, and the window paints it.
class QueryMode
{
public:
    // Searches through `directory`, reads the records shown from `store`.
    QueryMode(store::DirectoryStore& store, Directory& directory);

    const QueryView& view() const { return m_view; }

    // Query mode begins: the Result list, the Last query and the seven boxes are emptied, the Query help lines shown
    // and both page buttons disabled. The page, the Selected row and the two labels stay as they are.
    void enter();
    // A key goes down in 查询框: the rows are cleared, then the navigation keys page or move the selection.
    void keyDown(int key);
    // A key comes up in 查询框, which now holds `text`: a changed text is searched, then the page buttons, the rows
    // and the seven boxes are brought up to date.
    void keyUp(const QString& text);
    // The directory's index is ready again (built at start-up, or again after another program wrote): a search that
    // waited for it runs now, and the results shown are searched again, since the records may be numbered anew.
    void directoryReady();
    // Whether the last search waits for the directory's index.
    bool isWaiting() const { return m_waiting; }
    void nextPage();
    void previousPage();
    // The mouse entered row 1..5 / the window's own surface.
    void hover(int row);
    void leaveRows();
    void clearRows();
    enum class HelpLines { Query, Welcome };
    void showHelpLines(HelpLines lines);
    // Entry mode empties the Result list and the seven boxes too.
    void clearResults()
    {
        m_results.clear();
        m_waiting = false;
        ++m_resultsVersion;
    }
    void clearBoxes() { m_view.boxes = {}; }
    void setSelectedRow(int row) { m_paging.setSelectedRow(row); }

    const std::vector<std::int32_t>& results() const { return m_results; }
    const std::string& lastQuery() const { return m_lastQuery; }
    const Paging& paging() const { return m_paging; }

private:
    int total() const { return static_cast<int>(m_results.size()); }
    // Runs Search on the Last query; the results wait when the directory's index is not ready.
    void search();
    void fillRows();
    void updatePageButtons();
    void showRow(int row);
    void moveSelection(bool up);
    // Result `index` (0-based) as the file holds it now; false (and the rows marked stale) when it is gone.
    bool readResult(int index, store::Record* record);
    // Searches again when a result turned out to be gone.
    void searchAgainIfStale();

    store::DirectoryStore& m_store;
    Directory& m_directory;
    std::vector<std::int32_t> m_results;
    // The store's numbering the results were found in: while it holds, result n's record is the one with the key
    // numbered n then (appending never renumbers), so a key stays with its person without copying every key.
    std::uint64_t m_numbering = 0;
    bool m_stale = false;
    bool m_searchingAgain = false;
    bool m_waiting = false;
    Paging m_paging;
    std::string m_lastQuery;
    QueryView m_view;
    // What the row texts were last made from, so a key-up after a key-down that already filled them reads no record
    // again.
    struct Filled
    {
        std::uint64_t results = 0;
        std::int64_t store = 0;
        int page = -1;
        bool operator==(const Filled&) const = default;
    };
    Filled m_filled;
    std::array<QString, Paging::kRows> m_filledRows;
    std::uint64_t m_resultsVersion = 0;
};

} // namespace telvane::query
