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
#include "upgrade/upload_run.h"

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

bool CameraUpgrade::PreparePackage() {
    auto refuse = [&](const char* text, const char* detail) {
        SetFailureDetail(detail);
        if (!silent && owner && !abandoned_)
            owner->MessageBox(text, "Error", MessageIcon::Stop, MessageButtons::Ok);
        return false;
    };
    // Each transfer unpacks into a folder of its own, removed whatever
    // happens, so cameras upgraded at once never share a file.
    upload_ = std::make_unique<UploadRun>();
    // A package that did not unpack whole and sound is never uploaded.
    if (!workspace || workspace->PrepareTransferFolder(owner.get(), upload_->root) != 1)
        return refuse("Don't find new firmware!",
                      "the firmware package could not be unpacked whole");
    if (BuildUploadPlan(packageEntries, upload_->root) != 0)
        return refuse("Buffer over flow!!", "the firmware package holds too many files");
    if (CheckUploadPlan(packageEntries) == 0)
        return refuse("Don't find new firmware!",
                      "the firmware package lacks its system or web folder");
    fileCount = packageEntries.fileCount;
    if (fileCount < 1)
        return false;
    ProgressReset(4 * fileCount);
    return !abandoned_;
}

bool CameraUpgrade::FtpFailed(const std::string& what) {
    SetFailureDetail(what + ": " + upload_->ftp->lastError());
    return false;
}

bool CameraUpgrade::OpenFtp() {
    if (abandoned_ || !EnableFtpServer())
        return false;
    // Whoever asks the job to stop ends the upload where it is.
    ftp::FtpLimits limits;
    limits.abort = transfers->Abort();
    upload_->host = settings_.hostText.substr(0, settings_.hostText.find(':'));
    upload_->ftp =
        std::make_unique<ftp::FtpConnection>(upload_->host, ftpPort, ftpUser, ftpPassword, limits);
    // Logged in before its turn: a camera's FTP server may take a moment
    // to accept once switched on, and that moment is not the line's.
    if (!OpenWithRetry(*upload_->ftp, abandoned_))
        return FtpFailed("FTP login to " + upload_->host);
    if (!upload_->ftp->ChangeFolder("C:\\"))
        return FtpFailed("FTP folder C:\\");
    return true;
}

bool CameraUpgrade::AwaitUploadTurn() {
    // Prepared while another camera uploads: ours begins as that one ends.
    if (!uploadLine)
        return !abandoned_;
    EnterPhase(Phase::AwaitTurn);
    bool waited = false;
    if (!uploadLine->Take(abandoned_, &waited))
        return false;
    upload_->line = uploadLine;
    upload_->waited = waited;
    return true;
}

bool CameraUpgrade::UploadPackage() {
    if (!EnterPhase(Phase::Upload))
        return false;
    ftp::FtpConnection& ftp = *upload_->ftp;
    // A camera may close a control connection left idle while another
    // camera uploaded, however soon: after any wait, a fresh login.
    if (upload_->waited) {
        ftp.Close();
        if (!OpenWithRetry(ftp, abandoned_))
            return FtpFailed("FTP login to " + upload_->host);
        if (!ftp.ChangeFolder("C:\\"))
            return FtpFailed("FTP folder C:\\");
    }
    // Whoever asks the job to stop learns how far the upload got.
    const std::shared_ptr<JobTransfers> meter = transfers;
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
            return false;
        const UploadEntry& entry = packageEntries.entries[i];
        switch (entry.kind) {
            case 'd':
                ftp.CreateFolderIgnoringFailure(entry.name);
                folders.push_back(entry.name);
                if (!ftp.ChangeFolder(RemotePath(folders)))
                    return FtpFailed("FTP folder " + RemotePath(folders));
                break;
            case 'e': {
                if (!ftp.ChangeFolder(RemotePath(folders)))
                    return FtpFailed("FTP folder " + RemotePath(folders));
                const uint64_t bytes = FileBytes(entry.localPath);
                if (!ftp.Upload(entry.localPath, entry.name, sent))
                    return FtpFailed("FTP upload of " + entry.name);
                sentBefore += bytes;
                meter->SetSent(sentBefore);
                files::RemoveFile(entry.localPath);
                if (i == lastFile)
                    upload_->LeaveLine();
                break;
            }
            case 'f':
                // A fresh connection for every folder, as the cameras expect.
                ftp.Close();
                if (!OpenWithRetry(ftp, abandoned_))
                    return FtpFailed("FTP login to " + upload_->host);
                if (!folders.empty())
                    folders.pop_back();
                if (!ftp.ChangeFolder(RemotePath(folders)))
                    return FtpFailed("FTP folder " + RemotePath(folders));
                files::RemoveEmptyFolder(entry.localPath);
                break;
            default:
                break;
        }
        ProgressAdvance();
        if (i + 1 >= packageEntries.entries.size() || packageEntries.entries[i + 1].kind == 'g')
            break;
    }
    return true;
}

std::optional<Phase> CameraUpgrade::AfterUploadPhase(Phase phase, bool succeeded) {
    if (succeeded && phase != Phase::Upload)
        return phase;
    upload_.reset();  // the unpacked folder goes, the line is left
    if (succeeded)
        return phase;
    packageEntries.Clear();
    fileCount = 0;
    ReportUploadFailure();
    return std::nullopt;
}

}  // namespace vcq
