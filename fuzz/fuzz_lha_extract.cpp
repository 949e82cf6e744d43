// Whole archives, extracted into memory: the extractor must not crash or
// hang, must name nothing outside its output folder, and must leave no
// member behind whose data failed.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "package/lha_extractor.h"

namespace {

[[noreturn]] void Fail(const char* what, const std::string& path) {
    std::fprintf(stderr, "%s: %s\n", what, path.c_str());
    std::abort();
}

// Relative, and no component that could climb out or name a drive.
void CheckInside(const std::string& path) {
    if (path.empty() || path.front() == '/' || path.back() == '/')
        Fail("not a relative path", path);
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string::npos)
            end = path.size();
        std::string part = path.substr(start, end - start);
        if (part.empty() || part == "." || part == ".." ||
            part.find_first_of(std::string(":\\\xFF\0", 4)) != std::string::npos)
            Fail("outside the output folder", path);
        start = end + 1;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // One extractor for the run, as the decoder's target keeps one decoder:
    // each Extract starts afresh, and a new one would cost more than most inputs.
    static vcq::LhaExtractor x;
    x.createFolders = 1;
    x.folderEntries = 1;
    // Small bounds keep each input cheap; past them members are refused or
    // fail to write, paths the search should reach anyway.
    x.maxMemberSize = 64 << 10;
    vcq::MemorySink sink;
    sink.maxBytes = 64 << 10;
    int members = 0;
    x.Extract({data, size}, sink, members);
    if (members != static_cast<int>(x.Members().size()))
        Fail("member count", std::to_string(members));
    size_t written = 0;
    for (const auto& m : x.Members())
        written += m.outcome == vcq::MemberOutcome::Written;
    if (sink.files.size() > written)
        Fail("a failed member was kept", std::to_string(sink.files.size()));
    for (const auto& [path, bytes] : sink.files)
        CheckInside(path);
    for (const auto& path : sink.folders)
        CheckInside(path);
    return 0;
}
