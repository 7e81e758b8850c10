#include "rangeview/chart/CacheBudget.h"

#include <algorithm>

namespace rv {

TCacheBudget::Entry::~Entry()
{
    Shared().Release(*this);
}

TCacheBudget& TCacheBudget::Shared()
{
    static TCacheBudget budget;
    return budget;
}

void TCacheBudget::Unlist(Entry& e) noexcept
{
    (e.Newer_ ? e.Newer_->Older_ : Newest_) = e.Older_;
    (e.Older_ ? e.Older_->Newer_ : Oldest_) = e.Newer_;
    e.Newer_ = e.Older_ = nullptr;
    e.Listed_ = false;
}

void TCacheBudget::Touch(Entry& e) noexcept
{
    if (!e.Listed_ || Newest_ == &e)
        return;
    Unlist(e);
    e.Older_ = Newest_;
    Newest_->Newer_ = &e;
    Newest_ = &e;
    e.Listed_ = true;
}

void TCacheBudget::Charge(Entry& e, std::size_t bytes)
{
    Total_ = Total_ - e.Bytes_ + bytes;
    e.Bytes_ = bytes;
    Peak_ = std::max(Peak_, Total_);
    if (!e.Holder_)
        return;
    if (e.Listed_) {
        Touch(e);
    } else {
        e.Older_ = Newest_;
        (Newest_ ? Newest_->Newer_ : Oldest_) = &e;
        Newest_ = &e;
        e.Listed_ = true;
    }
    // Room is kept for the next entry, so the total stays within the limit even while a new
    // entry is held before the old ones go.
    Trim(Limit_ - MaxEntry(), &e);
}

void TCacheBudget::Release(Entry& e) noexcept
{
    if (e.Listed_)
        Unlist(e);
    Total_ -= e.Bytes_;
    e.Bytes_ = 0;
}

void TCacheBudget::Trim(std::size_t target, const Entry* keep)
{
    // A holder dropping an entry may adjust its fixed part: that must not start another round.
    if (Trimming_)
        return;
    Trimming_ = true;
    while (Total_ > target && Oldest_ && Oldest_ != keep) {
        Entry& e = *Oldest_;
        Release(e);
        ++Evictions_;
        e.Holder_->Evict(e);
    }
    Trimming_ = false;
}

void TCacheBudget::SetLimit(std::size_t bytes)
{
    Limit_ = bytes;
    Trim(Limit_ - MaxEntry(), nullptr);
    Peak_ = Total_;
}

void TCacheBudget::EvictAll()
{
    Trim(0, nullptr);
}

} // namespace rv
