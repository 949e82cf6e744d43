// Any bytes as a camera's reply: every check and reading of a reply must end
// without a crash, an overrun or a hang.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "protocol/cgi_client.h"
#include "silent_window.h"
#include "upgrade/camera_upgrade.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const vcq::ModelList models = {{"VCQ-R20", "VCQ-R20N", "VCQ-R20P"}};
    static const auto window = std::make_shared<vcq::fuzz::SilentWindow>();
    const std::string reply(reinterpret_cast<const char*>(data), size);
    vcq::CameraUpgrade camera(vcq::CameraJob("127.0.0.1", "YWRtaW46YWRtaW4=", models, "ver1.08"),
                              window, 0, false);
    camera.CheckAdministrator(reply);
    camera.CheckModel(reply);
    camera.CheckImageMemory(reply);
    camera.CheckBuiltInSpace(reply);
    int32_t index = 0;
    std::string model, version, serial, user, password;
    camera.ParseIdentity(reply, index, model, version, serial);
    camera.ReadSoftVersion(reply);
    camera.ReplyIsOk(reply, index);
    vcq::ReadFtpAccount(reply, user, password);
    vcq::ServerVersionFromHeader(reply);
    vcq::net::Endpoint endpoint;
    vcq::CgiClient::ParseHostText(reply, endpoint);
    return 0;
}
