#pragma once

#include "query/search.h"
#include "store/scan.h"

#include <QObject>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string_view>
#include <thread>
#include <vector>

namespace telvane::store {
class DirectoryStore;
}

namespace telvane::query {

// The records the query box searches, numbered as the store numbers them. The search index is built on a worker
// thread in one pass over the file while the window is already up, and built there again when another connection
// (the list editor, another program) changed the store; records this program appends are indexed as they come.
// A search asked while the index is being built is answered by ready(), with the same results it would have had.
class Directory : public QObject
{
    Q_OBJECT

public:
    explicit Directory(store::DirectoryStore& store, QObject* parent = nullptr);
    ~Directory() override;

    // Starts reading the store (open) in the background.
    void load();
    // Reads it on the calling thread (the command line, tests): the index is ready when this returns.
    bool loadNow(QString* error = nullptr);
    // Whether the index holds the store as it is now.
    bool isReady();
    // Runs Search on the index; null while the index is being built or rebuilt (ready() follows).
    const std::vector<std::int32_t>* search(std::string_view queryGbk);
    std::size_t memoryBytes() const { return m_index.memoryBytes(); }

signals:
    // The index is ready again after a load: a search that waited can run now.
    void ready();

private:
    struct Load
    {
        store::Scan scan;
        SearchIndex index;
        bool ok = false;
        QString error;
    };
    void startLoad();
    void finishLoad(std::shared_ptr<Load> load, std::int64_t version);
    // Adds the records appended by this program since the index was built.
    void catchUp();

    store::DirectoryStore& m_store;
    SearchIndex m_index;
    Searcher m_searcher;
    bool m_loaded = false;
    bool m_loading = false;
    std::uint64_t m_generation = 0; // the store's numbering the index follows
    std::thread m_worker;
    std::shared_ptr<std::atomic<bool>> m_stop;
};

} // namespace telvane::query
