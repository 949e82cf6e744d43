#include <windows.h>

#include <cstdio>

#include "platform/terminal.h"
#include "platform/text_win.h"

namespace vcq::sys {
namespace {

HANDLE Handle(StdStream stream) {
    return GetStdHandle(stream == StdStream::Input    ? STD_INPUT_HANDLE
                        : stream == StdStream::Output ? STD_OUTPUT_HANDLE
                                                      : STD_ERROR_HANDLE);
}

}  // namespace

bool IsTerminal(StdStream stream) {
    DWORD mode = 0;
    return GetConsoleMode(Handle(stream), &mode) != 0;
}

int TerminalColumns() {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (GetConsoleScreenBufferInfo(Handle(StdStream::Output), &info))
        return info.srWindow.Right - info.srWindow.Left + 1;
    return 80;
}

bool ReadHiddenLine(const std::string& prompt, std::string& line) {
    line.clear();
    HANDLE input = Handle(StdStream::Input);
    DWORD saved = 0;
    if (!GetConsoleMode(input, &saved))
        return false;
    std::fputs(prompt.c_str(), stderr);
    std::fflush(stderr);
    SetConsoleMode(input, (saved & ~static_cast<DWORD>(ENABLE_ECHO_INPUT)) | ENABLE_LINE_INPUT);
    std::wstring wide;
    bool ended = false;
    wchar_t chunk[256];
    DWORD got = 0;
    while (!ended && ReadConsoleW(input, chunk, 256, &got, nullptr) && got > 0) {
        for (DWORD i = 0; i < got && !ended; ++i) {
            if (chunk[i] == L'\n')
                ended = true;
            else if (chunk[i] != L'\r')
                wide.push_back(chunk[i]);
        }
    }
    SetConsoleMode(input, saved);
    std::fputs("\n", stderr);
    line = text::WideToUtf8(wide);
    SecureZeroMemory(wide.data(), wide.size() * sizeof(wchar_t));
    SecureZeroMemory(chunk, sizeof chunk);
    return ended || !line.empty();
}

}  // namespace vcq::sys
