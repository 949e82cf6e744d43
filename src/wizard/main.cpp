// vcq-upgrade: the firmware upgrade wizard.
//
//   vcq-upgrade [--allow-broadcast] [--discovery-to 127.A.B.C:PORT] [--no-discovery]
//   vcq-upgrade --version
//
// A development build sends the discovery broadcast only inside the isolated
// test network (VCQ_ISOLATED=1) or with --allow-broadcast, and otherwise
// skips discovery; a release build always sends it.
#include <QApplication>
#include <QMessageBox>

#include <cstdio>
#include <cstring>
#include <string>

#include "package/resources.h"
#include "platform/socket.h"
#include "upgrade/upgrade_session.h"
#include "wizard/app_icon.h"
#include "wizard/main_window.h"

namespace {

// "127.a.b.c:port" only: anything else could leave the machine.
bool ParseLoopbackEndpoint(const std::string& text, vcq::net::Endpoint& endpoint) {
    size_t colon = text.rfind(':');
    if (colon == std::string::npos)
        return false;
    auto address = vcq::net::ParseIpv4(text.substr(0, colon));
    char* end = nullptr;
    long port = std::strtol(text.c_str() + colon + 1, &end, 10);
    if (!address || (*address >> 24) != 127 || *end != '\0' || port < 1 || port > 65535)
        return false;
    endpoint = {*address, static_cast<uint16_t>(port)};
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    // Before any window: it needs no display.
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::fputs(vcq::VersionText("vcq-upgrade").c_str(), stdout);
        return 0;
    }
    QApplication app(argc, argv);
    QApplication::setWindowIcon(vcq::ui::AppIcon());

    vcq::ui::WizardOptions options;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--allow-broadcast") {
            options.allowBroadcast = true;
        } else if (arg == "--no-discovery") {
            options.discovery = false;
        } else if (arg == "--discovery-to" && i + 1 < argc) {
            if (!ParseLoopbackEndpoint(argv[++i], options.discoveryOptions.destination)) {
                std::fprintf(stderr, "vcq-upgrade: --discovery-to takes 127.x.y.z:port\n");
                return 2;
            }
        } else {
            std::fprintf(stderr,
                         "usage: vcq-upgrade [--allow-broadcast] [--discovery-to "
                         "127.x.y.z:port] [--no-discovery]\n");
            return 2;
        }
    }

    if (!vcq::net::StartSockets()) {
        QMessageBox::critical(nullptr, "",
                              QString::fromStdString(vcq::LoadStringEntry(vcq::kStrSocketsFailed)));
        return 1;
    }
    {
        vcq::ui::MainWindow window(options);
        window.exec();
    }
    // No window is left to paint: a batch's threads may end now, within
    // their bound, before the process does.
    vcq::UpgradeSession::AwaitReleased(vcq::UpgradeSession::kCloseBound);
    return 0;
}
