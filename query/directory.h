#pragma once

#include "query/search.h"
#include "store/scan.h"

#include <QObject>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
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
// A search asked while the index is being built is answered by ready(), with the same results it would have had:
// the store is read through once more for that query alone, row by row, while the building waits.
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
    // Runs Search: the Result list, the initials first (see Searcher); its size is the count of results. Null while
    // the index is being built or rebuilt and this query has no answer yet (ready() follows).
    const std::vector<std::int32_t>* search(std::string_view queryGbk);
    // How many results of the last search that had an answer are initials (the rest only a reading finds).
    std::size_t initialsCount() const { return m_initials; }
    // Gives back the room of a Result list far longer than the last search's.
    void trimResults();
    std::size_t memoryBytes() const { return m_index.memoryBytes(); }

signals:
    // The index is ready again after a load, or a search asked meanwhile has its answer: a search that waited can
    // run now.
    void ready();

private:
    struct Load
    {
        store::Scan scan;
        SearchIndex index;
        bool ok = false;
        QString error;
    };
    struct Answer;
    class Pause;
    void startLoad();
    void finishLoad(std::shared_ptr<Load> load, std::int64_t version);
    // Adds the records appended by this program since the index was built.
    void catchUp();
    // Answers a query from the store's rows while the index is being built.
    void startAnswer(std::string_view queryGbk);
    void finishAnswer(std::shared_ptr<Answer> answer, std::int64_t version);
    void stopAnswer();
    // Brings into memory what the first search and the first rows shown need, so the first key is as quick as the
    // next ones.
    void warmUp();

    store::DirectoryStore& m_store;
    SearchIndex m_index;
    Searcher m_searcher;
    bool m_loaded = false;
    bool m_loading = false;
    std::uint64_t m_generation = 0; // the store's numbering the index follows
    std::thread m_worker;
    std::shared_ptr<std::atomic<bool>> m_stop;
    std::shared_ptr<Pause> m_pause; // held while a query is answered from the rows, so the building waits
    std::size_t m_initials = 0;
    // The answer from the rows: the query being answered, and the last one answered with its results.
    std::thread m_answerWorker;
    std::shared_ptr<std::atomic<bool>> m_answerStop;
    std::string m_answering;
    std::string m_answered;
    bool m_hasAnswer = false;
    std::uint64_t m_answerGeneration = 0; // the store's numbering the answer follows
    std::vector<std::int32_t> m_answer;
    std::size_t m_answerInitials = 0;
    std::vector<std::int32_t> m_none;
};

} // namespace telvane::query
