#include "query/directory.h"

#include "query/search_internal.h"
#include "store/directory_store.h"
#include "store/handoff.h"
#include "text/gbk.h"

#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace telvane::query {

// Makes the index's building wait while a query is answered from the rows: both read the whole store, and the answer
// is wanted first.
class Directory::Pause
{
public:
    void hold()
    {
        std::lock_guard lock(m_mutex);
        ++m_holders;
        m_held = true;
    }
    void release()
    {
        std::lock_guard lock(m_mutex);
        if (--m_holders == 0) {
            m_held = false;
            m_free.notify_all();
        }
    }
    // Waits while held, unless `stop` is set (wake() makes a waiter look again).
    void wait(const std::atomic<bool>& stop)
    {
        if (!m_held.load(std::memory_order_relaxed)) {
            return;
        }
        std::unique_lock lock(m_mutex);
        m_free.wait(lock, [&] { return m_holders == 0 || stop; });
    }
    void wake()
    {
        std::lock_guard lock(m_mutex);
        m_free.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_free;
    int m_holders = 0;
    std::atomic<bool> m_held {false};
};

// A query answered from the rows: the numbering the pass read and the records of each part.
struct Directory::Answer
{
    std::string query;
    store::Scan scan;
    std::vector<std::int32_t> initials;
    std::vector<std::int32_t> readings;
    bool ok = false;
    std::shared_ptr<std::atomic<bool>> stop;
};

namespace {

// Records on their way from the reading thread to the indexing one: the fields of each, back to back.
struct Batch
{
    std::string bytes;
    std::vector<std::uint32_t> ends; // where each field ends in `bytes`, seven to a record
};

constexpr std::size_t kBatchRecords = 2048;

// Appends record `n` to the part the matcher puts it in.
void addToPart(RowMatcher& matcher, const store::FieldViews& fields, std::int32_t n,
               std::vector<std::int32_t>& initials, std::vector<std::int32_t>& readings)
{
    switch (matcher.match(fields)) {
        case RowMatcher::Part::Initials:
            initials.push_back(n);
            break;
        case RowMatcher::Part::Reading:
            readings.push_back(n);
            break;
        case RowMatcher::Part::None:
            break;
    }
}

// One pass over the store at `path` into a new index, on two threads: this one reads the rows out of SQLite and
// converts them, another adds them to the index meanwhile. Both wait while `pause` is held.
template<class Pause>
bool buildIndex(const QString& path, const std::atomic<bool>& stop, Pause* pause, store::Scan* scan, SearchIndex* index,
                QString* error)
{
    store::Handoff<Batch> handoff;
    std::thread indexing([&] {
        std::array<std::string_view, store::kFieldCount> fields;
        while (std::optional<Batch> batch = handoff.pop()) {
            if (pause) {
                pause->wait(stop);
            }
            std::uint32_t begin = 0;
            for (std::size_t i = 0; i < batch->ends.size(); i += store::kFieldCount) {
                for (std::size_t f = 0; f < store::kFieldCount; ++f) {
                    const std::uint32_t end = batch->ends[i + f];
                    fields[f] = std::string_view(batch->bytes).substr(begin, end - begin);
                    begin = end;
                }
                index->add(fields);
            }
        }
    });
    Batch batch;
    const bool read = store::scanStore(
        path,
        [&](std::int64_t, const store::FieldViews& fields) {
            if (pause) {
                pause->wait(stop);
            }
            for (const std::string_view field : fields) {
                batch.bytes += field;
                batch.ends.push_back(static_cast<std::uint32_t>(batch.bytes.size()));
            }
            if (batch.ends.size() >= kBatchRecords * store::kFieldCount) {
                handoff.push(std::move(batch));
                batch = {};
            }
            return !stop;
        },
        scan, error);
    handoff.push(std::move(batch));
    handoff.finish();
    indexing.join();
    return read && !stop;
}

} // namespace

Directory::Directory(store::DirectoryStore& store, QObject* parent)
    : QObject(parent)
    , m_store(store)
    , m_pause(std::make_shared<Pause>())
{
#ifdef __GLIBC__
    // Large blocks (a numbering of the store, a long Result list) come and go with each load and search. glibc would
    // otherwise raise its threshold for mapping them to the largest one freed and keep later ones in its heap, where
    // the memory stays with the program after they are freed.
    mallopt(M_MMAP_THRESHOLD, 512 * 1024);
#endif
}

Directory::~Directory()
{
    stopAnswer();
    if (m_stop) {
        *m_stop = true;
    }
    m_pause->wake();
    if (m_worker.joinable()) {
        m_worker.join();
    }
}

void Directory::load()
{
    if (!m_loading) {
        startLoad();
    }
}

void Directory::startLoad()
{
    m_loading = true;
    m_loaded = false;
    if (m_stop) {
        *m_stop = true;
    }
    m_pause->wake();
    if (m_worker.joinable()) {
        m_worker.join();
    }
    // The version before the pass: a write by another connection that lands during it makes the pass read again.
    const std::int64_t version = m_store.dataVersion();
    auto job = std::make_shared<Load>();
    auto stop = std::make_shared<std::atomic<bool>>(false);
    m_stop = stop;
    m_worker = std::thread([this, job, stop, pause = m_pause, path = m_store.path(), version] {
        job->ok = buildIndex(path, *stop, pause.get(), &job->scan, &job->index, &job->error);
        if (!*stop) {
            QMetaObject::invokeMethod(
                this, [this, job, version] { finishLoad(job, version); }, Qt::QueuedConnection);
        }
    });
}

void Directory::finishLoad(std::shared_ptr<Load> load, std::int64_t version)
{
    m_loading = false;
    if (!load->ok || !m_store.isOpen()) {
        return; // the next search tries again
    }
    if (m_store.dataVersion() != version) {
        startLoad();
        return;
    }
    // What this program appended while the pass ran follows the pass's last record.
    if (!m_store.extendScan(load->scan, [&](const store::FieldViews& fields) { load->index.add(fields); })) {
        return;
    }
    m_store.adopt(std::move(load->scan), version);
    m_index = std::move(load->index);
    m_generation = m_store.generation();
    m_loaded = true;
    stopAnswer();
    m_hasAnswer = false;
    m_answer = {};
    warmUp();
    emit ready();
}

void Directory::warmUp()
{
    // The searcher's buffers, and the way to the first records shown; then the memory the building left free goes
    // back, so that the program holds what it uses.
    m_searcher.reserve(m_index.size());
    m_searcher.search("a", m_index);
    if (!m_store.ids().empty()) {
        m_store.record(1);
    }
    m_searcher.clearResults();
#ifdef __GLIBC__
    malloc_trim(0);
#endif
}

bool Directory::loadNow(QString* error)
{
    const std::int64_t version = m_store.dataVersion();
    Load load;
    const std::atomic<bool> never {false};
    if (!buildIndex<Pause>(m_store.path(), never, nullptr, &load.scan, &load.index, error)
        || !m_store.extendScan(load.scan, [&](const store::FieldViews& fields) { load.index.add(fields); })) {
        return false;
    }
    m_store.adopt(std::move(load.scan), version);
    m_index = std::move(load.index);
    m_generation = m_store.generation();
    m_loaded = true;
    return true;
}

bool Directory::isReady()
{
    return m_loaded && !m_loading && m_store.isCurrent() && m_store.generation() == m_generation;
}

void Directory::catchUp()
{
    const store::IdList& ids = m_store.ids();
    for (std::size_t n = m_index.size() + 1; n <= ids.size(); ++n) {
        m_index.add(m_store.record(static_cast<int>(n)));
    }
}

const std::vector<std::int32_t>* Directory::search(std::string_view queryGbk)
{
    if (!m_loading && !isReady()) {
        // Another connection wrote (or the store numbered itself anew): the index is built again meanwhile.
        startLoad();
    }
    if (m_loading) {
        if (normalizeQuery(queryGbk).kind == QueryKind::Empty) {
            m_initials = 0;
            return &m_none;
        }
        if (m_hasAnswer && m_answered == queryGbk && m_store.generation() == m_answerGeneration
            && m_store.isCurrent()) {
            m_initials = m_answerInitials;
            return &m_answer;
        }
        startAnswer(queryGbk);
        return nullptr;
    }
    catchUp();
    const auto& results = m_searcher.search(queryGbk, m_index);
    m_initials = m_searcher.initialsCount();
    return &results;
}

void Directory::trimResults()
{
    m_searcher.trimResults();
}

void Directory::stopAnswer()
{
    if (m_answerStop) {
        *m_answerStop = true;
    }
    if (m_answerWorker.joinable()) {
        m_answerWorker.join();
    }
    m_answering.clear();
}

void Directory::startAnswer(std::string_view queryGbk)
{
    if (m_answerWorker.joinable() && m_answering == queryGbk) {
        return; // on its way
    }
    stopAnswer();
    auto answer = std::make_shared<Answer>();
    answer->query.assign(queryGbk);
    if (!RowMatcher(answer->query).usable()) {
        return; // the index answers it
    }
    m_answering = answer->query;
    answer->stop = std::make_shared<std::atomic<bool>>(false);
    m_answerStop = answer->stop;
    const std::int64_t version = m_store.dataVersion();
    m_answerWorker = std::thread([this, answer, pause = m_pause, path = m_store.path(), version] {
        pause->hold();
        // Two halves of the store at once (the index's building waits meanwhile, leaving both cores to the answer),
        // each with a matcher of its own; the second half's records are numbered on after the first's.
        struct Half
        {
            explicit Half(const std::string& query)
                : matcher(query)
            { }
            RowMatcher matcher;
            std::array<std::string, store::kFieldCount> gbk;
            store::FieldViews fields;
            std::vector<std::int32_t> initials;
            std::vector<std::int32_t> readings;
            std::int32_t n = 0;
        };
        std::array<Half, 2> halves {Half(answer->query), Half(answer->query)};
        // Only the fields the query looks at are read and converted.
        const bool digits = normalizeQuery(answer->query).kind == QueryKind::Digit;
        store::FieldSet read {};
        for (std::size_t f = 0; f < store::kFieldCount; ++f) {
            read[f] = digits ? store::kFields[f].digits : store::kFields[f].letters;
        }
        const auto reader = [&](Half& half) {
            return [&, h = &half](std::int64_t, const store::FieldViews& utf8) {
                for (std::size_t f = 0; f < store::kFieldCount; ++f) {
                    if (read[f]) {
                        text::utf8ToGbk(utf8[f], h->gbk[f]);
                        h->fields[f] = h->gbk[f];
                    }
                }
                addToPart(h->matcher, h->fields, ++h->n, h->initials, h->readings);
                return !*answer->stop;
            };
        };
        std::size_t firstHalf = 0;
        answer->ok = store::scanStoreInTwo(path, {reader(halves[0]), reader(halves[1])}, &answer->scan, &firstHalf,
                                           nullptr, store::Encoding::Utf8, read);
        const auto shift = static_cast<std::int32_t>(firstHalf);
        const auto join = [shift](std::vector<std::int32_t>& first, const std::vector<std::int32_t>& second) {
            std::vector<std::int32_t> whole = std::move(first);
            for (const std::int32_t n : second) {
                whole.push_back(n + shift);
            }
            return whole;
        };
        answer->initials = join(halves[0].initials, halves[1].initials);
        answer->readings = join(halves[0].readings, halves[1].readings);
        pause->release();
        if (!*answer->stop) {
            QMetaObject::invokeMethod(
                this, [this, answer, version] { finishAnswer(answer, version); }, Qt::QueuedConnection);
        }
    });
}

void Directory::finishAnswer(std::shared_ptr<Answer> answer, std::int64_t version)
{
    if (*answer->stop || answer->query != m_answering) {
        return; // another query was asked meanwhile
    }
    if (m_answerWorker.joinable()) {
        m_answerWorker.join();
    }
    m_answering.clear();
    // Of no use once the index is there, or when another connection wrote meanwhile.
    if (!m_loading || !answer->ok || !m_store.isOpen() || m_store.dataVersion() != version) {
        return;
    }
    // What this program appended while the pass ran follows the pass's last record.
    RowMatcher matcher(answer->query);
    auto n = static_cast<std::int32_t>(answer->scan.ids.size());
    if (!m_store.extendScan(answer->scan, [&](const store::FieldViews& fields) {
            addToPart(matcher, fields, ++n, answer->initials, answer->readings);
        })) {
        return;
    }
    m_store.adopt(std::move(answer->scan), version);
    m_answer = std::move(answer->initials);
    m_answerInitials = m_answer.size();
    m_answer.insert(m_answer.end(), answer->readings.begin(), answer->readings.end());
    m_answered = answer->query;
    m_answerGeneration = m_store.generation();
    m_hasAnswer = true;
    emit ready();
}

} // namespace telvane::query
