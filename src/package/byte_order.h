// Big-endian loads for the decoders' bit buffers: one unaligned load and a
// byte swap on every compiler, plain shifts where nothing better is known.
#pragma once

#include <cstdint>
#include <cstring>
#if __has_include(<version>)
#include <version>
#endif
#if defined(__cpp_lib_byteswap) || defined(__cpp_lib_endian)
#include <bit>
#endif
#if defined(_MSC_VER) && !defined(__clang__)
#include <cstdlib>
#endif

namespace vcq {

// Eight bytes from p, the first one highest.
inline uint64_t LoadBigEndian64(const uint8_t* p) {
#if defined(__cpp_lib_endian)
    if constexpr (std::endian::native == std::endian::big) {
        uint64_t v;
        std::memcpy(&v, p, 8);
        return v;
    }
#endif
    uint64_t v;
    std::memcpy(&v, p, 8);
#if defined(__cpp_lib_byteswap)
    return std::byteswap(v);
#elif defined(__GNUC__) || defined(__clang__)
    return __builtin_bswap64(v);
#elif defined(_MSC_VER)
    return _byteswap_uint64(v);
#else
    // Compilers without a swap recognise this pattern, most of them.
    v = 0;
    for (int i = 0; i < 8; ++i)
        v = (v << 8) | p[i];
    return v;
#endif
}

}  // namespace vcq
