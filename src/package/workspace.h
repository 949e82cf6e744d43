// The temporary workspace: a "~vcqtemp%d" folder in the system's temporary
// folder into which the package is written and unpacked before each upload,
// and removed with everything in it when the program ends.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "package/resources.h"

namespace vcq {

class WindowPort;

class PackageWorkspace {
  public:
    PackageWorkspace() = default;
    ~PackageWorkspace() = default;
    PackageWorkspace(const PackageWorkspace&) = delete;
    PackageWorkspace& operator=(const PackageWorkspace&) = delete;

    // Called once while the main window initialises, in this order.
    void LoadModelList(WindowPort* window) { models = vcq::LoadModelList(window); }
    void LoadPackage(WindowPort* window) { packageData = vcq::LoadPackage(window); }

    // Makes sure the folder exists, writes the package into a new "~vc" file
    // in it and unpacks it there. 1 on success; 0 when there is no package,
    // the folder or file cannot be made, the archive cannot be opened (a
    // "DEBUG" box with its path goes to `window`), or a member came out
    // damaged or could not be written (such a tree must not be uploaded).
    int PreparePackage(WindowPort* window);

    // The same for one transfer, into a new folder of its own inside the
    // workspace, so that transfers running at once never upload a file that
    // another one is writing or deleting. 1 with `folder` set (ending with a
    // separator), else 0 as above; the caller removes the folder with
    // RemoveFolderTree when the transfer ends. Safe from several threads.
    int PrepareTransferFolder(WindowPort* window, std::string& folder);

    // At exit: removes the folder if a package was written in it. Failure
    // goes to the debugger output only.
    void RemoveAtExit();

    ModelList models;
    std::vector<uint8_t> packageData;
    int32_t workspaceCreated = 0;
    std::string workspaceName;  // "~vcqtemp%d" plus a separator
    std::string workspacePath;  // full path, ending with a separator
    std::string packageFile;    // last package file written; empty until then
    int extractedCount = 0;

    // Where the folder is made; empty means the system's temporary folder.
    std::string tempFolderOverride;

  private:
    bool MakeWorkspaceLocked();
    // Writes the package into a new "~vc" file in `folder` and unpacks it there.
    int Unpack(WindowPort* window, const std::string& folder);

    std::mutex mutex_;  // the fields above, while transfers prepare at once
};

// Deletes a folder and everything below it, read-only files included.
// Links are removed, never followed. Non-zero on success.
int RemoveFolderTree(const std::string& path);

}  // namespace vcq
