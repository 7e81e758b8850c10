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

CaptureReader::CaptureReader(const std::string& path) : Path_(path)
{
    File_ = std::fopen(path.c_str(), "rb");
    if (File_ == nullptr)
        throw ToolError(path + ": cannot open: " + std::strerror(errno));
    std::uint8_t header[CaptureFormat::HeaderSize];
    const std::size_t got = std::fread(header, 1, sizeof header, File_);
    if (got < sizeof header ||
        std::memcmp(header, CaptureFormat::Magic, sizeof CaptureFormat::Magic) != 0) {
        std::fclose(File_);
        File_ = nullptr;
        throw ToolError(path + ": not a capture file (it does not start with RVCAPTUR)");
    }
    const auto version = GetLittle<std::uint16_t>(header + 8);
    const auto size = GetLittle<std::uint16_t>(header + 10);
    if (version != CaptureFormat::Version || size < CaptureFormat::HeaderSize) {
        std::fclose(File_);
        File_ = nullptr;
        throw ToolError(path + ": capture version " + std::to_string(version) + " with a " +
                        std::to_string(size) + "-byte header; this program reads version 1");
    }
    for (std::size_t skip = size - CaptureFormat::HeaderSize; skip > 0; --skip) {
        if (std::fgetc(File_) == EOF) {
            Truncated_ = true;
            break;
        }
    }
}

CaptureReader::~CaptureReader()
{
    if (File_ != nullptr)
        std::fclose(File_);
}

std::optional<CaptureRecord> CaptureReader::Next()
{
    if (Truncated_)
        return std::nullopt;
    std::uint8_t head[CaptureFormat::RecordHeaderSize];
    const std::size_t got = std::fread(head, 1, sizeof head, File_);
    if (got == 0 && std::feof(File_))
        return std::nullopt;
    if (std::ferror(File_))
        throw ToolError(Path_ + ": cannot read: " + std::strerror(errno));
    if (got < sizeof head) {
        Truncated_ = true;
        return std::nullopt;
    }
    CaptureRecord record;
    record.TimeUs = GetLittle<std::uint64_t>(head);
    const auto count = GetLittle<std::uint32_t>(head + 8);
    const auto offset = std::to_string(std::ftell(File_) - static_cast<long>(sizeof head));
    if (count == 0 || count > CaptureFormat::MaxRecordBytes)
        throw ToolError(Path_ + ": damaged capture: a record of " + std::to_string(count) +
                        " bytes at offset " + offset);
    if (record.TimeUs < LastTime_)
        throw ToolError(Path_ + ": damaged capture: time goes back at offset " + offset);
    LastTime_ = record.TimeUs;
    record.Bytes.resize(count);
    if (std::fread(record.Bytes.data(), 1, count, File_) != count) {
        if (std::ferror(File_))
            throw ToolError(Path_ + ": cannot read: " + std::strerror(errno));
        Truncated_ = true;
        return std::nullopt;
    }
    return record;
}

bool CaptureReader::NextInto(CaptureRecord& record)
{
    if (Truncated_)
        return false;
    if (!Offset_)
        Offset_ = static_cast<std::uint64_t>(std::max(0L, std::ftell(File_)));
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
    if (count == 0 || count > CaptureFormat::MaxRecordBytes)
        throw ToolError(Path_ + ": damaged capture: a record of " + std::to_string(count) +
                        " bytes at offset " + std::to_string(*Offset_));
    if (time < LastTime_)
        throw ToolError(Path_ + ": damaged capture: time goes back at offset " +
                        std::to_string(*Offset_));
    LastTime_ = time;
    record.TimeUs = time;
    record.Bytes.resize(count);
    if (std::fread(record.Bytes.data(), 1, count, File_) != count) {
        if (std::ferror(File_))
            throw ToolError(Path_ + ": cannot read: " + std::strerror(errno));
        Truncated_ = true;
        return false;
    }
    *Offset_ += sizeof head + count;
    return true;
}

} // namespace rv
