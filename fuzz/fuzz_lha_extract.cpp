// Whole archives: the extractor must not crash, hang or write anything
// outside its output folder.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "package/lha_extractor.h"
#include "package/workspace.h"

namespace fs = std::filesystem;

namespace {

const fs::path& Root() {
    static const fs::path root = [] {
        const char* shm = "/dev/shm";
        fs::path base = fs::is_directory(shm) ? fs::path(shm) : fs::temp_directory_path();
        fs::path p = base / ("vcq-fuzz-" + std::to_string(getpid()));
        return p;
    }();
    return root;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const fs::path archive = Root() / "a.lzh";
    const fs::path out = Root() / "out";
    fs::create_directories(Root());
    if (std::FILE* f = std::fopen(archive.c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    fs::create_directory(out);
    vcq::LhaExtractor x;
    x.createFolders = 1;
    x.maxMemberSize = 1 << 20;
    int members = 0;
    x.Extract(archive.string(), out.string(), members);
    for (const auto& e : fs::directory_iterator(Root())) {
        if (e.path() != archive && e.path() != out) {
            std::fprintf(stderr, "written outside the output folder: %s\n", e.path().c_str());
            std::abort();
        }
    }
    // Nothing is left behind, however the run ends.
    vcq::RemoveFolderTree(Root().string());
    return 0;
}
