#include "rangeview/tools/Capture.h"

#include "rangeview/tools/DistanceSignal.h"

#include <algorithm>
#include <cerrno>
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

CaptureReader::CaptureReader(const std::string& path) : Path_(path)
{
    File_ = std::fopen(path.c_str(), "rb");
    if (File_ == nullptr)
        throw ToolError(path + ": cannot open: " + std::strerror(errno));
    const auto refuse = [&](const std::string& why) {
        std::fclose(File_);
        File_ = nullptr;
        throw ToolError(path + ": " + why);
    };
    std::uint8_t header[CaptureFormat::HeaderSize];
    const std::size_t got = std::fread(header, 1, sizeof header, File_);
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
    for (std::size_t skip = size - CaptureFormat::HeaderSize; skip > 0; --skip) {
        if (std::fgetc(File_) == EOF)
            refuse("damaged capture: it ends inside its " + std::to_string(size) + "-byte header");
    }
    Offset_ = size;
}

CaptureReader::~CaptureReader()
{
    if (File_ != nullptr)
        std::fclose(File_);
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
    const std::size_t got = std::fread(head, 1, sizeof head, File_);
    if (got == 0 && std::feof(File_))
        return false;
    if (std::ferror(File_))
        throw ToolError(Path_ + ": cannot read: " + std::strerror(errno));
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
    if (std::fread(record.Bytes.data(), 1, count, File_) != count) {
        if (std::ferror(File_))
            throw ToolError(Path_ + ": cannot read: " + std::strerror(errno));
        Truncated_ = true;
        return false;
    }
    Offset_ += sizeof head + count;
    return true;
}

} // namespace rv
