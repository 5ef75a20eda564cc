#pragma once

// A thread kept for the second of a long scan's two scanners.
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace telvane::query::detail {

// A thread made anew for each scan may not run until the scan is over: the system puts it on the processor of the
// thread that made it, which is busy scanning. A kept thread that sleeps between scans is woken on the other one.
class ScanHelper
{
public:
    ScanHelper() = default;
    ScanHelper(const ScanHelper&) = delete;
    ScanHelper& operator=(const ScanHelper&) = delete;
    ~ScanHelper();

    // Runs `job` on the helper thread, which is made at the first call; false when no thread can be had. The job
    // must stay alive until finish().
    bool start(const std::function<void()>& job);
    // Waits until the job started last is done.
    void finish();

private:
    void loop();

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_done;
    const std::function<void()>* m_job = nullptr;
    bool m_stop = false;
    std::thread m_thread;
};

} // namespace telvane::query::detail
