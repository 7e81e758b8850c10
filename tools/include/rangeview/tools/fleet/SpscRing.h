#pragma once

#include <atomic>
#include <cstddef>
#include <memory>

namespace rv {

// A bounded queue from one thread to one other that never waits and never allocates after its
// making: a push onto a full ring fails, and the caller counts what it could not hand over.
template <class T>
class SpscRing {
public:
    // capacity is rounded up to a power of two.
    explicit SpscRing(std::size_t capacity)
    {
        std::size_t size = 1;
        while (size < capacity)
            size *= 2;
        Mask_ = size - 1;
        Slots_ = std::make_unique<T[]>(size);
    }

    std::size_t Capacity() const noexcept { return Mask_ + 1; }

    // Producer only.
    bool TryPush(T value)
    {
        const std::size_t tail = Tail_.load(std::memory_order_relaxed);
        if (tail - Head_.load(std::memory_order_acquire) > Mask_)
            return false;
        Slots_[tail & Mask_] = std::move(value);
        Tail_.store(tail + 1, std::memory_order_release);
        return true;
    }

    // Consumer only.
    bool TryPop(T& value)
    {
        const std::size_t head = Head_.load(std::memory_order_relaxed);
        if (head == Tail_.load(std::memory_order_acquire))
            return false;
        value = std::move(Slots_[head & Mask_]);
        Head_.store(head + 1, std::memory_order_release);
        return true;
    }

private:
    std::unique_ptr<T[]> Slots_;
    std::size_t Mask_ = 0;
    alignas(64) std::atomic<std::size_t> Head_{0};
    alignas(64) std::atomic<std::size_t> Tail_{0};
};

} // namespace rv
