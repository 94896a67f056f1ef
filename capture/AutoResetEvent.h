#pragma once
// Auto-reset event, initially not signalled: a Set() on a set event changes nothing, and one
// Wait() takes the signal. std::binary_semaphore does the sleeping and waking; the flag in
// front keeps its count at 0 or 1, since releasing a binary semaphore whose count is already
// 1 is undefined. Set() never blocks, locks or allocates (an atomic exchange and, when it sets
// the event, the semaphore's release: an atomic add and at most one futex wake in libstdc++),
// so an audio callback may call it. Wait() is bounded.

#include <atomic>
#include <semaphore>

class AutoResetEvent {
public:
    AutoResetEvent() = default;
    AutoResetEvent(const AutoResetEvent&) = delete;
    AutoResetEvent& operator=(const AutoResetEvent&) = delete;

    void Set() noexcept;
    void Reset() noexcept;
    // Waits at most `milliseconds`; true when signalled (the event is then reset again).
    bool Wait(int milliseconds) noexcept;
    bool IsSet() const noexcept { return m_bSet.load(std::memory_order_acquire); }

private:
    std::atomic<bool> m_bSet{false};
    std::binary_semaphore m_wake{0}; // released once for every false -> true change of m_bSet
};
