// A batch's cameras as given and its rows as shown: what the engine, its
// outcomes and the retry's plan share.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>

#include "upgrade/job_values.h"

namespace vcq {

inline constexpr uint32_t kBatchTickMs = 33;
inline constexpr size_t kBatchMaxInService = 4;
// The headless tool may let more cameras reboot at once; uploads stay one
// at a time.
inline constexpr size_t kBatchMaxInServiceLimit = 16;
inline constexpr int32_t kBatchProgressFull = 10000;
inline constexpr size_t kBatchMaxRows = 256;

// What the batch takes over from a ticked row of the detected camera list.
struct BatchCamera {
    std::string user;
    std::string password;
    std::array<uint8_t, 4> ip{};
    int32_t port = 80;
    bool dhcp = false;
    std::string model;
    std::string version;
    std::string serial;
    // The operator agreed that a camera at 1.08 or 1.09 loses its settings;
    // without it such a camera is refused at its check.
    bool resetAgreed = false;
    // Flashed although its check finds it at the package's version.
    bool reflash = false;
    // Flashed although its check finds it newer than the package.
    bool downgradeAgreed = false;
    // What a retry does with it; a first batch upgrades.
    RetryPlan retry;
    // Its place in the list the batch was given, from 1, kept by the cameras
    // set aside and by retries; 0: its row's.
    int32_t id = 0;
};

// The status text of a step ("Standby", "Uploading", "Error1"...), empty for
// codes without one.
std::string BatchStatusText(int32_t step);
// The log's result text of a final step, ending in CR LF; empty for others.
std::string BatchResultText(int32_t step);

struct BatchRow {
    int32_t index = 0;
    std::string idText;       // "001" for the first row
    std::string addressText;  // CameraHostText of the camera
    std::string model;
    std::string version;  // the new version once the camera completed
    std::string statusText;
    bool dhcp = false;
    int32_t progress = 0;               // 10000 is a full bar; may run past it
    bool dropped = false;               // left unstarted by an abort
    bool changed = true;                // status, version or progress since TakeChangedRows
    int32_t step = 0;                   // the step the status text shows
    std::string serial;                 // as its job's check read it; empty until then
    bool stoppedAfterFailures = false;  // dropped once --max-failures was reached
    // When the engine began the camera's check and when it retired the job
    // (both zero until then).
    std::chrono::steady_clock::time_point begun{};
    std::chrono::steady_clock::time_point ended{};
    // Its job's result, its texts escaped, once it ended; until then outcome
    // NotStarted, naming only the file a retry sends back.
    CameraEnd end;
};

// What the log and the row's tooltip say beneath a row: why it failed, and
// the configuration file it left, when there is one.
std::string RowNote(const BatchRow& row);

}  // namespace vcq
