#include "package/workspace.h"

#include <cstdio>
#include <random>

#include "package/lha_extractor.h"
#include "platform/files.h"

namespace vcq {

bool PackageWorkspace::MakeWorkspaceLocked() {
    if (workspaceCreated != 0)
        return true;
    std::string temp = tempFolderOverride;
    if (temp.empty()) {
        if (!files::GetTempFolder(temp))
            return false;
    } else if (temp.back() != files::kPathSeparator) {
        temp += files::kPathSeparator;
    }
    std::mt19937 rng(std::random_device{}());
    for (int attempt = 0; attempt < 100 && workspaceCreated == 0; ++attempt) {
        workspaceName = "~vcqtemp" + std::to_string(rng() % 32768) + files::kPathSeparator;
        workspacePath = temp + workspaceName;
        if (files::CreateFolder(workspacePath))
            workspaceCreated = 1;
    }
    return workspaceCreated != 0;
}

int PackageWorkspace::PreparePackage(WindowPort* window) {
    std::string folder;
    {
        std::lock_guard lock(mutex_);
        if (!MakeWorkspaceLocked())
            return 0;
        folder = workspacePath;
    }
    return Unpack(window, folder);
}

int PackageWorkspace::PrepareTransferFolder(WindowPort* window, std::string& folder) {
    std::string base;
    {
        std::lock_guard lock(mutex_);
        if (!MakeWorkspaceLocked())
            return 0;
        base = workspacePath;
    }
    std::mt19937 rng(std::random_device{}());
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string candidate =
            base + "~vcjob" + std::to_string(rng() % 1000000) + files::kPathSeparator;
        if (files::CreateFolder(candidate)) {
            folder = candidate;
            return Unpack(window, folder);
        }
    }
    return 0;
}

int PackageWorkspace::Unpack(WindowPort* window, const std::string& folder) {
    // No package resource: there is nothing to unpack, and an empty
    // archive must not pass for a prepared package.
    if (packageData.empty())
        return 0;

    std::string file;
    if (!files::CreateUniqueFile(folder, "~vc", file))
        return 0;
    {
        std::lock_guard lock(mutex_);
        packageFile = file;
    }
    std::FILE* f = files::OpenFile(file, "wb");
    if (!f)
        return 0;
    size_t written = std::fwrite(packageData.data(), 1, packageData.size(), f);
    bool closed = std::fclose(f) == 0;
    if (written != packageData.size() || !closed)
        return 0;

    LhaExtractor extractor(window);
    extractor.createFolders = 1;
    int count = 0;
    bool extracted = extractor.Extract(file, folder, count);
    {
        std::lock_guard lock(mutex_);
        extractedCount = count;
    }
    if (!extracted)
        return 0;
    for (const auto& m : extractor.Members()) {
        if (m.outcome != MemberOutcome::Written && m.outcome != MemberOutcome::UnknownMethod)
            return 0;
    }
    return extractor.ArchiveTruncated() ? 0 : 1;
}

void PackageWorkspace::RemoveAtExit() {
    if (packageFile.empty())
        return;
    if (!RemoveFolderTree(workspacePath))
        files::DebugOutput("Failed to clear temp folder!");
}

int RemoveFolderTree(const std::string& path) {
    std::string folder = path;
    while (folder.size() > 1 && folder.back() == files::kPathSeparator)
        folder.pop_back();
    // A read-only folder would keep its entries here: clear that too.
    files::MakeFolderWritable(folder);
    std::vector<files::FolderEntry> entries;
    if (!files::ListFolder(folder, entries))
        return 0;
    for (const auto& e : entries) {
        std::string full = folder + files::kPathSeparator + e.name;
        if (e.isFolder) {
            if (!RemoveFolderTree(full))
                return 0;
            continue;
        }
        if (files::IsReadOnly(full) && !files::SetReadOnly(full, false))
            return 0;
        if (!files::RemoveFile(full))
            return 0;
    }
    return files::RemoveEmptyFolder(folder) ? 1 : 0;
}

}  // namespace vcq
