#pragma once

#include "query/main_controls.h"

#include <QString>

class QLineEdit;

namespace telvane::store {
class DirectoryStore;
}
namespace telvane::query {
class QueryMode;
}

namespace telvane::entry {

// Entry mode of the Main window: the seven boxes take a new record, 确定按钮 stores it, and 查询框 shows the
// record count. Also holds the window's Enter-advances-focus switch, which walks Enter through the boxes.
class EntryMode
{
public:
    EntryMode(const query::MainControls& controls, store::DirectoryStore& store, query::QueryMode& queryMode);

    void enterEntryMode();
    // Stores the typed record. When the store refuses it, the boxes keep what was typed, the counter stays, and
    // the reason is returned in *error.
    bool saveEntry(QString* error);

    void boxGotFocus(QLineEdit* box);
    void boxLostFocus(QLineEdit* box);
    void saveButtonGotFocus() { m_enterAdvancesFocus = false; }
    bool enterAdvancesFocus() const { return m_enterAdvancesFocus; }

    // Shows the record count in 查询框.
    void showRecordCount();

private:
    query::MainControls m_controls;
    store::DirectoryStore& m_store;
    query::QueryMode& m_queryMode;
    bool m_enterAdvancesFocus = false;
};

} // namespace telvane::entry
