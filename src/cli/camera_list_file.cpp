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
        if (parser.Failure() == ImportFailure::Unreadable) {
            error = "cannot read the camera list from " + name;
            return false;
        }
        const std::string& text = parser.FailedLineText();
        error = "the camera list was refused at entry " +
                std::to_string(parser.FailedLineNumber()) + ", line " +
                std::to_string(parser.FailedTextLine()) + " of " + name;
        if (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
            error += " (it ends in a space: ADDRESS or ADDRESS,PORT expected, nothing after)";
        error += "; nothing is upgraded";
        return false;
    }
    cameras = parser.Entries();
    return true;
}

}  // namespace vcq::cli
