#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>

namespace telvane::store {

// Hands pieces of work from one thread to another: a reading thread pushes, a working thread pops. At most `depth`
// pieces wait, so a producer faster than its consumer waits instead of filling the memory.
template<typename T>
class Handoff
{
public:
    explicit Handoff(std::size_t depth = 4)
        : m_depth(depth)
    { }

    // Waits for room; false (the piece dropped) once the other side has closed.
    bool push(T&& piece)
    {
        std::unique_lock lock(m_mutex);
        m_room.wait(lock, [this] { return m_queue.size() < m_depth || m_closed; });
        if (m_closed) {
            return false;
        }
        m_queue.push_back(std::move(piece));
        m_ready.notify_one();
        return true;
    }
    // Waits for a piece; nothing once the queue is empty and finished or closed.
    std::optional<T> pop()
    {
        std::unique_lock lock(m_mutex);
        m_ready.wait(lock, [this] { return !m_queue.empty() || m_finished || m_closed; });
        if (m_queue.empty()) {
            return std::nullopt;
        }
        T piece = std::move(m_queue.front());
        m_queue.pop_front();
        m_room.notify_one();
        return piece;
    }
    // The producer has pushed its last piece.
    void finish()
    {
        std::lock_guard lock(m_mutex);
        m_finished = true;
        m_ready.notify_all();
    }
    // The consumer gives up: the producer stops waiting for room.
    void close()
    {
        std::lock_guard lock(m_mutex);
        m_closed = true;
        m_room.notify_all();
        m_ready.notify_all();
    }
    bool closed()
    {
        std::lock_guard lock(m_mutex);
        return m_closed;
    }

private:
    std::size_t m_depth;
    std::mutex m_mutex;
    std::condition_variable m_ready;
    std::condition_variable m_room;
    std::deque<T> m_queue;
    bool m_finished = false;
    bool m_closed = false;
};

} // namespace telvane::store
