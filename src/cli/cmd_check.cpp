#include <cstdio>

#include "cli/commands.h"
#include "cli/credentials.h"
#include "cli/options.h"
#include "cli/stderr_window.h"
#include "protocol/cgi_client.h"
#include "upgrade/camera_upgrade.h"

namespace vcq::cli {
ModelList SupportedModels() {
    static StderrWindow window;
    return LoadModelList(&window);
}

int RunCheck(const Args& args) {
    ParsedArgs parsed = ParseArgs(args, kLoginOptions);
    if (!parsed.error.empty())
        return UsageError("check", parsed.error);
    if (parsed.positional.size() != 1)
        return UsageError("check", "give one HOST[:PORT]");
    std::string error;
    const std::optional<Login> login = ReadLogin(parsed, error);
    if (!login)
        return UsageError("check", error);
    const std::string& host = parsed.positional[0];
    net::Endpoint endpoint;
    if (!CgiClient::ParseHostText(host, endpoint))
        return UsageError("check", "HOST must be a dotted IPv4 address, optionally with :PORT");

    StderrWindow window;
    ModelList models = SupportedModels();
    CameraUpgrade camera(
        CameraJob(host, EncodeBasicToken(login->user + ":" + login->password), models), &window, 0,
        false);
    bool lowMemory = false;
    std::string serial;
    bool passed = camera.CheckPreconditions(lowMemory, &serial);

    std::string model;
    int32_t index = 0;
    std::string version, unusedSerial;
    camera.ParseIdentity(camera.sysinfoText, index, model, version, unusedSerial);
    // The camera's texts, escaped: they cannot write lines of their own.
    std::printf("model: %s\nversion: %s\nserial: %s\n", EscapeControls(model).c_str(),
                EscapeControls(camera.currentVersion).c_str(), EscapeControls(serial).c_str());
    // A reply the check could not read fails without a message: say why.
    if (!passed && !camera.FailureDetail().empty())
        std::fprintf(stderr, "%s\n", camera.FailureDetail().c_str());
    return passed ? 0 : 1;
}

}  // namespace vcq::cli
