// The -lh5- decoder alone, from memory: bytes in, up to 64 KiB out.
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
    for (int chunk = 0; chunk < 8; ++chunk) {
        if (!decoder.Decode(vcq::Lh5Decoder::kDictSize))
            break;
    }
    return 0;
}
