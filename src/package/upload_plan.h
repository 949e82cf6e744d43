// The list of folders and files to upload to a camera, built from the
// unpacked package: folders entered and left in order, files in between.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace vcq {

struct UploadEntry {
    // 'd' enter (and create) a folder, 'e' upload a file, 'f' leave the
    // current folder, 'g' end of the plan; 0 for an unused entry.
    char kind = 0;
    std::string name;       // as it is to appear on the camera
    std::string localPath;  // file or folder on this machine
};

inline constexpr size_t kUploadPlanSize = 1024;
inline constexpr int kUploadPlanLimit = 1000;  // folder and file entries

struct UploadPlan {
    std::array<UploadEntry, kUploadPlanSize> entries;
    int32_t fileCount = 0;

    void Clear();
};

// Fills the plan from root/system and root/web (root ends with a separator).
// Entries of a folder are taken in name order. 0, or -1 when the plan would
// hold more than 1,000 folder and file entries.
int BuildUploadPlan(UploadPlan& plan, const std::string& root);

// 1 when the plan enters both a "system" and a "web" folder, else 0.
int CheckUploadPlan(const UploadPlan& plan);

}  // namespace vcq
