#include "query/directory.h"

#include "store/directory_store.h"
#include "store/handoff.h"

#include <optional>
#include <string>

namespace telvane::query {

namespace {

// Records on their way from the reading thread to the indexing one: the fields of each, back to back.
struct Batch
{
    std::string bytes;
    std::vector<std::uint32_t> ends; // where each field ends in `bytes`, seven to a record
};

constexpr std::size_t kBatchRecords = 2048;

// One pass over the store at `path` into a new index, on two threads: this one reads the rows out of SQLite and
// converts them, another adds them to the index meanwhile.
bool buildIndex(const QString& path, const std::atomic<bool>& stop, store::Scan* scan, SearchIndex* index,
                QString* error)
{
    store::Handoff<Batch> handoff;
    std::thread indexing([&] {
        std::array<std::string_view, store::kFieldCount> fields;
        while (std::optional<Batch> batch = handoff.pop()) {
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
{ }

Directory::~Directory()
{
    if (m_stop) {
        *m_stop = true;
    }
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
    if (m_worker.joinable()) {
        m_worker.join();
    }
    // The version before the pass: a write by another connection that lands during it makes the pass read again.
    const std::int64_t version = m_store.dataVersion();
    auto job = std::make_shared<Load>();
    auto stop = std::make_shared<std::atomic<bool>>(false);
    m_stop = stop;
    m_worker = std::thread([this, job, stop, path = m_store.path(), version] {
        job->ok = buildIndex(path, *stop, &job->scan, &job->index, &job->error);
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
    emit ready();
}

bool Directory::loadNow(QString* error)
{
    const std::int64_t version = m_store.dataVersion();
    Load load;
    const std::atomic<bool> never {false};
    if (!buildIndex(m_store.path(), never, &load.scan, &load.index, error)
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
    const std::vector<std::int64_t>& ids = m_store.ids();
    for (std::size_t n = m_index.size() + 1; n <= ids.size(); ++n) {
        m_index.add(m_store.record(static_cast<int>(n)));
    }
}

const std::vector<std::int32_t>* Directory::search(std::string_view queryGbk)
{
    if (m_loading) {
        return nullptr;
    }
    if (!isReady()) {
        // Another connection wrote (or the store numbered itself anew): the index is built again meanwhile.
        startLoad();
        return nullptr;
    }
    catchUp();
    return &m_searcher.search(queryGbk, m_index);
}

} // namespace telvane::query
