// Arbitrary byte streams through FeedByte, with the decoder's invariants checked after every byte.

#include "rangeview/protocol/FrameDecoder.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    rv::FrameDecoder decoder;
    // Twice over: the second pass starts from whatever state and buffer the first one left.
    for (int pass = 0; pass < 2; ++pass) {
        for (std::size_t i = 0; i < size; ++i) {
            const auto reading = decoder.FeedByte(data[i]);
            const std::int32_t pos = decoder.FramePos();
            Check(pos >= 0 && pos <= 259);
            Check(decoder.FrameLength() >= 0 && decoder.FrameLength() + 4 <= 259);
            Check(decoder.InFrame() ? pos >= 2 : pos <= 1);
            Check(!decoder.LengthSeen() || (decoder.InFrame() && pos >= 4));
            if (decoder.InFrame() && decoder.LengthSeen())
                Check(pos <= decoder.FrameLength() + 4);
            if (reading) {
                const auto& buffer = decoder.FrameBuffer();
                Check(pos == 0 && !decoder.InFrame() && decoder.FrameLength() == 0);
                Check(reading->Distance == buffer[4] * 256 + buffer[5]);
                Check(reading->Mode == buffer[6]);
            }
        }
    }
    return 0;
}
