// The camera conversation over loopback: inquiries per second through
// CgiClient::Exchange, and the time of one whole upgrade beyond the
// camera's own reboot. The stand-in camera listens on 127.0.0.1 with
// ephemeral ports, so no private network is needed.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <thread>

#include "package/resources.h"
#include "package/workspace.h"
#include "protocol/cgi_client.h"
#include "simulator.h"
#include "upgrade/camera_upgrade.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;
namespace sim = vcq::sim;

namespace {

const std::string kToken = vcq::EncodeBasicToken("admin:admin");

// Answers every message box with OK and prints it, so a failed run shows why.
class QuietWindow : public vcq::WindowPort {
  public:
    vcq::MessageAnswer MessageBox(const std::string& text, const std::string&, vcq::MessageIcon,
                                  vcq::MessageButtons) override {
        std::fprintf(stderr, "message: %s\n", text.c_str());
        return vcq::MessageAnswer::Ok;
    }
    void SetTimer(uint32_t, uint32_t) override {}
    void KillTimer(uint32_t) override {}
    void PostMessage(uint32_t, uintptr_t, intptr_t) override {}
};

sim::CameraConfig LoopbackCamera() {
    sim::CameraConfig config;
    config.address = "127.0.0.1";
    config.httpPort = 0;
    config.ftpPort = 0;
    return config;
}

// One camera shared by every thread of the inquiry benchmark.
sim::Simulator& InquiryCamera() {
    static auto* simulator = [] {
        auto* s = new sim::Simulator();
        std::string error;
        if (!s->AddCamera(LoopbackCamera(), &error)) {
            std::fprintf(stderr, "cannot start the camera: %s\n", error.c_str());
            std::exit(1);
        }
        return s;
    }();
    return *simulator;
}

void BM_Inquiry(benchmark::State& state) {
    const std::string host = InquiryCamera().HostText(0);
    const std::string request =
        vcq::BuildCgiRequest("/command/inquiry.cgi", host, kToken, "inq=sysinfo");
    int64_t failed = 0;
    for (auto _ : state) {
        vcq::CgiClient client(host);
        std::string reply = client.Exchange(request);
        if (reply.empty())
            ++failed;
        benchmark::DoNotOptimize(reply);
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["failed"] = static_cast<double>(failed);
    if (failed)
        state.SkipWithError("empty replies");
}
BENCHMARK(BM_Inquiry)->Threads(1)->Threads(4)->UseRealTime();

void BM_FullUpgrade(benchmark::State& state) {
    const auto reboot = std::chrono::milliseconds(state.range(0));
    const fs::path scratch =
        fs::temp_directory_path() / ("vcq-bench-upgrade-" + std::to_string(::getpid()));
    const vcq::ModelList models = {{"VCQ-R20", "VCQ-R20N", "VCQ-R20P"}};
    auto window = std::make_shared<QuietWindow>();
    double total = 0, overhead = 0, uploading = 0;
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove_all(scratch);
        fs::create_directories(scratch);
        sim::SimulatorOptions options;
        options.ftp = true;
        sim::Simulator simulator(options);
        sim::CameraConfig config = LoopbackCamera();
        config.rebootDowntime = reboot;
        std::string error;
        if (!simulator.AddCamera(config, &error)) {
            state.SkipWithError(error.c_str());
            break;
        }
        auto workspace = std::make_shared<vcq::PackageWorkspace>();
        workspace->tempFolderOverride = scratch.string();
        workspace->LoadPackage(window.get());
        auto upgrade = std::make_shared<vcq::CameraUpgrade>(
            vcq::CameraJob(simulator.HostText(0), kToken, models, "ver" + vcq::PackageVersion()),
            window, 0, false);
        upgrade->SetWorkspace(workspace);
        upgrade->SetFtpPort(simulator.FtpEndpoint(0).port);
        state.ResumeTiming();

        auto start = std::chrono::steady_clock::now();
        upgrade->StartUpgrade(nullptr);
        auto overwriting = start;
        while (!vcq::IsFinalStep(upgrade->Step()) &&
               std::chrono::steady_clock::now() - start < 60s) {
            if (overwriting == start && upgrade->Step() == vcq::step::kOverwriting)
                overwriting = std::chrono::steady_clock::now();
            std::this_thread::sleep_for(1ms);
        }
        std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        std::chrono::duration<double> upload = overwriting - start;

        state.PauseTiming();
        upgrade->WaitForWorker(10s);
        workspace->RemoveAtExit();
        if (upgrade->Step() != vcq::step::kCompleted) {
            state.SkipWithError(("ended with step " + std::to_string(upgrade->Step())).c_str());
            break;
        }
        total += took.count();
        uploading += upload.count();
        overhead += took.count() - std::chrono::duration<double>(reboot).count();
        state.ResumeTiming();
    }
    fs::remove_all(scratch);
    const double runs = static_cast<double>(state.iterations());
    state.counters["total_s"] = total / runs;
    state.counters["beyond_reboot_s"] = overhead / runs;
    state.counters["upload_s"] = uploading / runs;  // start to "System=versionup" accepted
}
BENCHMARK(BM_FullUpgrade)->Arg(500)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
