#include <cstdio>

#include "cli/commands.h"
#include "cli/options.h"
#include "cli/stderr_window.h"
#include "package/lha_extractor.h"
#include "package/resources.h"
#include "platform/files.h"

namespace vcq::cli {
namespace {

// Writes the embedded package to a "~vc" file in DIR; removed afterwards.
bool WriteEmbeddedPackage(const std::string& dir, std::string& path, StderrWindow& window) {
    std::vector<uint8_t> data = LoadPackage(&window);
    if (data.empty() || !files::CreateUniqueFile(dir, "~vc", path))
        return false;
    const bool ok = files::WriteWholeFile(
        path, std::string_view(reinterpret_cast<const char*>(data.data()), data.size()));
    if (!ok)
        files::RemoveFile(path);
    return ok;
}

}  // namespace

int RunExtract(const Args& args) {
    if (args.size() != 2 || args[1].empty())
        return UsageError("extract", "give ARCHIVE (or embedded) and DIR");
    std::string dir = args[1];
    if (dir.back() != '/' && dir.back() != files::kPathSeparator)
        dir += files::kPathSeparator;
    // Never the drive or share root itself, which Windows cannot create.
    if (!files::CreateFolderPath(dir)) {
        std::fprintf(stderr, "extract: cannot create %s\n", dir.c_str());
        return 2;
    }
    StderrWindow window;
    std::string archive = args[0];
    std::string temporary;
    if (archive == "embedded") {
        if (!WriteEmbeddedPackage(dir, temporary, window))
            return 2;
        archive = temporary;
    }
    LhaExtractor extractor(&window);
    extractor.createFolders = 1;
    extractor.folderEntries = 1;  // archives made by lha name their folders, empty ones too
    int members = 0;
    int opened = extractor.Extract(archive, dir, members);
    if (!temporary.empty())
        files::RemoveFile(temporary);
    if (!opened)
        return 2;
    for (const auto& m : extractor.Members()) {
        if (m.outcome != MemberOutcome::Written && m.outcome != MemberOutcome::Folder)
            std::fprintf(stderr, "%s: %s\n", m.name.c_str(), ToString(m.outcome));
    }
    if (extractor.ArchiveTruncated())
        std::fprintf(stderr, "archive truncated\n");
    std::printf("members: %d\n", members);
    return extractor.AllWritten() ? 0 : 1;
}

}  // namespace vcq::cli
