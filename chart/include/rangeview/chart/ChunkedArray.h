#pragma once

#include <cstddef>
#include <memory>
#include <type_traits>
#include <utility>
#include <vector>

namespace rv {

// Sequence stored in fixed-size blocks: appending never moves or copies what is stored, and memory
// stays within one block of the element count (a doubling vector can hold twice what it needs).
// Insertion and removal in the middle shift the later elements, as in a vector.
template <class T, unsigned BlockShift = 13>
class TChunkedArray {
public:
    static constexpr std::size_t BlockSize = std::size_t{1} << BlockShift;

    std::size_t size() const { return Size_; }
    bool empty() const { return Size_ == 0; }
    // Elements the allocated blocks can hold.
    std::size_t capacity() const { return Blocks_.size() * BlockSize; }

    T& operator[](std::size_t i) { return Blocks_[i >> BlockShift][i & Mask]; }
    const T& operator[](std::size_t i) const { return Blocks_[i >> BlockShift][i & Mask]; }
    T& back() { return (*this)[Size_ - 1]; }
    const T& back() const { return (*this)[Size_ - 1]; }

    void push_back(T value)
    {
        if (Size_ == capacity())
            AddBlock();
        (*this)[Size_] = std::move(value);
        ++Size_;
    }

    // Inserts at index (0 <= index <= size()); later elements move up by one.
    void insert(std::size_t index, T value)
    {
        push_back(T{});
        for (std::size_t j = Size_ - 1; j > index; --j)
            (*this)[j] = std::move((*this)[j - 1]);
        (*this)[index] = std::move(value);
    }

    // Removes index (0 <= index < size()); later elements move down by one.
    void erase(std::size_t index)
    {
        for (std::size_t j = index; j + 1 < Size_; ++j)
            (*this)[j] = std::move((*this)[j + 1]);
        pop_back();
    }

    void pop_back()
    {
        --Size_;
        (*this)[Size_] = T{};
        // Keep one spare block so that add/remove at a block edge does not thrash.
        while (Blocks_.size() > 1 && capacity() - BlockSize > Size_ + BlockSize)
            Blocks_.pop_back();
    }

    // Releases everything (capacity 0).
    void clear()
    {
        Blocks_.clear();
        Blocks_.shrink_to_fit();
        Size_ = 0;
    }

private:
    static constexpr std::size_t Mask = BlockSize - 1;

    void AddBlock()
    {
        if constexpr (std::is_trivially_default_constructible_v<T>) {
            Blocks_.push_back(std::make_unique_for_overwrite<T[]>(BlockSize));
        } else {
            Blocks_.push_back(std::make_unique<T[]>(BlockSize));
        }
    }

    std::vector<std::unique_ptr<T[]>> Blocks_;
    std::size_t Size_ = 0;
};

} // namespace rv
