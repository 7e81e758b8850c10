#include "rangeview/tools/Capture.h"

#include "rangeview/tools/ToolError.h"

#include <algorithm>
#include <cstring>

namespace rv {

namespace {

template <class T>
void PutLittle(std::uint8_t* out, T value)
{
    for (std::size_t i = 0; i < sizeof(T); ++i)
        out[i] = static_cast<std::uint8_t>(static_cast<std::uint64_t>(value) >> (8 * i));
}

template <class T>
T GetLittle(const std::uint8_t* in)
{
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < sizeof(T); ++i)
        value |= static_cast<std::uint64_t>(in[i]) << (8 * i);
    return static_cast<T>(value);
}

} // namespace

std::string CaptureDamageNote(std::string_view damage, std::string_view done)
{
    return std::string(damage) + "; " + std::string(done) +
           " up to the last whole record before it";
}

std::string CaptureCutShortNote(std::string_view path, std::string_view done)
{
    return std::string(path) + " ends inside a record; " + std::string(done) +
           " up to its last whole record";
}

std::array<std::uint8_t, CaptureFormat::HeaderSize> CaptureFormat::EncodeHeader() noexcept
{
    std::array<std::uint8_t, HeaderSize> header{};
    std::memcpy(header.data(), Magic, sizeof Magic);
    PutLittle<std::uint16_t>(header.data() + 8, Version);
    PutLittle<std::uint16_t>(header.data() + 10, HeaderSize);
    return header;
}

std::array<std::uint8_t, CaptureFormat::RecordHeaderSize>
CaptureFormat::EncodeRecordHead(std::uint64_t timeUs, std::uint32_t count) noexcept
{
    std::array<std::uint8_t, RecordHeaderSize> head{};
    PutLittle<std::uint64_t>(head.data(), timeUs);
    PutLittle<std::uint32_t>(head.data() + 8, count);
    return head;
}

std::array<std::uint8_t, CaptureFormat::RecordHeaderSize>
CaptureFormat::EncodeRecordHead(std::chrono::nanoseconds since, std::size_t count) noexcept
{
    const auto us = std::chrono::duration_cast<std::chrono::microseconds>(since).count();
    return EncodeRecordHead(static_cast<std::uint64_t>(std::max<std::int64_t>(us, 0)),
                            static_cast<std::uint32_t>(count));
}

CaptureReader::CaptureReader(const std::string& path) : Path_(path), File_(path), Buffer_(64 * 1024)
{
    const auto refuse = [&](const std::string& why) { throw ToolError(path + ": " + why); };
    std::uint8_t header[CaptureFormat::HeaderSize];
    const std::size_t got = Take(header, sizeof header);
    if (got < sizeof CaptureFormat::Magic ||
        std::memcmp(header, CaptureFormat::Magic, sizeof CaptureFormat::Magic) != 0)
        refuse(got == 0 ? "not a capture file (it is empty)"
                        : "not a capture file (it does not start with RVCAPTUR)");
    if (got < sizeof header)
        refuse("damaged capture: it ends inside its header, after " + std::to_string(got) + " of " +
               std::to_string(sizeof header) + " bytes");
    const auto version = GetLittle<std::uint16_t>(header + 8);
    const auto size = GetLittle<std::uint16_t>(header + 10);
    if (version != CaptureFormat::Version || size < CaptureFormat::HeaderSize)
        refuse("capture version " + std::to_string(version) + " with a " + std::to_string(size) +
               "-byte header; this program reads version 1");
    for (std::size_t skip = size - CaptureFormat::HeaderSize; skip > 0;) {
        const std::size_t part = std::min(skip, sizeof header);
        if (Take(header, part) < part)
            refuse("damaged capture: it ends inside its " + std::to_string(size) + "-byte header");
        skip -= part;
    }
    Offset_ = size;
}

std::size_t CaptureReader::Take(std::uint8_t* out, std::size_t count)
{
    std::size_t done = 0;
    while (done < count) {
        if (Begin_ == End_) {
            // What fills the buffer or more goes straight where it belongs.
            if (count - done >= Buffer_.size())
                return done + File_.Read(std::span(out + done, count - done));
            Begin_ = 0;
            End_ = File_.Read(Buffer_);
            if (End_ == 0)
                break;
        }
        const std::size_t part = std::min(count - done, End_ - Begin_);
        std::memcpy(out + done, Buffer_.data() + Begin_, part);
        Begin_ += part;
        done += part;
    }
    return done;
}

std::optional<CaptureRecord> CaptureReader::Next()
{
    CaptureRecord record;
    if (!NextInto(record))
        return std::nullopt;
    return record;
}

bool CaptureReader::NextInto(CaptureRecord& record)
{
    if (Truncated_)
        return false;
    std::uint8_t head[CaptureFormat::RecordHeaderSize];
    const std::size_t got = Take(head, sizeof head);
    if (got == 0)
        return false;
    if (got < sizeof head) {
        Truncated_ = true;
        return false;
    }
    const auto time = GetLittle<std::uint64_t>(head);
    const auto count = GetLittle<std::uint32_t>(head + 8);
    const auto damaged = [&](const std::string& what) {
        return CaptureDamage(Path_ + ": damaged capture: " + what + " at offset " +
                             std::to_string(Offset_));
    };
    if (count == 0 || count > CaptureFormat::MaxRecordBytes)
        throw damaged("a record of " + std::to_string(count) + " bytes");
    if (time > CaptureFormat::MaxTimeUs)
        throw damaged("a record time of " + std::to_string(time) + " us, beyond 100 years,");
    if (time < LastTime_)
        throw damaged("time goes back");
    LastTime_ = time;
    record.TimeUs = time;
    record.Bytes.resize(count);
    if (Take(record.Bytes.data(), count) != count) {
        Truncated_ = true;
        return false;
    }
    Offset_ += sizeof head + count;
    return true;
}

} // namespace rv
