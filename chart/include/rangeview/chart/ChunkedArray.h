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

    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    // Elements the allocated blocks can hold.
    std::size_t capacity() const { return blocks_.size() * BlockSize; }

    T& operator[](std::size_t i) { return blocks_[i >> BlockShift][i & Mask]; }
    const T& operator[](std::size_t i) const { return blocks_[i >> BlockShift][i & Mask]; }
    T& back() { return (*this)[size_ - 1]; }
    const T& back() const { return (*this)[size_ - 1]; }

    void push_back(T value) {
        if (size_ == capacity()) AddBlock();
        (*this)[size_] = std::move(value);
        ++size_;
    }

    // Inserts at index (0 <= index <= size()); later elements move up by one.
    void insert(std::size_t index, T value) {
        push_back(T{});
        for (std::size_t j = size_ - 1; j > index; --j) (*this)[j] = std::move((*this)[j - 1]);
        (*this)[index] = std::move(value);
    }

    // Removes index (0 <= index < size()); later elements move down by one.
    void erase(std::size_t index) {
        for (std::size_t j = index; j + 1 < size_; ++j) (*this)[j] = std::move((*this)[j + 1]);
        pop_back();
    }

    void pop_back() {
        --size_;
        (*this)[size_] = T{};
        // Keep one spare block so that add/remove at a block edge does not thrash.
        while (blocks_.size() > 1 && capacity() - BlockSize > size_ + BlockSize) blocks_.pop_back();
    }

    // Releases everything (capacity 0).
    void clear() {
        blocks_.clear();
        blocks_.shrink_to_fit();
        size_ = 0;
    }

private:
    static constexpr std::size_t Mask = BlockSize - 1;

    void AddBlock() {
        if constexpr (std::is_trivially_default_constructible_v<T>) {
            blocks_.push_back(std::make_unique_for_overwrite<T[]>(BlockSize));
        } else {
            blocks_.push_back(std::make_unique<T[]>(BlockSize));
        }
    }

    std::vector<std::unique_ptr<T[]>> blocks_;
    std::size_t size_ = 0;
};

} // namespace rv
