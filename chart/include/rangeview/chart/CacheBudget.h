#pragma once

#include <cstddef>
#include <cstdint>

namespace rv {

// One byte budget for everything the chart keeps only to draw faster (pixels of segments and
// texts, measured and formatted texts): whatever the data, zoom, pens or screen, together they
// hold at most Limit() bytes. What was used longest ago goes first. Window thread only.
class TCacheBudget {
public:
    class Entry;

    // Whoever keeps entries: told to drop one, with the memory it was charged for.
    class Holder {
    public:
        virtual void Evict(Entry& entry) = 0;

    protected:
        ~Holder() = default;
    };

    // A cache's share of the budget: its bytes and its place in the order of use. Leaves the
    // budget when destroyed. Without a holder it is charged but never dropped (a cache's fixed
    // part, bounded by the cache itself).
    class Entry {
    public:
        explicit Entry(Holder* holder = nullptr) : Holder_(holder) { }
        ~Entry();
        Entry(const Entry&) = delete;
        Entry& operator=(const Entry&) = delete;
        std::size_t Bytes() const { return Bytes_; }

    private:
        friend class TCacheBudget;
        Holder* Holder_;
        Entry* Newer_ = nullptr;
        Entry* Older_ = nullptr;
        std::size_t Bytes_ = 0;
        bool Listed_ = false;
    };

    static constexpr std::size_t DefaultLimit = 16'000'000;

    // The one budget of the process: every chart's caches share it.
    static TCacheBudget& Shared();

    // The entry was used just now: O(1), allocates nothing.
    void Touch(Entry& entry) noexcept;
    // The entry now holds `bytes` in all and was used just now. Entries used longer ago are
    // dropped until one more entry of the largest kept size would still fit.
    void Charge(Entry& entry, std::size_t bytes);
    // The entry holds nothing any more.
    void Release(Entry& entry) noexcept;
    // Whether an entry of this size may be kept at all.
    bool Fits(std::size_t bytes) const { return bytes <= MaxEntry(); }
    std::size_t MaxEntry() const { return Limit_ / 16; }

    std::size_t Total() const { return Total_; }
    // The most held at once since the last ResetPeak, counting a new entry before the ones it
    // pushed out were dropped.
    std::size_t Peak() const { return Peak_; }
    void ResetPeak() { Peak_ = Total_; }
    std::uint64_t Evictions() const { return Evictions_; }
    std::size_t Limit() const { return Limit_; }
    // Drops what no longer fits at once.
    void SetLimit(std::size_t bytes);
    // Drops every entry that has a holder.
    void EvictAll();

    // What the allocator takes for a block of n bytes (its header, 16-byte granules).
    static constexpr std::size_t Allocated(std::size_t n)
    {
        return n == 0 ? 0 : n + 8 < 32 ? 32 : (n + 8 + 15) & ~std::size_t{15};
    }

private:
    void Unlist(Entry& entry) noexcept;
    void Trim(std::size_t target, const Entry* keep);

    Entry* Newest_ = nullptr;
    Entry* Oldest_ = nullptr;
    std::size_t Total_ = 0;
    std::size_t Peak_ = 0;
    std::size_t Limit_ = DefaultLimit;
    std::uint64_t Evictions_ = 0;
    bool Trimming_ = false;
};

} // namespace rv
