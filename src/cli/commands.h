// The commands of vcq-upgrade-cli. Each takes the words after its name and
// returns the process exit code.
#pragma once

#include <string>
#include <vector>

#include "discovery/camera_record.h"
#include "package/resources.h"

namespace vcq::cli {

using Args = std::vector<std::string>;

struct Command {
    const char* name;
    const char* usage;    // one line: "check HOST[:PORT] --user NAME --password PASS"
    const char* summary;  // what it does, one or two lines
    int (*run)(const Args& args);
};

// Exit code of a usage error, shared by every command.
inline constexpr int kUsageError = 2;

// The supported models, from the embedded model list.
ModelList SupportedModels();

int RunCheck(const Args& args);
int RunBackup(const Args& args);
int RunRestore(const Args& args);
// upgrade: the camera was upgraded but took its configuration back refused
// (the saved file is kept).
inline constexpr int kNotRestored = 3;
int RunUpgrade(const Args& args);

// discover: refused to broadcast outside the isolated network.
inline constexpr int kDiscoverRefused = 6;
int RunDiscover(const Args& args);
// Milliseconds from 0 to 600000.
bool ParseMillis(const std::string& text, int& out);
// Broadcasts the enquiry, again after `secondAfter` ms, and returns what
// answered by `stopAfter` ms. Adapters left out go to stderr with their
// reason; `searched` tells whether any adapter could be searched.
std::vector<CameraRecord> DiscoverCameras(int secondAfter, int stopAfter, bool* searched = nullptr);
int RunBatch(const Args& args);
int RunRetry(const Args& args);
int RunExtract(const Args& args);

}  // namespace vcq::cli
