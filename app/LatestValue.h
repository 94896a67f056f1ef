#pragma once
// The newest of a stream of values, handed from one writer thread to one reader thread without
// locks and without either side ever waiting: three slots, one the writer's, one the reader's
// and one between them. The writer fills its own slot and swaps it with the middle one; the
// reader, when a fresh value is in the middle, swaps it with its own. Values the reader was too
// slow to see are simply replaced by newer ones.

#include <array>
#include <atomic>

template <typename T> class LatestValue {
public:
    // Writer thread.
    void Publish(const T& value) noexcept {
        m_slots[m_write] = value;
        m_write = m_middle.exchange(m_write | kFresh, std::memory_order_acq_rel) & kIndex;
    }

    // Reader thread: the newest value published since the last Take, if any.
    bool Take(T& value) noexcept {
        if ((m_middle.load(std::memory_order_relaxed) & kFresh) == 0)
            return false;
        m_read = m_middle.exchange(m_read, std::memory_order_acq_rel) & kIndex;
        value = m_slots[m_read];
        return true;
    }

private:
    static constexpr int kIndex = 3;
    static constexpr int kFresh = 4;

    std::array<T, 3> m_slots{};
    std::atomic<int> m_middle{1};
    int m_write = 0; // writer only
    int m_read = 2;  // reader only
};
