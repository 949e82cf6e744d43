// What both FTP back ends (libcurl, WinINet) read of a server's replies and
// say of a failure, so that the camera's words reach the operator alike.
#pragma once

#include <string>
#include <string_view>

namespace vcq::ftp {

// The last line of what the server said ("550 a.bin: Permission denied."),
// without its line end; a reply of several lines ends with the one that
// carries its code.
std::string LastReplyLine(std::string_view reply);
// A "4xx" or "5xx" reply: the server said no.
bool IsRefusal(std::string_view line);
// Why an operation failed when the connection broke under it, `cause` being
// the back end's own words for it.
std::string DroppedText(std::string_view cause);

}  // namespace vcq::ftp
