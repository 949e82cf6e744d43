// Any datagram a camera (or anyone on the segment) may send to the probe.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "discovery/camera_record.h"
#include "discovery/reply_parser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static vcq::DiscoveryTable& table = *[] {
        auto* t = new vcq::DiscoveryTable;
        t->SetModels({"VCQ-R20", "VCQ-R20N", "VCQ-R20P", ""});
        return t;
    }();
    // The receive thread hands the parser at most 1,072 bytes.
    std::string_view datagram(reinterpret_cast<const char*>(data), size > 1072 ? 1072 : size);
    if (auto record = vcq::ParseReply(datagram, table.Models())) {
        if (std::memchr(record->mac, '\0', sizeof record->mac) == nullptr)
            __builtin_trap();
        if (std::memchr(record->model, '\0', sizeof record->model) == nullptr)
            __builtin_trap();
        table.Store(*record);
    }
    if (table.Count() > vcq::kDiscoveryTableSize)
        __builtin_trap();
    return 0;
}
