#include "capture/AutoResetEvent.h"

#include <cerrno>
#include <chrono>
#include <ctime>
#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

static_assert(sizeof(std::atomic<uint32_t>) == sizeof(uint32_t));

namespace {

uint32_t* Word(std::atomic<uint32_t>& a) {
    return reinterpret_cast<uint32_t*>(&a);
}

} // namespace

void AutoResetEvent::Set() noexcept {
    // Only a 0 -> 1 change can have a sleeper to wake: a waiter sleeps only while the word is 0.
    if (m_state.exchange(1, std::memory_order_release) == 0)
        syscall(SYS_futex, Word(m_state), FUTEX_WAKE_PRIVATE, 1, nullptr, nullptr, 0);
}

bool AutoResetEvent::Wait(int milliseconds) noexcept {
    using Clock = std::chrono::steady_clock;
    const auto deadline =
        Clock::now() + std::chrono::milliseconds(milliseconds < 0 ? 0 : milliseconds);
    for (;;) {
        if (m_state.exchange(0, std::memory_order_acquire) != 0)
            return true;
        const auto left = deadline - Clock::now();
        if (left <= Clock::duration::zero())
            return false;
        const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
        timespec ts{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
        // Returns at once with EAGAIN when Set() got in first; spurious wakes just loop.
        syscall(SYS_futex, Word(m_state), FUTEX_WAIT_PRIVATE, 0, &ts, nullptr, 0);
    }
}
