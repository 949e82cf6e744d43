// backup and restore: the camera's configuration saved to the backup folder
// and uploaded back.
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "cli/commands.h"
#include "cli/options.h"
#include "cli/stderr_window.h"
#include "platform/files.h"
#include "protocol/cgi_client.h"
#include "protocol/config_backup.h"
#include "upgrade/camera_upgrade.h"

namespace vcq::cli {

int RunBackup(const Args& args) {
    ParsedArgs parsed = ParseArgs(args, {"--user", "--password"});
    if (!parsed.error.empty())
        return UsageError("backup", parsed.error);
    if (parsed.positional.size() != 1)
        return UsageError("backup", "give one HOST[:PORT]");
    auto user = parsed.Option("--user");
    auto password = parsed.Option("--password");
    if (!user || !password)
        return UsageError("backup", "--user and --password are required");
    const std::string& host = parsed.positional[0];
    net::Endpoint endpoint;
    if (!CgiClient::ParseHostText(host, endpoint))
        return UsageError("backup", "HOST must be a dotted IPv4 address, optionally with :PORT");

    StderrWindow window;
    ModelList models = SupportedModels();
    const std::string token = EncodeBasicToken(*user + ":" + *password);
    CameraUpgrade camera(host, &models, token, "", "", nullptr, nullptr, nullptr, &window, 0,
                         false);
    bool lowMemory = false;
    std::string serial;
    // Only the model and serial matter here; a camera short of space can still be saved.
    if (!camera.CheckPreconditions(lowMemory, &serial) && !lowMemory) {
        if (!camera.FailureDetail().empty())
            std::fprintf(stderr, "%s\n", camera.FailureDetail().c_str());
        return 1;
    }

    ConfigBackup backup(host, ConfigCameraPath(models.Primary()), token, std::time(nullptr),
                        models.Primary(), serial, false);
    if (!backup.Download()) {
        std::fprintf(stderr, "Cannot save camera's configuration!\n");
        if (!backup.errorText.empty())
            std::fprintf(stderr, "%s\n", backup.errorText.c_str());
        return 1;
    }
    std::printf("saved: %s\n", backup.localPath.c_str());
    return 0;
}

int RunRestore(const Args& args) {
    ParsedArgs parsed = ParseArgs(args, {});
    if (!parsed.error.empty())
        return UsageError("restore", parsed.error);
    if (parsed.positional.size() != 2)
        return UsageError("restore", "give HOST[:PORT] and FILE");
    const std::string& host = parsed.positional[0];
    net::Endpoint endpoint;
    if (!CgiClient::ParseHostText(host, endpoint))
        return UsageError("restore", "HOST must be a dotted IPv4 address, optionally with :PORT");
    std::string bytes;
    if (!files::ReadWholeFile(parsed.positional[1], bytes)) {
        std::fprintf(stderr, "vcq-upgrade-cli restore: cannot read %s\n",
                     parsed.positional[1].c_str());
        return 1;
    }
    std::vector<char> data(bytes.begin(), bytes.end());
    CgiClient client(host);
    client.SetRestoreData(data.data(), static_cast<uint32_t>(data.size()));
    int result = client.RestoreConfiguration();
    std::printf("result: %d\n", result);
    if (result != 0)
        std::fprintf(stderr, "%s\n", client.restoreError().c_str());
    return result == 0 ? 0 : 1;
}

}  // namespace vcq::cli
