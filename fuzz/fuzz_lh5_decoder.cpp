// The -lh5- decoder alone, from memory. The output allowed grows with the
// input, eight bytes a byte (real streams rarely expand more; from 1 KiB on
// matches cross a chunk's end): a few bytes of a one-symbol code would
// otherwise decode 64 KiB every time and slow the search tenfold.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "package/lh5_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static vcq::Lh5Decoder decoder;
    size_t pos = 0;
    decoder.Start([&](uint8_t* buf, size_t max) {
        size_t n = std::min(max, size - pos);
        std::memcpy(buf, data + pos, n);
        pos += n;
        return n;
    });
    size_t budget = std::min<size_t>(8 * vcq::Lh5Decoder::kDictSize, 8 * size);
    while (budget != 0) {
        size_t n = std::min(budget, vcq::Lh5Decoder::kDictSize);
        if (!decoder.Decode(n))
            break;
        budget -= n;
    }
    return 0;
}
