#include "query/scan_helper.h"

#include <system_error>

namespace telvane::query::detail {

ScanHelper::~ScanHelper()
{
    if (m_thread.joinable()) {
        {
            const std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        m_wake.notify_one();
        m_thread.join();
    }
}

bool ScanHelper::start(const std::function<void()>& job)
{
    if (!m_thread.joinable()) {
        try {
            m_thread = std::thread([this] { loop(); });
        } catch (const std::system_error&) {
            return false;
        }
    }
    {
        const std::lock_guard lock(m_mutex);
        m_job = &job;
    }
    m_wake.notify_one();
    return true;
}

void ScanHelper::finish()
{
    std::unique_lock lock(m_mutex);
    m_done.wait(lock, [this] { return m_job == nullptr; });
}

void ScanHelper::loop()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_job != nullptr || m_stop; });
        if (m_stop) {
            return;
        }
        const std::function<void()>* job = m_job;
        lock.unlock();
        (*job)();
        lock.lock();
        m_job = nullptr;
        m_done.notify_one();
    }
}

} // namespace telvane::query::detail
