// Any text an operator may load as a camera list or paste from the clipboard.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "silent_window.h"
#include "targets/camera_list_parser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static vcq::fuzz::SilentWindow window;
    vcq::CameraListParser parser(&window);
    bool ok = parser.ReadText(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!ok && parser.EntryCount() != 0)
        __builtin_trap();  // all or nothing
    if (parser.EntryCount() > vcq::kMaxImportEntries)
        __builtin_trap();
    for (const auto& entry : parser.Entries()) {
        if (entry.port != 80 && (entry.port < 1024 || entry.port > 65535))
            __builtin_trap();
    }
    return 0;
}
