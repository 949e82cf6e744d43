// backup and restore: the camera's configuration saved to the backup folder
// and uploaded back.
#include <cstdio>
#include <ctime>
#include <iterator>
#include <optional>
#include <string_view>

#include "cli/commands.h"
#include "cli/credentials.h"
#include "cli/options.h"
#include "cli/stderr_window.h"
#include "cli/stop_request.h"
#include "platform/files.h"
#include "protocol/cgi_client.h"
#include "protocol/config_backup.h"
#include "upgrade/camera_upgrade.h"

namespace vcq::cli {
namespace {

bool AllDigits(std::string_view text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

// How a serial appears in the name of our backup files.
std::string SerialInFileName(const std::string& serial) {
    const std::string name = files::FileNameOf(BackupFilePath(0, "x", serial));
    return name.substr(2, name.size() - 6);  // between "x." and ".cfg"
}

// The serial named by one of our backup files ("<model>.<serial>.cfg", or
// "...-N.cfg" beside an earlier one, for a supported model); nothing for any
// other name.
std::optional<std::string> BackupSerial(const std::string& path, const ModelList& models) {
    const std::string name = files::FileNameOf(path);
    if (name.size() < 4 || name.compare(name.size() - 4, 4, ".cfg") != 0)
        return std::nullopt;
    for (const std::string& model : models.names) {
        const std::string prefix = files::FileNameOf(BackupFilePath(0, model, ""));
        const std::string modelPart = prefix.substr(0, prefix.find('.') + 1);
        if (name.size() > modelPart.size() + 4 && name.rfind(modelPart, 0) == 0)
            return name.substr(modelPart.size(), name.size() - modelPart.size() - 4);
    }
    return std::nullopt;
}

// Whether the file named `fileSerial` may go to a camera with `cameraSerial`:
// the same serial, or a numbered copy of its backup.
bool SameCamera(const std::string& fileSerial, const std::string& cameraSerial) {
    const std::string own = SerialInFileName(cameraSerial);
    return fileSerial == own || (fileSerial.rfind(own + "-", 0) == 0 &&
                                 AllDigits(std::string_view(fileSerial).substr(own.size() + 1)));
}

// Empty when `file` may go to the camera at `host`, else why not.
std::string ForeignBackup(const std::string& host, const std::string& file) {
    const std::optional<std::string> fileSerial = BackupSerial(file, SupportedModels());
    if (!fileSerial)
        return {};
    // The camera tells its serial without a login.
    const std::string serial = ReadIdentity(InquireCamera(host, "", "inq=sysinfo")).serial;
    if (serial.empty())
        return "cannot read the serial of " + host + " to compare with the file's (" + *fileSerial +
               ")";
    if (SameCamera(*fileSerial, serial))
        return {};
    return file + " is the backup of the camera with serial " + *fileSerial + ", but " + host +
           " has serial " + EscapeControls(serial);
}

int BackupStopped() {
    std::fprintf(stderr, "vcq-upgrade-cli backup: stopped; nothing was saved\n");
    return kStoppedExit;
}

}  // namespace

int RunBackup(const Args& args) {
    ParsedArgs parsed = ParseArgs(args, kLoginOptions);
    if (!parsed.error.empty())
        return UsageError("backup", parsed.error);
    std::string error;
    const std::optional<OneCamera> one = ReadOneCamera(parsed, 1, true, error);
    if (!one)
        return UsageError("backup", error);
    const std::string& host = one->host;
    const std::string& token = one->token;

    ModelList models = SupportedModels();
    CameraUpgrade camera(CameraJob(host, token, models), std::make_shared<StderrWindow>(), 0,
                         false);
    bool lowMemory = false;
    std::string serial;
    // A request to end stops the check or the download where it is; the
    // file is named only once whole.
    CatchStopRequest();
    // Only the model and serial matter here; a camera short of space can still be saved.
    const bool checked = RunStoppable(
        camera, [&] { return camera.CheckPreconditions(lowMemory, &serial) || lowMemory; });
    if (StopRequested())
        return BackupStopped();
    if (!checked) {
        if (!camera.FailureDetail().empty())
            std::fprintf(stderr, "%s\n", camera.FailureDetail().c_str());
        return 1;
    }

    ConfigBackup backup(host, ConfigCameraPath(models.Primary()), token, std::time(nullptr),
                        models.Primary(), serial, false);
    if (!RunStoppable(camera, [&backup] { return backup.Download(); })) {
        if (StopRequested())
            return BackupStopped();
        std::fprintf(stderr, "Cannot save camera's configuration!\n");
        if (!backup.errorText.empty())
            std::fprintf(stderr, "%s\n", backup.errorText.c_str());
        return 1;
    }
    std::printf("saved: %s\n", backup.localPath.c_str());
    return 0;
}

int RunRestore(const Args& args) {
    ParsedArgs parsed = ParseArgs(args, {}, {"--force"});
    if (!parsed.error.empty())
        return UsageError("restore", parsed.error);
    std::string error;
    const std::optional<OneCamera> one = ReadOneCamera(parsed, 2, false, error);
    if (!one)
        return UsageError("restore", error);
    const std::string& host = one->host;
    std::string bytes;
    if (!files::ReadWholeFile(parsed.positional[1], bytes)) {
        std::fprintf(stderr, "vcq-upgrade-cli restore: cannot read %s\n",
                     parsed.positional[1].c_str());
        return 1;
    }
    std::vector<char> data(bytes.begin(), bytes.end());
    // Another camera's settings would bring its IP address along.
    if (!parsed.flags.count("--force")) {
        const std::string refusal = ForeignBackup(host, parsed.positional[1]);
        if (!refusal.empty()) {
            std::fprintf(stderr,
                         "vcq-upgrade-cli restore: %s; nothing was sent (--force sends it)\n",
                         refusal.c_str());
            return 1;
        }
    }
    CgiClient client(host);
    client.SetRestoreData(data.data(), static_cast<uint32_t>(data.size()));
    int result = client.RestoreConfiguration();
    std::printf("result: %d\n", result);
    if (result != 0)
        std::fprintf(stderr, "%s\n", client.restoreError().c_str());
    return result == 0 ? 0 : 1;
}

}  // namespace vcq::cli
