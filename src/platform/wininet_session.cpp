#include "platform/wininet_session.h"

#include <algorithm>
#include <cctype>
#include <charconv>

#include "platform/socket.h"
#include "platform/text_win.h"

namespace vcq::inet {
namespace {

void SetTimeout(HINTERNET handle, DWORD option, std::chrono::milliseconds value) {
    DWORD ms = static_cast<DWORD>(std::min<int64_t>(value.count(), 0x7fffffff));
    InternetSetOptionW(handle, option, &ms, sizeof ms);
}

}  // namespace

HINTERNET HandleSet::Add(HINTERNET handle) {
    if (handle) {
        std::lock_guard lock(mutex_);
        open_.push_back(handle);
    }
    return handle;
}

bool HandleSet::Close(HINTERNET handle) {
    {
        std::lock_guard lock(mutex_);
        auto at = std::find(open_.begin(), open_.end(), handle);
        if (at == open_.end())
            return false;
        open_.erase(at);
    }
    return InternetCloseHandle(handle) != 0;
}

void HandleSet::CloseAll() {
    std::lock_guard lock(mutex_);
    while (!open_.empty()) {
        InternetCloseHandle(open_.back());
        open_.pop_back();
    }
}

std::string SystemText(DWORD error) {
    // WinINet's codes have their texts in its own module.
    const bool inet = error >= INTERNET_ERROR_BASE && error <= INTERNET_ERROR_LAST;
    HMODULE module = inet ? GetModuleHandleW(L"wininet.dll") : nullptr;
    wchar_t* buffer = nullptr;
    const DWORD length =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS |
                           (module ? FORMAT_MESSAGE_FROM_HMODULE : FORMAT_MESSAGE_FROM_SYSTEM),
                       module, error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::string text;
    if (length > 0 && buffer)
        text = text::WideToUtf8(std::wstring_view(buffer, length));
    if (buffer)
        LocalFree(buffer);
    while (!text.empty() &&
           (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' || text.back() == '.'))
        text.pop_back();
    if (text.empty())
        text = "error " + std::to_string(error);
    else
        text += " (" + std::to_string(error) + ")";
    return text;
}

Handle OpenSession(const std::string& agent, std::chrono::milliseconds connect,
                   std::chrono::milliseconds stall) {
    Handle session(InternetOpenW(text::Utf8ToWide(agent).c_str(), INTERNET_OPEN_TYPE_DIRECT,
                                 nullptr, nullptr, 0));
    if (!session)
        return session;
    SetTimeouts(session.get(), connect, stall);
    return session;
}

void SetTimeouts(HINTERNET h, std::chrono::milliseconds connect, std::chrono::milliseconds stall) {
    SetTimeout(h, INTERNET_OPTION_CONNECT_TIMEOUT, connect);
    DWORD once = 1;
    InternetSetOptionW(h, INTERNET_OPTION_CONNECT_RETRIES, &once, sizeof once);
    SetTimeout(h, INTERNET_OPTION_SEND_TIMEOUT, stall);
    SetTimeout(h, INTERNET_OPTION_RECEIVE_TIMEOUT, stall);
    SetTimeout(h, INTERNET_OPTION_DATA_SEND_TIMEOUT, stall);
    SetTimeout(h, INTERNET_OPTION_DATA_RECEIVE_TIMEOUT, stall);
}

bool SplitUrl(const std::string& url, Url& parts) {
    constexpr std::string_view kScheme = "http://";
    if (url.size() < kScheme.size())
        return false;
    for (size_t i = 0; i < kScheme.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(url[i])) != kScheme[i])
            return false;
    size_t hostEnd = url.find('/', kScheme.size());
    std::string authority = url.substr(kScheme.size(), hostEnd - kScheme.size());
    parts.path = hostEnd == std::string::npos ? "/" : url.substr(hostEnd);
    parts.port = 80;
    if (size_t colon = authority.find(':'); colon != std::string::npos) {
        unsigned port = 0;
        auto [end, ec] = std::from_chars(authority.data() + colon + 1,
                                         authority.data() + authority.size(), port);
        if (ec != std::errc() || end != authority.data() + authority.size() || port == 0 ||
            port > 65535)
            return false;
        parts.port = static_cast<uint16_t>(port);
        authority.resize(colon);
    }
    parts.host = authority;
    // Cameras are addressed by number: a name is never looked up.
    return net::ParseIpv4(parts.host).has_value();
}

std::string LastErrorText(const char* what) {
    DWORD error = GetLastError();
    std::string text = std::string(what) + " failed: " + SystemText(error);
    if (error == ERROR_INTERNET_EXTENDED_ERROR) {
        DWORD code = 0;
        wchar_t reply[512];
        DWORD length = sizeof reply / sizeof reply[0];
        if (InternetGetLastResponseInfoW(&code, reply, &length) && length > 0) {
            std::string line = text::WideToUtf8(std::wstring_view(reply, length));
            while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
                line.pop_back();
            text = std::string(what) + " failed: " + line;
        }
    } else if (error == ERROR_INTERNET_TIMEOUT) {
        text = std::string(what) + " timed out";
    } else if (error == ERROR_INTERNET_CANNOT_CONNECT) {
        text = std::string(what) + ": could not connect";
    }
    return text;
}

}  // namespace vcq::inet
