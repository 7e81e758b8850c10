#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "rangeview/tools/ToolError.h"
#include "rangeview/tools/InputFile.h"

namespace rv {

// The raw capture file of `monitor --raw`: every received byte with its arrival time, so a field
// session can be decoded again or replayed into the real decoder byte for byte.
//
// All numbers little-endian.
//   header, 16 bytes:  magic "RVCAPTUR" (8 bytes), version u16 = 1, header size u16 = 16,
//                      reserved u32 = 0
//   records, repeated: time_us u64 (arrival time in microseconds since the start of the
//                      recording or, with rotation, of the file; never decreasing, at most
//                      MaxTimeUs), count u32 (1 or more), then count bytes as received
// A file cut short inside a record (a kill while writing) still reads up to its last whole
// record. Readers skip header bytes past the size they know, so the header can grow.
struct CaptureFormat {
    static constexpr char Magic[8] = {'R', 'V', 'C', 'A', 'P', 'T', 'U', 'R'};
    static constexpr std::uint16_t Version = 1;
    static constexpr std::uint16_t HeaderSize = 16;
    static constexpr std::size_t RecordHeaderSize = 12;
    // Far above what one read can deliver; a larger count marks a damaged file.
    static constexpr std::uint32_t MaxRecordBytes = 1u << 24;
    // A hundred years: no recording runs that long, so a later time marks a damaged file.
    static constexpr std::uint64_t MaxTimeUs = 36525ull * 86400 * 1000000;

    static std::array<std::uint8_t, HeaderSize> EncodeHeader() noexcept;
    // What goes before the bytes of one record.
    static std::array<std::uint8_t, RecordHeaderSize>
    EncodeRecordHead(std::uint64_t timeUs, std::uint32_t count) noexcept;
    // That of the record of bytes received `since` the start of the file (in microseconds, a
    // time before it counted as the start), as the writers of captures put it.
    static std::array<std::uint8_t, RecordHeaderSize>
    EncodeRecordHead(std::chrono::nanoseconds since, std::size_t count) noexcept;
};

// One read as captured: when it arrived (microseconds from the start) and its bytes.
struct CaptureRecord {
    std::uint64_t TimeUs = 0;
    std::vector<std::uint8_t> Bytes;
};

// A record that cannot be one (a count of 0 or beyond MaxRecordBytes, a time beyond MaxTimeUs or
// going backwards): the records before it are as good as any capture's.
class CaptureDamage : public ToolError {
public:
    using ToolError::ToolError;
};

// The line that tells how the records of a capture ended before its end, the same for every
// reader of one: at damage (the CaptureDamage's text) or inside a record (a file cut short).
// `done` says what became of the records before it: "decoded", "replayed", "plotted".
std::string CaptureDamageNote(std::string_view damage, std::string_view done);
std::string CaptureCutShortNote(std::string_view path, std::string_view done);

// Reads a capture record by record. Throws ToolError with a one-line reason for a file that is
// not a capture, of a later version, cut short inside its header, or that cannot be read, and
// CaptureDamage for a damaged record.
class CaptureReader {
public:
    // Opens and checks the header.
    explicit CaptureReader(const std::string& path);
    CaptureReader(const CaptureReader&) = delete;
    CaptureReader& operator=(const CaptureReader&) = delete;

    // The next record, or nullopt at the end (a record cut short ends the file, see
    // Truncated()).
    std::optional<CaptureRecord> Next();
    // True once the end came inside a record.
    bool Truncated() const noexcept { return Truncated_; }
    // As Next, into `record`, whose buffer is reused: a reader of a long capture makes no
    // allocation and no system call per record. False at the end.
    bool NextInto(CaptureRecord& record);

private:
    // Copies the next `count` bytes of the file to out: fewer only at its end.
    std::size_t Take(std::uint8_t* out, std::size_t count);

    std::string Path_;
    InputFile File_;
    std::vector<std::uint8_t> Buffer_;
    std::size_t Begin_ = 0; // of what Buffer_ holds unread
    std::size_t End_ = 0;
    std::uint64_t LastTime_ = 0;
    std::uint64_t Offset_ = 0; // of the next record
    bool Truncated_ = false;
};

} // namespace rv
