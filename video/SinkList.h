#pragma once

#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// The sinks of one pipeline stage. Sinks may be added and removed from any
// thread while the stage runs: the stage works on a snapshot of the list, and
// remove() returns only once no call into the removed sink is running, so a
// sink may be destroyed (or close its file) right after it was removed.
//
// A sink may be added held: it takes part only from the first dispatch that
// can start it (a key frame for unit sinks), so that it never sees what came
// before such a point.
template <typename Sink> class SinkList {
public:
    using Sinks = std::vector<std::shared_ptr<Sink>>;

    SinkList() : m_sinks(std::make_shared<const Sinks>()) {}

    // Appends a sink; a sink already listed, or none, is ignored. A `held`
    // sink waits for the next dispatch that starts it.
    void add(std::shared_ptr<Sink> sink, bool held = false) {
        if (!sink)
            return;
        std::lock_guard<std::mutex> lock(m_listMutex);
        if (std::find(m_sinks->begin(), m_sinks->end(), sink) != m_sinks->end() ||
            std::find(m_held.begin(), m_held.end(), sink) != m_held.end())
            return;
        if (held) {
            m_held.push_back(std::move(sink));
            return;
        }
        auto next = std::make_shared<Sinks>(*m_sinks);
        next->push_back(std::move(sink));
        m_sinks = std::move(next);
    }

    // Takes a sink out. Waits for a dispatch that is running on another
    // thread; a sink may also remove itself from inside its own call.
    void remove(const std::shared_ptr<Sink>& sink) {
        {
            std::lock_guard<std::mutex> lock(m_listMutex);
            auto next = std::make_shared<Sinks>(*m_sinks);
            next->erase(std::remove(next->begin(), next->end(), sink), next->end());
            m_sinks = std::move(next);
            m_held.erase(std::remove(m_held.begin(), m_held.end(), sink), m_held.end());
        }
        if (m_dispatching.load() == std::this_thread::get_id())
            return;
        std::lock_guard<std::mutex> wait(m_dispatchMutex);
    }

    size_t size() const {
        std::lock_guard<std::mutex> lock(m_listMutex);
        return m_sinks->size() + m_held.size();
    }

    // Runs fn(const Sinks&) on the current sinks; removals wait for it.
    // `startsHere`: the held sinks join from this dispatch on.
    template <typename Fn> void dispatch(Fn&& fn, bool startsHere = true) {
        std::lock_guard<std::mutex> guard(m_dispatchMutex);
        std::shared_ptr<const Sinks> sinks;
        {
            std::lock_guard<std::mutex> lock(m_listMutex);
            if (startsHere && !m_held.empty()) {
                auto next = std::make_shared<Sinks>(*m_sinks);
                next->insert(next->end(), m_held.begin(), m_held.end());
                m_held.clear();
                m_sinks = std::move(next);
            }
            sinks = m_sinks;
        }
        m_dispatching = std::this_thread::get_id();
        fn(*sinks);
        m_dispatching = std::thread::id();
    }

private:
    mutable std::mutex m_listMutex;
    std::shared_ptr<const Sinks> m_sinks;
    Sinks m_held; // added held, waiting for a dispatch that starts them
    std::mutex m_dispatchMutex;
    std::atomic<std::thread::id> m_dispatching{};
};
