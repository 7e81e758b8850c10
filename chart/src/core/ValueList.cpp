#include "rangeview/chart/ValueList.h"

#include <cmath>

#include "rangeview/chart/Errors.h"
#include "rangeview/chart/Series.h"

namespace rv {

TChartValueList::TChartValueList(TChartSeries* owner, const std::string& name)
    : Name_(name), Owner_(owner)
{
    if (Owner_)
        Owner_->RegisterValueList(this);
}

void TChartValueList::Assign(const TChartValueList& source)
{
    Order_ = source.Order_;
    DateTime_ = source.DateTime_;
    SetMultiplier(source.Multiplier_);
    ValueSource_ = source.ValueSource_;
}

void TChartValueList::CheckIndex(std::int32_t Index) const
{
    if (Index < 0 || Index >= ValueCount())
        throw EListError(Index);
}

double TChartValueList::ValueAt(std::int32_t Index) const
{
    CheckIndex(Index);
    return Raw(static_cast<std::size_t>(Index)) * Multiplier_;
}

namespace {
// Value continues the run 0, 1, 2, ... at index `count`: the same bits as the index would give
// (so -0.0 does not count as 0).
bool ContinuesRun(double value, std::size_t count)
{
    return value == static_cast<double>(count) && !std::signbit(value);
}
} // namespace

void TChartValueList::Materialise()
{
    if (!Implicit_)
        return;
    TChunkedArray<double> stored;
    for (std::size_t i = 0; i < Count_; ++i)
        stored.push_back(static_cast<double>(i));
    Values_ = std::move(stored);
    Implicit_ = false;
}

void TChartValueList::Modified()
{
    // No series here takes another series as its data source: nothing to notify.
}

void TChartValueList::SetValueAt(std::int32_t Index, double Value)
{
    CheckIndex(Index);
    const auto i = static_cast<std::size_t>(Index);
    if (Implicit_ && !ContinuesRun(Value, i))
        Materialise();
    if (!Implicit_)
        Values_[i] = Value;
    if (SortedKnown_ && Sorted_) {
        Sorted_ = !std::isnan(Value) && (i == 0 || Raw(i - 1) <= Value) &&
                  (i + 1 == Count_ || Value <= Raw(i + 1));
    } else {
        SortedKnown_ = false;
    }
    StatsStale = true;
    Modified();
}

void TChartValueList::RemoveAllValues()
{
    Values_.clear();
    Count_ = 0;
    Implicit_ = true;
    Sorted_ = true;
    SortedKnown_ = true;
    StatsStale = true;
}

void TChartValueList::RawInsert(std::int32_t Index, double Value)
{
    const auto i = static_cast<std::size_t>(Index);
    const std::size_t count = Count_;
    if (i == count) {
        if (Implicit_ && !ContinuesRun(Value, count))
            Materialise();
        if (!Implicit_)
            Values_.push_back(Value);
        ++Count_;
        if (SortedKnown_ && Sorted_)
            Sorted_ = !std::isnan(Value) && (count == 0 || Raw(count - 1) <= Value);
        // An append extends the caches in the order a full pass would add it, so they stay exact.
        if (!StatsStale)
            AppendStats(Value * Multiplier_);
        return;
    }
    Materialise();
    Values_.insert(i, Value);
    ++Count_;
    if (SortedKnown_ && Sorted_) {
        Sorted_ =
            !std::isnan(Value) && (i == 0 || Values_[i - 1] <= Value) && Value <= Values_[i + 1];
    }
    StatsStale = true;
}

std::int32_t TChartValueList::AddInOrder(double Value)
{
    const std::int32_t count = ValueCount();
    std::int32_t index = count;
    if (Order_ != TChartListOrder::loNone && count > 0) {
        std::int32_t i = count - 1;
        if (Order_ == TChartListOrder::loAscending) {
            if (!(Raw(static_cast<std::size_t>(i)) <= Value)) {
                while (i >= 0 && Raw(static_cast<std::size_t>(i)) > Value)
                    --i;
                index = i + 1;
            }
        } else {
            if (!(Raw(static_cast<std::size_t>(i)) >= Value)) {
                while (i >= 0 && Raw(static_cast<std::size_t>(i)) < Value)
                    --i;
                index = i + 1;
            }
        }
    }
    RawInsert(index, Value);
    return index;
}

void TChartValueList::InsertValue(std::int32_t Index, double Value)
{
    if (Index < 0 || Index > ValueCount())
        throw EListError(Index);
    RawInsert(Index, Value);
}

void TChartValueList::RemoveValue(std::int32_t Index)
{
    CheckIndex(Index);
    // Taking the last value keeps the run; any other breaks it.
    if (static_cast<std::size_t>(Index) + 1 != Count_)
        Materialise();
    if (!Implicit_)
        Values_.erase(static_cast<std::size_t>(Index));
    --Count_;
    if (!(SortedKnown_ && Sorted_))
        SortedKnown_ = false;
    StatsStale = true;
}

void TChartValueList::RotateValues()
{
    if (Count_ < 2)
        return;
    Materialise();
    const double first = Values_[0];
    Values_.erase(0);
    Values_.push_back(first);
    SortedKnown_ = false;
    StatsStale = true;
}

void TChartValueList::AppendStats(double v)
{
    if (Count_ == 1) {
        Lowest_ = Highest_ = Total_ = v;
        AbsTotal_ = std::fabs(v);
        return;
    }
    if (v < Lowest_)
        Lowest_ = v;
    else if (v > Highest_)
        Highest_ = v;
    Total_ += v;
    AbsTotal_ += std::fabs(v);
}

void TChartValueList::RecomputeStats()
{
    const std::size_t count = Count_;
    if (count == 0) {
        Lowest_ = Highest_ = Total_ = AbsTotal_ = 0.0;
    } else {
        const double f = Raw(0) * Multiplier_;
        Lowest_ = Highest_ = Total_ = f;
        AbsTotal_ = std::fabs(f);
        for (std::size_t i = 1; i < count; ++i) {
            const double v = Raw(i) * Multiplier_;
            if (v < Lowest_)
                Lowest_ = v;
            else if (v > Highest_)
                Highest_ = v;
            Total_ += v;
            AbsTotal_ += std::fabs(v);
        }
    }
    StatsStale = false;
}

double TChartValueList::HighestValue()
{
    if (StatsStale)
        RecomputeStats();
    return Highest_;
}
double TChartValueList::LowestValue()
{
    if (StatsStale)
        RecomputeStats();
    return Lowest_;
}
double TChartValueList::ValueTotal()
{
    if (StatsStale)
        RecomputeStats();
    return Total_;
}
double TChartValueList::AbsoluteTotal()
{
    if (StatsStale)
        RecomputeStats();
    return AbsTotal_;
}

void TChartValueList::SetMultiplier(double value)
{
    if (value == Multiplier_)
        return;
    Multiplier_ = value;
    StatsStale = true;
    Modified();
    if (Owner_)
        Owner_->RequestRepaint();
}

bool TChartValueList::IsSortedAscending() const
{
    if (!SortedKnown_) {
        Sorted_ = true;
        for (std::size_t i = 0; i < Count_ && Sorted_; ++i) {
            Sorted_ = !std::isnan(Raw(i)) && (i == 0 || Raw(i - 1) <= Raw(i));
        }
        SortedKnown_ = true;
    }
    return Sorted_;
}

std::int32_t TChartValueList::FirstIndexAtOrAbove(double Value, std::int32_t First) const
{
    std::size_t lo = First > 0 ? static_cast<std::size_t>(First) : 0;
    std::size_t hi = Count_;
    const double m = Multiplier_;
    // A positive finite multiplier keeps ascending raw values ascending after scaling, so the
    // predicate "scaled >= Value" is false then true along the list and can be bisected.
    if (m > 0 && std::isfinite(m) && IsSortedAscending()) {
        while (lo < hi) {
            const std::size_t mid = lo + (hi - lo) / 2;
            if (Raw(mid) * m >= Value)
                hi = mid;
            else
                lo = mid + 1;
        }
        return static_cast<std::int32_t>(lo);
    }
    for (; lo < hi; ++lo) {
        if (Raw(lo) * m >= Value)
            break;
    }
    return static_cast<std::int32_t>(lo);
}

} // namespace rv
