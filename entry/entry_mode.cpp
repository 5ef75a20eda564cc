#include "entry/entry_mode.h"

#include "store/directory_store.h"
#include "text/gbk.h"

namespace telvane::entry {

EntryMode::EntryMode(store::DirectoryStore& store)
    : m_store(store)
{ }

EntryMode::Saved EntryMode::save(const store::RecordTexts& typed)
{
    store::Record record;
    for (std::size_t f = 0; f < store::kFieldCount; ++f) {
        const std::string bytes = text::toGbk(typed[f]);
        record[f] = store::kFields[f].fullWidthOnEntry ? text::toFullWidth(bytes) : bytes;
    }
    Saved result;
    result.saved = m_store.append(record, &result.reason);
    return result;
}

QString EntryMode::recordCount()
{
    return QString::number(m_store.recordCount());
}

} // namespace telvane::entry
