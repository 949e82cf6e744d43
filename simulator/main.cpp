// vcq-camera-sim: stand-in cameras for demos and scripted tests.
#include <atomic>
#include <chrono>
#include <csignal>
#include <iostream>
#include <thread>

#include <cstdlib>
#include <cstring>

#include "command_line.h"
#include "platform/system.h"
#include "simulator.h"

namespace {
// Set from a signal handler or, on Windows, the console's own thread.
std::atomic<bool> g_stop{false};
void OnSignal() {
    g_stop = true;
}
}  // namespace

int main(int argc, char** argv) {
    using namespace vcq::sim;
    vcq::sys::UseUtf8Output();
    const std::vector<std::string> words = vcq::sys::CommandLineWords(argc, argv);
    CommandLine commandLine;
    std::string error;
    if (!ParseCommandLine({words.begin() + 1, words.end()}, commandLine, error)) {
        std::cerr << "vcq-camera-sim: " << error << "\n" << UsageText();
        return 2;
    }
    if (commandLine.help) {
        std::cout << UsageText();
        return 0;
    }
    vcq::sys::CatchStop(OnSignal);

    // The discovery port answers broadcasts: only inside the private network.
    const char* isolated = std::getenv("VCQ_ISOLATED");
    SimulatorOptions options;
    options.ftp = true;
    options.discovery = isolated && !std::strcmp(isolated, "1");
    if (!options.discovery)
        std::cerr << "vcq-camera-sim: outside tests/isolated; not answering discovery\n";
    Simulator simulator(options);
    if (!simulator.AddCameras(commandLine.cameras, &error)) {
        std::cerr << "vcq-camera-sim: " << error << "\n";
        return 1;
    }
    for (size_t i = 0; i < simulator.size(); ++i) {
        std::cout << "listening on " << vcq::net::FormatEndpoint(simulator.HttpEndpoint(i))
                  << ", ftp " << vcq::net::FormatEndpoint(simulator.FtpEndpoint(i));
        // The port is held, but a camera told to refuse does not accept yet.
        if (!simulator.camera(i).state().HttpReachable())
            std::cout << " (refusing connections)";
        std::cout << "\n";
    }
    std::cout.flush();
    while (!g_stop)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    simulator.Stop();
    return 0;
}
