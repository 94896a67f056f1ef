#include "model/Tunings.h"

void TuningList::Append(const Tuning& tuning) {
    m_tunings.push_back(tuning);
}

void TuningList::Clear() {
    m_tunings.clear();
    m_nCursor = kPastEnd;
}

int32_t TuningList::Count() const {
    return static_cast<int32_t>(m_tunings.size());
}

bool TuningList::ReadAt(int32_t index, Tuning& tuning) {
    if (index < 0 || static_cast<std::size_t>(index) >= m_tunings.size()) {
        m_nCursor = kPastEnd;
        return false;
    }
    m_nCursor = static_cast<std::size_t>(index);
    return ReadNext(tuning);
}

bool TuningList::ReadNext(Tuning& tuning) {
    if (m_nCursor >= m_tunings.size()) {
        m_nCursor = kPastEnd;
        return false;
    }
    tuning = m_tunings[m_nCursor];
    if (++m_nCursor == m_tunings.size()) {
        m_nCursor = kPastEnd; // a later Append must not revive the walk
    }
    return true;
}
