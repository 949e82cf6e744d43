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

std::string ProgramsFolder() {
    // Unset, it must not become a folder relative to the current one.
    return GetEnv("ProgramFiles").value_or(UserDataFolder());
}

}  // namespace vcq::files
