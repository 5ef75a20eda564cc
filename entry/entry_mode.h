#pragma once

#include "store/record.h"

#include <QString>

namespace telvane::store {
class DirectoryStore;
}

namespace telvane::entry {

// Entry mode of the Main window: the seven boxes take a new record, 确定按钮 stores it, and 查询框 shows the
// record count.
class EntryMode
{
public:
    explicit EntryMode(store::DirectoryStore& store);

    struct Saved
    {
        bool saved = false;
        QString reason; // why not, when the store refused the record
        QString warning; // saved, but the store file alone lacks it until a later write (the disk is full)
    };
    // Stores the seven typed texts (field order) as a new record at the end, each as its field keeps text: one line,
    // and half-width characters full-width in the fields kept so (name and unit: the letter search walks them two
    // bytes at a time).
    Saved save(const store::RecordTexts& typed);
    // What 查询框 shows in Entry mode.
    QString recordCount();

private:
    store::DirectoryStore& m_store;
};

} // namespace telvane::entry
