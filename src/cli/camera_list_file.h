// Camera lists for the headless tool: the file the wizard's "Load from
// CSV..." reads, or standard input, through the same import.
#pragma once

#include <string>
#include <vector>

#include "targets/camera_list_parser.h"

namespace vcq::cli {

// Reads `source` ("-" for standard input). The import's own messages go to
// `window`; false when the list was refused or could not be read, with
// `error` saying which. Nothing is delivered then.
bool LoadCameraList(const std::string& source, WindowPort& window,
                    std::vector<CameraAddress>& cameras, std::string& error);

}  // namespace vcq::cli
