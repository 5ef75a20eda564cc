#include "entry/entry_mode.h"

#include "store/directory_store.h"
#include "store/field_text.h"
#include "text/gbk.h"

namespace telvane::entry {

EntryMode::EntryMode(store::DirectoryStore& store)
    : m_store(store)
{ }

EntryMode::Saved EntryMode::save(const store::RecordTexts& typed)
{
    store::Record record;
    for (std::size_t f = 0; f < store::kFieldCount; ++f) {
        record[f] = text::toGbk(store::storedText(f, typed[f]));
    }
    Saved result;
    result.saved = m_store.append(record, &result.reason);
    if (result.saved) {
        result.warning = m_store.incompleteWarning();
    }
    return result;
}

QString EntryMode::recordCount()
{
    return QString::number(m_store.recordCount());
}

} // namespace telvane::entry
