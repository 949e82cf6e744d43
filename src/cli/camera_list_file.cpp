#include "cli/camera_list_file.h"

#include <cstdio>

namespace vcq::cli {

bool LoadCameraList(const std::string& source, WindowPort& window,
                    std::vector<CameraAddress>& cameras, std::string& error) {
    cameras.clear();
    CameraListParser parser(&window);
    const bool fromInput = source == "-";
    const std::string name = fromInput ? "standard input" : source;
    const bool ok = fromInput ? parser.ReadStream(stdin) : parser.ReadFile(source);
    if (!ok) {
        error = parser.Failure() == ImportFailure::Unreadable
                    ? "cannot read the camera list from " + name
                    : "the camera list from " + name + " was refused at line " +
                          std::to_string(parser.FailedLineNumber()) + "; nothing is upgraded";
        return false;
    }
    cameras = parser.Entries();
    return true;
}

}  // namespace vcq::cli
