#pragma once

#include <cstdint>
#include <string>

#include "rangeview/chart/ChunkedArray.h"

namespace rv {

class TChartSeries;

enum class TChartListOrder : std::uint8_t { loNone, loAscending, loDescending };

// One value dimension of a series (X or Y): the raw values in point order, a Multiplier applied on
// every read, and cached statistics of the scaled values.
// While the values are exactly 0, 1, 2, ... (the sample numbers a waveform adds) they are not
// stored at all: the index is the value. The first write that breaks that run stores them all.
class TChartValueList {
public:
    // Registers itself in owner's value lists (owner may be null for a free-standing list).
    TChartValueList(TChartSeries* owner, const std::string& name);
    virtual ~TChartValueList() = default;
    TChartValueList(const TChartValueList&) = delete;
    TChartValueList& operator=(const TChartValueList&) = delete;

    // Copies Order, DateTime, Multiplier and ValueSource (not the values).
    virtual void Assign(const TChartValueList& source);

    // Stored value at Index times Multiplier; EListError outside 0 .. ValueCount - 1.
    virtual double ValueAt(std::int32_t Index) const;
    virtual void SetValueAt(std::int32_t Index, double Value);
    virtual void RemoveAllValues();
    // Stores Value where Order asks for it; returns its index.
    virtual std::int32_t AddInOrder(double Value);
    // Stores Value at Index (0 .. ValueCount); later values move up by one.
    virtual void InsertValue(std::int32_t Index, double Value);
    virtual std::int32_t ValueCount() const { return static_cast<std::int32_t>(Count_); }
    virtual void RemoveValue(std::int32_t Index);
    // Moves the first value to the end.
    virtual void RotateValues();

    double LastValue() const { return ValueAt(ValueCount() - 1); }
    // Raw stored value, without Multiplier; no index check.
    double RawValue(std::int32_t Index) const { return Raw(static_cast<std::size_t>(Index)); }
    // The values are held as their indices, without storage.
    bool IsImplicit() const { return Implicit_; }

    double HighestValue();
    double LowestValue();
    double ValueTotal();
    double AbsoluteTotal();

    bool DateTime() const { return DateTime_; }
    void SetDateTime(bool value) { DateTime_ = value; }
    double Multiplier() const { return Multiplier_; }
    void SetMultiplier(double value);
    const std::string& Name() const { return Name_; }
    void SetName(const std::string& value) { Name_ = value; }
    TChartListOrder Order() const { return Order_; }
    void SetOrder(TChartListOrder value) { Order_ = value; }
    const std::string& ValueSource() const { return ValueSource_; }
    void SetValueSource(const std::string& value) { ValueSource_ = value; }
    TChartSeries* Owner() const { return Owner_; }

    // Staging slot for the value being added.
    double StagedValue = 0.0;
    // The four caches must be recomputed before they are read.
    bool StatsStale = true;

    // First index whose scaled value is >= Value, counting up from First (ValueCount when none).
    // Binary search while the stored values are known to be ascending, otherwise a linear scan;
    // both give the same index.
    std::int32_t FirstIndexAtOrAbove(double Value, std::int32_t First) const;
    // True while the stored values are non-decreasing and free of NaN.
    bool IsSortedAscending() const;

private:
    void Modified();
    void RecomputeStats();
    void AppendStats(double scaled);
    void RawInsert(std::int32_t Index, double Value);
    void CheckIndex(std::int32_t Index) const;
    double Raw(std::size_t i) const { return Implicit_ ? static_cast<double>(i) : Values_[i]; }
    // Stores the run of indices so that values can be written freely.
    void Materialise();

    bool DateTime_ = false;
    TChunkedArray<double> Values_;
    std::size_t Count_ = 0;
    bool Implicit_ = true;
    double Highest_ = 0.0;
    double Lowest_ = 0.0;
    double Multiplier_ = 1.0;
    std::string Name_;
    TChartListOrder Order_ = TChartListOrder::loNone;
    TChartSeries* Owner_ = nullptr;
    double Total_ = 0.0;
    double AbsTotal_ = 0.0;
    std::string ValueSource_;
    // Sortedness is tracked on appends and ordered inserts; other writes leave it unknown until a
    // search needs it.
    mutable bool Sorted_ = true;
    mutable bool SortedKnown_ = true;
};

} // namespace rv
