#include "package/upload_plan.h"

#include <algorithm>
#include <vector>

#include "platform/files.h"

namespace vcq {
namespace {

class PlanBuilder {
  public:
    explicit PlanBuilder(UploadPlan& plan) : plan_(plan) {}

    // Adds a folder or file entry; false once the limit is passed.
    bool AddCounted(char kind, const std::string& name, const std::string& path) {
        Add(kind, name, path);
        return next_ <= kUploadPlanLimit;
    }
    void Add(char kind, const std::string& name, const std::string& path) {
        if (next_ >= kUploadPlanSize)
            return;  // only the uncounted tail can get here
        plan_.entries[next_++] = {kind, name, path};
    }

    // The entries of `folder`, sub-folders planned recursively.
    bool AddContents(const std::string& folder) {
        std::vector<files::FolderEntry> entries;
        files::ListFolder(folder, entries);
        std::sort(entries.begin(), entries.end(),
                  [](const auto& a, const auto& b) { return a.name < b.name; });
        for (const auto& entry : entries) {
            const std::string path = folder + files::kPathSeparator + entry.name;
            if (entry.isFolder) {
                if (!AddCounted('d', entry.name, path) || !AddContents(path))
                    return false;
                Add('f', "", path);
            } else {
                if (!AddCounted('e', entry.name, path))
                    return false;
                ++plan_.fileCount;
            }
        }
        return true;
    }

  private:
    UploadPlan& plan_;
    size_t next_ = 0;
};

}  // namespace

void UploadPlan::Clear() {
    for (auto& entry : entries)
        entry = UploadEntry{};
    fileCount = 0;
}

int BuildUploadPlan(UploadPlan& plan, const std::string& root) {
    plan.Clear();
    PlanBuilder builder(plan);
    for (const char* tree : {"system", "web"}) {
        const std::string folder = root + tree;
        if (files::FolderExists(folder)) {
            if (!builder.AddCounted('d', tree, root) || !builder.AddContents(folder))
                return -1;
        }
        builder.Add('f', "", folder + files::kPathSeparator);
    }
    builder.Add('g', "", "");
    return 0;
}

int CheckUploadPlan(const UploadPlan& plan) {
    bool system = false, web = false;
    for (const auto& entry : plan.entries) {
        if (entry.kind != 'd')
            continue;
        system = system || entry.name == "system";
        web = web || entry.name == "web";
    }
    return system && web ? 1 : 0;
}

}  // namespace vcq
