#pragma once
// The queue of recording buffers between the thread that adds them (producer) and the audio
// thread that fills them (consumer): a single-producer single-consumer ring of header
// pointers registered in advance. The fill side copies samples, marks each full buffer done and
// reports it through the device callback; it never allocates, locks or blocks.

#include "capture/WaveInService.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>

class WaveBufferQueue {
public:
    // More than the buffers a recorder owns; a power of two, so that the positions may wrap.
    static constexpr uint32_t kCapacity = 512;

    // Producer side. False when the ring is full.
    bool Push(WaveHeader* header) noexcept {
        const uint32_t tail = m_tail.load(std::memory_order_relaxed);
        if (tail - m_head.load(std::memory_order_acquire) >= kCapacity)
            return false;
        header->dwBytesRecorded = 0;
        header->dwFlags = (header->dwFlags & ~WHDR_DONE) | WHDR_INQUEUE;
        m_ring[tail % kCapacity] = header;
        m_tail.store(tail + 1, std::memory_order_release);
        return true;
    }

    // Producer side, as a stream's AddBuffer answers: only a prepared header with data is
    // queued; a full ring is out of memory.
    uint32_t Add(WaveHeader* header) noexcept {
        if (const uint32_t refused = CheckQueueable(header); refused != MMSYSERR_NOERROR)
            return refused;
        return Push(header) ? MMSYSERR_NOERROR : MMSYSERR_NOMEM;
    }

    // Buffers queued and not yet handed back (either side may ask).
    uint32_t Size() const noexcept {
        return m_tail.load(std::memory_order_acquire) - m_head.load(std::memory_order_acquire);
    }

    // Consumer side: copies `count` 16-bit samples (null = silence) into the queued buffers in
    // order, handing each full one back with WIM_DATA. Returns the samples stored; the rest
    // found no buffer and are lost, as on a device that ran out of buffers.
    size_t Fill(const int16_t* samples, size_t count, WaveInProc proc, void* instance) noexcept {
        size_t stored = 0;
        while (stored < count) {
            WaveHeader* h = Head();
            if (h == nullptr)
                break;
            const size_t room = (h->dwBufferLength - m_fill) / sizeof(int16_t);
            const size_t n = room < count - stored ? room : count - stored;
            char* dst = h->lpData + m_fill;
            if (samples != nullptr)
                std::memcpy(dst, samples + stored, n * sizeof(int16_t));
            else
                std::memset(dst, 0, n * sizeof(int16_t));
            m_fill += static_cast<uint32_t>(n * sizeof(int16_t));
            stored += n;
            if (h->dwBufferLength - m_fill < sizeof(int16_t))
                Complete(proc, instance);
        }
        return stored;
    }

    // Consumer side: bytes still free in the buffer being filled (0 when none is queued).
    uint32_t HeadRoom() const noexcept {
        const WaveHeader* h = Head();
        return h != nullptr ? h->dwBufferLength - m_fill : 0;
    }

    // Consumer side: hands back the head buffer if it holds any samples (a stop).
    void CompletePartial(WaveInProc proc, void* instance) noexcept {
        if (Head() != nullptr && m_fill > 0)
            Complete(proc, instance);
    }

    // Consumer side: hands back every queued buffer (a reset).
    void CompleteAll(WaveInProc proc, void* instance) noexcept {
        while (Head() != nullptr)
            Complete(proc, instance);
    }

private:
    WaveHeader* Head() const noexcept {
        const uint32_t head = m_head.load(std::memory_order_relaxed);
        if (head == m_tail.load(std::memory_order_acquire))
            return nullptr;
        return m_ring[head % kCapacity];
    }

    void Complete(WaveInProc proc, void* instance) noexcept {
        const uint32_t head = m_head.load(std::memory_order_relaxed);
        WaveHeader* h = m_ring[head % kCapacity];
        h->dwBytesRecorded = m_fill;
        h->dwFlags = (h->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
        m_fill = 0;
        m_head.store(head + 1, std::memory_order_release);
        if (proc != nullptr)
            proc(instance, WIM_DATA, h);
    }

    std::array<WaveHeader*, kCapacity> m_ring{};
    std::atomic<uint32_t> m_head{0}; // consumer
    std::atomic<uint32_t> m_tail{0}; // producer
    uint32_t m_fill = 0;             // bytes in the head buffer; consumer only
};
