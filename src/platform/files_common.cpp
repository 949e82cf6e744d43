#include <cstdio>

#include "platform/files.h"

namespace vcq::files {

bool ReadWholeFile(const std::string& path, std::string& bytes) {
    bytes.clear();
    std::FILE* file = OpenFile(path, "rb");
    if (!file)
        return false;
    char chunk[16384];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0)
        bytes.append(chunk, got);
    const bool ok = !std::ferror(file);
    std::fclose(file);
    return ok;
}

bool WriteWholeFile(const std::string& path, std::string_view bytes) {
    std::FILE* file = OpenFile(path, "wb");
    bool ok = file && std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    if (file && std::fclose(file) != 0)
        ok = false;
    return ok;
}

std::string ProgramsFolder() {
    // Unset, it must not become a folder relative to the current one.
    return GetEnv("ProgramFiles").value_or(UserDataFolder());
}

}  // namespace vcq::files
