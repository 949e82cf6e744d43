// Decoding speed on a large -lh5- archive, in MB/s of unpacked data:
//   DecodeInMemory: headers, decoder and CRC only, from a buffer;
//   Extract: the whole extractor, archive file to files on disk.
// The archive: $VCQ_BENCH_ARCHIVE, or build/bench-data/bench.lzh from
// scripts/make-bench-archive.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "package/crc16.h"
#include "package/lh5_decoder.h"
#include "package/lha_extractor.h"
#include "package/lha_header.h"
#include "package/workspace.h"

namespace {

namespace fs = std::filesystem;

std::string ArchivePath() {
    const char* env = std::getenv("VCQ_BENCH_ARCHIVE");
    return env && *env ? env : VCQ_BENCH_ARCHIVE;
}

const std::vector<uint8_t>& ArchiveBytes() {
    static const std::vector<uint8_t> bytes = [] {
        std::ifstream in(ArchivePath(), std::ios::binary);
        return std::vector<uint8_t>(std::istreambuf_iterator<char>(in),
                                    std::istreambuf_iterator<char>());
    }();
    return bytes;
}

// Decodes every -lh5- member; returns the unpacked byte count, 0 on a
// CRC or stream failure.
uint64_t DecodeAll(const std::vector<uint8_t>& a, vcq::Lh5Decoder& decoder) {
    uint64_t total = 0;
    size_t pos = 0;
    while (pos + 2 <= a.size()) {
        size_t size = a[pos] | (a[pos + 1] << 8);
        if (size == 0 || pos + size > a.size())
            break;
        vcq::LhaHeader h;
        vcq::ParseLhaHeader(a.data() + pos + 2, size - 2, h);
        pos += size;
        size_t dataEnd = pos + h.compressedSize;
        if (vcq::IsLh5Method(h)) {
            size_t in = pos;
            decoder.Start([&](uint8_t* buf, size_t max) {
                size_t n = std::min(max, dataEnd - in);
                std::memcpy(buf, a.data() + in, n);
                in += n;
                return n;
            });
            uint16_t crc = 0;
            for (uint32_t left = h.originalSize; left != 0;) {
                size_t n = std::min<size_t>(left, vcq::Lh5Decoder::kDictSize);
                if (!decoder.Decode(n))
                    return 0;
                crc = vcq::UpdateCrc16(crc, decoder.Output(), n);
                left -= static_cast<uint32_t>(n);
            }
            if (crc != h.crc)
                return 0;
            total += h.originalSize;
        }
        pos = dataEnd;
    }
    return total;
}

void DecodeInMemory(benchmark::State& state) {
    const auto& a = ArchiveBytes();
    if (a.empty()) {
        state.SkipWithError("no archive: run scripts/make-bench-archive");
        return;
    }
    auto decoder = std::make_unique<vcq::Lh5Decoder>();
    uint64_t bytes = 0;
    for (auto _ : state) {
        uint64_t n = DecodeAll(a, *decoder);
        if (n == 0) {
            state.SkipWithError("decoding failed");
            return;
        }
        bytes += n;
    }
    state.SetBytesProcessed(static_cast<int64_t>(bytes));
}
BENCHMARK(DecodeInMemory)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void Extract(benchmark::State& state) {
    if (ArchiveBytes().empty()) {
        state.SkipWithError("no archive: run scripts/make-bench-archive");
        return;
    }
    fs::path base = fs::is_directory("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
    fs::path out = base / ("vcq-bench-" + std::to_string(getpid()));
    uint64_t bytes = 0;
    for (auto _ : state) {
        fs::create_directories(out);
        vcq::LhaExtractor x;
        x.createFolders = 1;
        int members = 0;
        x.Extract(ArchivePath(), out.string(), members);
        if (!x.AllWritten()) {
            state.SkipWithError("extraction failed");
            break;
        }
        state.PauseTiming();
        for (auto& e : fs::recursive_directory_iterator(out))
            if (e.is_regular_file())
                bytes += e.file_size();
        vcq::RemoveFolderTree(out.string());
        state.ResumeTiming();
    }
    std::error_code ec;
    fs::remove_all(out, ec);
    state.SetBytesProcessed(static_cast<int64_t>(bytes));
}
BENCHMARK(Extract)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
