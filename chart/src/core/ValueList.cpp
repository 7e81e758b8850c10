#include "rangeview/chart/ValueList.h"

#include <cmath>

#include "rangeview/chart/Errors.h"
#include "rangeview/chart/Series.h"

namespace rv {

TChartValueList::TChartValueList(TChartSeries* owner, const std::string& name) : name_(name), owner_(owner) {
    if (owner_) owner_->RegisterValueList(this);
}

void TChartValueList::Assign(const TChartValueList& source) {
    order_ = source.order_;
    dateTime_ = source.dateTime_;
    SetMultiplier(source.multiplier_);
    valueSource_ = source.valueSource_;
}

void TChartValueList::CheckIndex(std::int32_t Index) const {
    if (Index < 0 || Index >= ValueCount()) throw EListError(Index);
}

double TChartValueList::ValueAt(std::int32_t Index) const {
    CheckIndex(Index);
    return Raw(static_cast<std::size_t>(Index)) * multiplier_;
}

namespace {
// Value continues the run 0, 1, 2, ... at index `count`: the same bits as the index would give
// (so -0.0 does not count as 0).
bool ContinuesRun(double value, std::size_t count) {
    return value == static_cast<double>(count) && !std::signbit(value);
}
} // namespace

void TChartValueList::Materialise() {
    if (!implicit_) return;
    TChunkedArray<double> stored;
    for (std::size_t i = 0; i < count_; ++i) stored.push_back(static_cast<double>(i));
    values_ = std::move(stored);
    implicit_ = false;
}

void TChartValueList::Modified() {
    // No series here takes another series as its data source: nothing to notify.
}

void TChartValueList::SetValueAt(std::int32_t Index, double Value) {
    CheckIndex(Index);
    const auto i = static_cast<std::size_t>(Index);
    if (implicit_ && !ContinuesRun(Value, i)) Materialise();
    if (!implicit_) values_[i] = Value;
    if (sortedKnown_ && sorted_) {
        sorted_ = !std::isnan(Value) && (i == 0 || Raw(i - 1) <= Value) &&
                  (i + 1 == count_ || Value <= Raw(i + 1));
    } else {
        sortedKnown_ = false;
    }
    StatsStale = true;
    Modified();
}

void TChartValueList::RemoveAllValues() {
    values_.clear();
    count_ = 0;
    implicit_ = true;
    sorted_ = true;
    sortedKnown_ = true;
    StatsStale = true;
}

void TChartValueList::RawInsert(std::int32_t Index, double Value) {
    const auto i = static_cast<std::size_t>(Index);
    const std::size_t count = count_;
    if (i == count) {
        if (implicit_ && !ContinuesRun(Value, count)) Materialise();
        if (!implicit_) values_.push_back(Value);
        ++count_;
        if (sortedKnown_ && sorted_) sorted_ = !std::isnan(Value) && (count == 0 || Raw(count - 1) <= Value);
        // An append extends the caches in the order a full pass would add it, so they stay exact.
        if (!StatsStale) AppendStats(Value * multiplier_);
        return;
    }
    Materialise();
    values_.insert(i, Value);
    ++count_;
    if (sortedKnown_ && sorted_) {
        sorted_ = !std::isnan(Value) && (i == 0 || values_[i - 1] <= Value) && Value <= values_[i + 1];
    }
    StatsStale = true;
}

std::int32_t TChartValueList::AddInOrder(double Value) {
    const std::int32_t count = ValueCount();
    std::int32_t index = count;
    if (order_ != TChartListOrder::loNone && count > 0) {
        std::int32_t i = count - 1;
        if (order_ == TChartListOrder::loAscending) {
            if (!(Raw(static_cast<std::size_t>(i)) <= Value)) {
                while (i >= 0 && Raw(static_cast<std::size_t>(i)) > Value) --i;
                index = i + 1;
            }
        } else {
            if (!(Raw(static_cast<std::size_t>(i)) >= Value)) {
                while (i >= 0 && Raw(static_cast<std::size_t>(i)) < Value) --i;
                index = i + 1;
            }
        }
    }
    RawInsert(index, Value);
    return index;
}

void TChartValueList::InsertValue(std::int32_t Index, double Value) {
    if (Index < 0 || Index > ValueCount()) throw EListError(Index);
    RawInsert(Index, Value);
}

void TChartValueList::RemoveValue(std::int32_t Index) {
    CheckIndex(Index);
    // Taking the last value keeps the run; any other breaks it.
    if (static_cast<std::size_t>(Index) + 1 != count_) Materialise();
    if (!implicit_) values_.erase(static_cast<std::size_t>(Index));
    --count_;
    if (!(sortedKnown_ && sorted_)) sortedKnown_ = false;
    StatsStale = true;
}

void TChartValueList::RotateValues() {
    if (count_ < 2) return;
    Materialise();
    const double first = values_[0];
    values_.erase(0);
    values_.push_back(first);
    sortedKnown_ = false;
    StatsStale = true;
}

void TChartValueList::AppendStats(double v) {
    if (count_ == 1) {
        lowest_ = highest_ = total_ = v;
        absTotal_ = std::fabs(v);
        return;
    }
    if (v < lowest_) lowest_ = v;
    else if (v > highest_) highest_ = v;
    total_ += v;
    absTotal_ += std::fabs(v);
}

void TChartValueList::RecomputeStats() {
    const std::size_t count = count_;
    if (count == 0) {
        lowest_ = highest_ = total_ = absTotal_ = 0.0;
    } else {
        const double f = Raw(0) * multiplier_;
        lowest_ = highest_ = total_ = f;
        absTotal_ = std::fabs(f);
        for (std::size_t i = 1; i < count; ++i) {
            const double v = Raw(i) * multiplier_;
            if (v < lowest_) lowest_ = v;
            else if (v > highest_) highest_ = v;
            total_ += v;
            absTotal_ += std::fabs(v);
        }
    }
    StatsStale = false;
}

double TChartValueList::HighestValue() {
    if (StatsStale) RecomputeStats();
    return highest_;
}
double TChartValueList::LowestValue() {
    if (StatsStale) RecomputeStats();
    return lowest_;
}
double TChartValueList::ValueTotal() {
    if (StatsStale) RecomputeStats();
    return total_;
}
double TChartValueList::AbsoluteTotal() {
    if (StatsStale) RecomputeStats();
    return absTotal_;
}

void TChartValueList::SetMultiplier(double value) {
    if (value == multiplier_) return;
    multiplier_ = value;
    StatsStale = true;
    Modified();
    if (owner_) owner_->RequestRepaint();
}

bool TChartValueList::IsSortedAscending() const {
    if (!sortedKnown_) {
        sorted_ = true;
        for (std::size_t i = 0; i < count_ && sorted_; ++i) {
            sorted_ = !std::isnan(Raw(i)) && (i == 0 || Raw(i - 1) <= Raw(i));
        }
        sortedKnown_ = true;
    }
    return sorted_;
}

std::int32_t TChartValueList::FirstIndexAtOrAbove(double Value, std::int32_t First) const {
    std::size_t lo = First > 0 ? static_cast<std::size_t>(First) : 0;
    std::size_t hi = count_;
    const double m = multiplier_;
    // A positive finite multiplier keeps ascending raw values ascending after scaling, so the
    // predicate "scaled >= Value" is false then true along the list and can be bisected.
    if (m > 0 && std::isfinite(m) && IsSortedAscending()) {
        while (lo < hi) {
            const std::size_t mid = lo + (hi - lo) / 2;
            if (Raw(mid) * m >= Value) hi = mid;
            else lo = mid + 1;
        }
        return static_cast<std::int32_t>(lo);
    }
    for (; lo < hi; ++lo) {
        if (Raw(lo) * m >= Value) break;
    }
    return static_cast<std::int32_t>(lo);
}

} // namespace rv
