// Shared by the WinINet transfers of this folder; not for use above it.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace vcq::inet {

struct HandleCloser {
    void operator()(void* handle) const { InternetCloseHandle(static_cast<HINTERNET>(handle)); }
};
using Handle = std::unique_ptr<void, HandleCloser>;

// The handles of one transfer, which an abort may close from another thread:
// closing is the only way to end a WinINet call that blocks. Each handle is
// closed once, the last added first.
class HandleSet {
  public:
    HandleSet() = default;
    ~HandleSet() { CloseAll(); }
    HandleSet(const HandleSet&) = delete;
    HandleSet& operator=(const HandleSet&) = delete;

    // Keeps `handle` (null is not kept); returns it.
    HINTERNET Add(HINTERNET handle);
    // Closes one handle now, unless an abort closed it already: its result.
    bool Close(HINTERNET handle);
    // Thread-safe, any number of times.
    void CloseAll();

  private:
    std::mutex mutex_;
    std::vector<HINTERNET> open_;
};

// A direct session (never a proxy) with the given waits, in milliseconds.
Handle OpenSession(const std::string& agent, std::chrono::milliseconds connect,
                   std::chrono::milliseconds stall);

// The waits on one handle; a request takes them from its session only on
// some WinINet versions, so each request gets them too.
void SetTimeouts(HINTERNET handle, std::chrono::milliseconds connect,
                 std::chrono::milliseconds stall);

// Host, port and path of "http://a.b.c.d[:port]/path", the scheme in any
// letter case; false for anything else, a host name included.
struct Url {
    std::string host;
    uint16_t port = 80;
    std::string path = "/";
};
bool SplitUrl(const std::string& url, Url& parts);

// The last failure in words: the server's last reply when WinINet has one,
// else the system's own text for the error.
std::string LastErrorText(const char* what);
// The system's text for a WinINet or system error code, without its line end.
std::string SystemText(DWORD error);

}  // namespace vcq::inet
