#include "capture/AutoResetEvent.h"

#include <chrono>

void AutoResetEvent::Set() noexcept {
    // Only the Set() that raises the flag releases: the semaphore's count never passes 1.
    if (!m_bSet.exchange(true, std::memory_order_acq_rel))
        m_wake.release();
}

bool AutoResetEvent::Wait(int milliseconds) noexcept {
    if (!m_wake.try_acquire_for(std::chrono::milliseconds(milliseconds < 0 ? 0 : milliseconds)))
        return false;
    // A Set() since the release found the flag up and released nothing: this wake takes it too.
    m_bSet.exchange(false, std::memory_order_acq_rel);
    return true;
}

void AutoResetEvent::Reset() noexcept {
    // The semaphore's timed try spins briefly when it finds nothing; a clear event needs none.
    if (IsSet())
        Wait(0);
}
