#pragma once
// Auto-reset event, initially not signalled. Set() never blocks, locks or allocates (one atomic
// exchange and at most one futex wake), so an audio callback may call it. Wait() is bounded.

#include <atomic>
#include <cstdint>

class AutoResetEvent {
public:
    AutoResetEvent() = default;
    AutoResetEvent(const AutoResetEvent&) = delete;
    AutoResetEvent& operator=(const AutoResetEvent&) = delete;

    void Set() noexcept;
    void Reset() noexcept { m_state.store(0, std::memory_order_relaxed); }
    // Waits at most `milliseconds`; true when signalled (the event is then reset again).
    bool Wait(int milliseconds) noexcept;
    bool IsSet() const noexcept { return m_state.load(std::memory_order_acquire) != 0; }

private:
    alignas(4) std::atomic<uint32_t> m_state{0};
};
