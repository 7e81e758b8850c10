// Arbitrary text through CommandTextToBytes: the bounded form never writes past its buffer and
// agrees with the unbounded one, and the bytes survive a round trip through hex text.

#include "rangeview/protocol/CommandText.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    // The first byte picks a capacity, so small buffers overflow often.
    const std::size_t capacity = data[0] % 64;
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);

    const std::vector<std::uint8_t> all = rv::CommandTextToBytes(text);
    Check(all.size() <= text.size());

    // Exactly capacity bytes of heap, so ASan sees any write past it.
    std::vector<std::uint8_t> buffer(capacity);
    const auto result = rv::CommandTextToBytes(text, buffer);
    Check(result.Count <= capacity);
    Check(result.Overflow == (all.size() > capacity));
    Check(result.Count == (result.Overflow ? capacity : all.size()));
    for (std::size_t i = 0; i < result.Count; ++i)
        Check(buffer[i] == all[i]);

    static constexpr char digits[] = "0123456789ABCDEF";
    std::string hex;
    for (std::uint8_t b : all) {
        hex += digits[b >> 4];
        hex += digits[b & 15];
        hex += ' ';
    }
    Check(rv::CommandTextToBytes(hex) == all);

    for (std::size_t i = 0; i + 1 < text.size() && i < 8; ++i) {
        const std::int32_t pair = rv::HexPairValue(text.substr(i, 2));
        Check(pair >= -1 && pair <= 255);
    }
    return 0;
}
