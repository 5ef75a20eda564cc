#pragma once

#include "query/main_controls.h"
#include "query/paging.h"
#include "query/search.h"

#include <QColor>
#include <QString>

#include <string>

namespace telvane::store {
class DirectoryStore;
}

namespace telvane::query {

// Colours of the result rows and the query box.
inline const QColor kYellow {255, 255, 0};
inline const QColor kRowBlue {193, 225, 255};
inline const QColor kRowGrey {236, 236, 236};
inline const QColor kWhite {255, 255, 255};

// Query mode of the Main window: the query box, the search on each changed key, the five result rows with
// their paging, and the selected record in the seven boxes. It holds the smart query's state: the Result list
// (in the searcher), the Current page, Selected row and Hover row (in the paging), and the Last query.
class QueryMode
{
public:
    QueryMode(const MainControls& controls, store::DirectoryStore& store);

    void enterQueryMode();
    void keyDown(int key);
    void keyUp();
    void gotFocus();
    void lostFocus();

    void fillRows();
    void updatePageButtons();
    void nextPage();
    void previousPage();
    void moveSelection(bool up);
    void showRow(int row);
    void hover(int row);
    void leaveRows();
    void clearRows();
    enum class HelpLines { Query, Welcome };
    void showHelpLines(HelpLines lines);

    // Empties the Result list (entry mode does this too).
    void clearResults() { m_searcher.clearResults(); }
    // Empties the seven record boxes.
    void clearEntryBoxes();
    // The row text of the result with 1-based ordinal `ordinal` for record number `record`.
    QString rowText(int ordinal, int record);

    Paging& paging() { return m_paging; }
    const std::vector<std::int32_t>& results() const { return m_searcher.results(); }
    const std::string& lastQuery() const { return m_lastQuery; }

private:
    int total() const { return static_cast<int>(m_searcher.results().size()); }
    void paintRows();

    MainControls m_controls;
    store::DirectoryStore& m_store;
    Searcher m_searcher;
    Paging m_paging;
    std::string m_lastQuery;
};

// Paints a label's or box's background.
void setBackground(QWidget* widget, const QColor& colour);

} // namespace telvane::query
