// What the upload's phases of one job hand on to each other, on its worker:
// the folder the package was unpacked into (removed whatever happens), the
// FTP connection logged in before the turn, and the place in the upload line
// (left as soon as the last file is sent, or when the upload ends).
#pragma once

#include <memory>
#include <string>

#include "package/workspace.h"
#include "platform/ftp_transfer.h"
#include "upgrade/camera_upgrade.h"
#include "upgrade/job_transfers.h"

namespace vcq {

struct CameraUpgrade::UploadRun {
    std::string root;
    std::string host;
    std::unique_ptr<ftp::FtpConnection> ftp;
    std::shared_ptr<UploadLine> line;  // held while set
    bool waited = false;               // the turn came after a wait

    void LeaveLine() {
        if (line)
            line->Release();
        line.reset();
    }
    ~UploadRun() {
        LeaveLine();
        ftp.reset();
        if (!root.empty())
            RemoveFolderTree(root);
    }
};

}  // namespace vcq
