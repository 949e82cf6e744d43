// The package upload: unpack into the workspace, plan, and send the system
// and web trees to the camera's C: drive by FTP, deleting each local file
// once it is on the camera.
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/files.h"
#include "platform/ftp_transfer.h"
#include "upgrade/camera_upgrade.h"

namespace vcq {
namespace {

std::string RemotePath(const std::vector<std::string>& folders) {
    std::string path = "C:";
    for (const auto& name : folders)
        path += "\\" + name;
    return path;
}

// A camera starts its FTP server when asked to; give it a few seconds to
// accept before calling the connection failed. Most accept within a few
// tens of milliseconds: look again soon at first, then less often. The
// camera prepared ahead holds its place in service meanwhile.
constexpr auto kOpenFirstPause = std::chrono::milliseconds(10);
constexpr auto kOpenRetryPause = std::chrono::milliseconds(250);
constexpr auto kOpenPatience = std::chrono::milliseconds(2750);

bool OpenWithRetry(ftp::FtpConnection& ftp, const std::atomic<bool>& abandoned) {
    auto pause = kOpenFirstPause;
    std::chrono::milliseconds waited{0};
    for (;;) {
        if (ftp.Open())
            return true;
        if (waited >= kOpenPatience || abandoned)
            return false;
        std::this_thread::sleep_for(pause);
        waited += pause;
        pause = std::min(2 * pause, kOpenRetryPause);
    }
}

// A local file's size (paths are UTF-8 on every system); 0 when unknown.
uint64_t FileBytes(const std::string& path) {
    const auto* text = reinterpret_cast<const char8_t*>(path.data());
    std::error_code ec;
    const auto size =
        std::filesystem::file_size(std::filesystem::path(text, text + path.size()), ec);
    return ec ? 0 : size;
}

uint64_t PlannedBytes(const UploadPlan& plan) {
    uint64_t total = 0;
    for (const UploadEntry& entry : plan.entries)
        if (entry.kind == 'e')
            total += FileBytes(entry.localPath);
    return total;
}

}  // namespace

int CameraUpgrade::TransferPackage() {
    auto refuse = [&](const char* text, const char* detail) {
        SetFailureDetail(detail);
        if (!silent && owner && !abandoned_)
            owner->MessageBox(text, "Error", MessageIcon::Stop, MessageButtons::Ok);
        packageEntries.Clear();
        fileCount = 0;
    };

    // Each transfer unpacks into a folder of its own, removed whatever
    // happens, so cameras upgraded at once never share a file.
    std::string root;
    struct RemoveFolder {
        const std::string& path;
        ~RemoveFolder() {
            if (!path.empty())
                RemoveFolderTree(path);
        }
    } removeFolder{root};
    // A package that did not unpack whole and sound is never uploaded.
    if (!workspace || workspace->PrepareTransferFolder(owner.get(), root) != 1) {
        refuse("Don't find new firmware!", "the firmware package could not be unpacked whole");
        return -1;
    }

    if (EnableFtpServer()) {
        ProgressReset(0);
        if (BuildUploadPlan(packageEntries, root) != 0) {
            refuse("Buffer over flow!!", "the firmware package holds too many files");
        } else if (CheckUploadPlan(packageEntries) == 0) {
            refuse("Don't find new firmware!",
                   "the firmware package lacks its system or web folder");
        }
        fileCount = packageEntries.fileCount;
    } else {
        packageEntries.Clear();
        fileCount = 0;
    }
    if (fileCount < 1)
        return -1;
    ProgressReset(4 * fileCount);

    // Whoever asks the job to stop ends the upload where it is, and learns
    // how far it got.
    const std::shared_ptr<JobTransfers> meter = transfers;
    ftp::FtpLimits limits;
    limits.abort = meter->Abort();

    std::string host = settings_.hostText.substr(0, settings_.hostText.find(':'));
    ftp::FtpConnection ftp(host, ftpPort, ftpUser, ftpPassword, limits);
    auto failed = [&](const std::string& what, int result) {
        SetFailureDetail(what + ": " + ftp.lastError());
        return result;
    };
    // Logged in before its turn: a camera's FTP server may take a moment
    // to accept once switched on, and that moment is not the line's.
    if (!OpenWithRetry(ftp, abandoned_))
        return failed("FTP login to " + host, -2);
    if (!ftp.ChangeFolder("C:\\"))
        return failed("FTP folder C:\\", -2);

    // Prepared while another camera uploads: ours begins as that one ends.
    const std::shared_ptr<UploadLine> line = uploadLine;
    bool waited = false;
    if (line) {
        EnterPhase(Phase::AwaitTurn);
        const auto queued = std::chrono::steady_clock::now();
        if (!line->Take(abandoned_))
            return -3;
        waited = std::chrono::steady_clock::now() - queued > std::chrono::seconds(1);
    }
    struct LeaveLine {
        UploadLine* line;
        void Now() {
            if (line)
                line->Release();
            line = nullptr;
        }
        ~LeaveLine() { Now(); }
    } leaveLine{line.get()};
    EnterPhase(Phase::Upload);
    // A camera closes a control connection left idle while another camera
    // uploaded: after a wait, a fresh login.
    if (waited) {
        ftp.Close();
        if (!OpenWithRetry(ftp, abandoned_))
            return failed("FTP login to " + host, -2);
        if (!ftp.ChangeFolder("C:\\"))
            return failed("FTP folder C:\\", -2);
    }
    meter->BeginUpload(PlannedBytes(packageEntries));
    struct EndUpload {
        JobTransfers& meter;
        ~EndUpload() { meter.EndUpload(); }
    } endUpload{*meter};
    uint64_t sentBefore = 0;  // by the files already on the camera
    const ftp::FtpConnection::SentBytes sent = [&](uint64_t bytes) {
        meter->SetSent(sentBefore + bytes);
    };

    // The new connections after the last file carry no data: the next
    // camera's upload need not wait for them.
    size_t lastFile = 0;
    for (size_t i = 0; i < packageEntries.entries.size(); ++i)
        if (packageEntries.entries[i].kind == 'e')
            lastFile = i;
    // Files must never land in another folder than planned and be
    // followed by a versionup: a refused CWD ends the transfer, and every
    // file names its folder first, as the cameras expect.
    std::vector<std::string> folders;
    for (size_t i = 0; i < packageEntries.entries.size(); ++i) {
        if (abandoned_)
            return -3;
        const UploadEntry& entry = packageEntries.entries[i];
        switch (entry.kind) {
            case 'd':
                ftp.CreateFolderIgnoringFailure(entry.name);
                folders.push_back(entry.name);
                if (!ftp.ChangeFolder(RemotePath(folders)))
                    return failed("FTP folder " + RemotePath(folders), -2);
                break;
            case 'e': {
                if (!ftp.ChangeFolder(RemotePath(folders)))
                    return failed("FTP folder " + RemotePath(folders), -2);
                const uint64_t bytes = FileBytes(entry.localPath);
                if (!ftp.Upload(entry.localPath, entry.name, sent))
                    return failed("FTP upload of " + entry.name, -3);
                sentBefore += bytes;
                meter->SetSent(sentBefore);
                files::RemoveFile(entry.localPath);
                if (i == lastFile)
                    leaveLine.Now();
                break;
            }
            case 'f':
                // A fresh connection for every folder, as the cameras expect.
                ftp.Close();
                if (!OpenWithRetry(ftp, abandoned_))
                    return failed("FTP login to " + host, -3);
                if (!folders.empty())
                    folders.pop_back();
                if (!ftp.ChangeFolder(RemotePath(folders)))
                    return failed("FTP folder " + RemotePath(folders), -2);
                files::RemoveEmptyFolder(entry.localPath);
                break;
            default:
                break;
        }
        ProgressAdvance();
        if (i + 1 >= packageEntries.entries.size() || packageEntries.entries[i + 1].kind == 'g')
            break;
    }
    return 0;
}

}  // namespace vcq
