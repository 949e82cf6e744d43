// A batch's saved events as `retry` reads them: any bytes, a verdict and no crash.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "cli/retry_log.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<vcq::cli::LoggedCamera> cameras;
    std::string error;
    const bool read = vcq::cli::ReadBatchEvents(
        std::string(reinterpret_cast<const char*>(data), size), cameras, error);
    if (!read && error.empty())
        __builtin_trap();  // a refusal always says why
    return 0;
}
