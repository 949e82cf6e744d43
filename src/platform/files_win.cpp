// Win32 behind files.h: every path goes to the wide-character calls, so
// names outside the ANSI code page survive, and paths past MAX_PATH get the
// \\?\ prefix.
#include <windows.h>
// After windows.h, which it needs.
#include <shlobj.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>

#include "platform/files.h"
#include "platform/text_win.h"

namespace vcq::files {
namespace {

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

bool IsDriveLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// End of the next component starting at `at` (a separator or the end).
size_t ComponentEnd(const std::string& path, size_t at) {
    while (at < path.size() && !IsSeparator(path[at]))
        ++at;
    return at;
}

// A path the wide calls take whatever its length: past MAX_PATH only the
// \\?\ form goes, and that form must be absolute with backslashes.
std::wstring Wide(const std::string& path) {
    std::wstring wide = text::Utf8ToWide(path);
    if (wide.size() < MAX_PATH - 12 || wide.rfind(L"\\\\?\\", 0) == 0)
        return wide;
    DWORD n = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (n == 0)
        return wide;
    std::wstring full(n, L'\0');
    n = GetFullPathNameW(wide.c_str(), n, full.data(), nullptr);
    full.resize(n);
    if (full.rfind(L"\\\\.\\", 0) == 0)
        return full;  // a device path
    if (full.rfind(L"\\\\", 0) == 0)
        return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

// Renames and deletes meet a file an antivirus or the indexer holds for a
// moment: try again for about a second before failing.
template <typename Call>
bool RetriedWhileShared(Call call) {
    for (int attempt = 0;; ++attempt) {
        if (call())
            return true;
        const DWORD error = GetLastError();
        if ((error != ERROR_SHARING_VIOLATION && error != ERROR_LOCK_VIOLATION) || attempt >= 20)
            return false;
        Sleep(50);
        SetLastError(error);
    }
}

DWORD Attributes(const std::string& path) {
    return GetFileAttributesW(Wide(path).c_str());
}

}  // namespace

size_t PathRootLength(const std::string& path) {
    size_t at = 0;
    if (path.size() >= 4 && IsSeparator(path[0]) && IsSeparator(path[1]) &&
        (path[2] == '?' || path[2] == '.') && IsSeparator(path[3])) {
        at = 4;  // \\?\C:\... or \\?\UNC\server\share\...
        if (path.compare(at, 4, "UNC\\") == 0 || path.compare(at, 4, "UNC/") == 0) {
            at = ComponentEnd(path, ComponentEnd(path, at + 4) + 1);
            return at < path.size() ? at + 1 : path.size();
        }
    } else if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
        // \\server\share: neither the server nor the share can be made.
        at = ComponentEnd(path, ComponentEnd(path, 2) + 1);
        return at < path.size() ? at + 1 : path.size();
    }
    if (path.size() >= at + 2 && IsDriveLetter(path[at]) && path[at + 1] == ':')
        at += 2;
    while (at < path.size() && IsSeparator(path[at]))
        ++at;
    return at;
}

bool CreateFolderPath(const std::string& folder) {
    const size_t root = PathRootLength(folder);
    for (size_t at = root; at < folder.size();) {
        size_t end = ComponentEnd(folder, at);
        std::string part = folder.substr(0, end);
        if (end > at && !FolderExists(part) && !CreateDirectoryW(Wide(part).c_str(), nullptr)) {
            if (GetLastError() != ERROR_ALREADY_EXISTS)
                return false;
            if (!FolderExists(part)) {
                SetLastError(ERROR_FILE_EXISTS);  // a file holds the folder's name
                return false;
            }
        }
        at = end + 1;
    }
    return FolderExists(folder);
}

bool GetTempFolder(std::string& folder) {
    wchar_t buffer[MAX_PATH + 2];
    DWORD n = GetTempPathW(MAX_PATH + 2, buffer);
    if (n == 0 || n > MAX_PATH + 1)
        return false;
    folder = text::WideToUtf8(std::wstring(buffer, n));
    if (!FolderExists(folder))
        return false;
    if (!IsSeparator(folder.back()))
        folder += kPathSeparator;
    return true;
}

bool CreateUniqueFile(const std::string& folder, const std::string& prefix, std::string& path) {
    auto seed = static_cast<unsigned>(GetTickCount64() ^ GetCurrentProcessId() ^
                                      (GetCurrentThreadId() << 16));
    for (unsigned n = 0; n < 0x10000; ++n) {
        char tail[16];
        std::snprintf(tail, sizeof tail, "%04X.tmp", (seed + n) & 0xFFFF);
        std::string candidate = folder + prefix + tail;
        HANDLE file = CreateFileW(Wide(candidate).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            CloseHandle(file);
            path = candidate;
            return true;
        }
        DWORD error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS)
            return false;
    }
    return false;
}

bool CreateFolder(const std::string& path) {
    return CreateDirectoryW(Wide(path).c_str(), nullptr) != 0;
}

bool FolderExists(const std::string& path) {
    DWORD attributes = Attributes(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool FileExists(const std::string& path) {
    DWORD attributes = Attributes(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool RemoveEmptyFolder(const std::string& path) {
    const std::wstring wide = Wide(path);
    return RetriedWhileShared([&] { return RemoveDirectoryW(wide.c_str()) != 0; });
}

bool RemoveFile(const std::string& path) {
    const std::wstring wide = Wide(path);
    return RetriedWhileShared([&] { return DeleteFileW(wide.c_str()) != 0; });
}

bool RenameNoReplace(const std::string& from, const std::string& to, bool& exists) {
    exists = false;
    // Without MOVEFILE_REPLACE_EXISTING the move fails on an existing name.
    const std::wstring wideFrom = Wide(from), wideTo = Wide(to);
    if (RetriedWhileShared([&] { return MoveFileExW(wideFrom.c_str(), wideTo.c_str(), 0) != 0; }))
        return true;
    DWORD error = GetLastError();
    exists = error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS;
    return false;
}

bool IsReadOnly(const std::string& path) {
    DWORD attributes = Attributes(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
           (attributes & FILE_ATTRIBUTE_READONLY);
}

bool SetReadOnly(const std::string& path, bool readOnly) {
    DWORD attributes = Attributes(path);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return false;
    attributes = readOnly ? attributes | FILE_ATTRIBUTE_READONLY
                          : attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
    return SetFileAttributesW(Wide(path).c_str(), attributes) != 0;
}

bool MakeFolderWritable(const std::string& path) {
    DWORD attributes = Attributes(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY) ||
        (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return false;
    if (!(attributes & FILE_ATTRIBUTE_READONLY))
        return true;
    return SetFileAttributesW(Wide(path).c_str(),
                              attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY)) != 0;
}

bool ListFolder(const std::string& path, std::vector<FolderEntry>& entries) {
    entries.clear();
    std::string pattern = path;
    if (pattern.empty() || !IsSeparator(pattern.back()))
        pattern += kPathSeparator;
    pattern += '*';
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileExW(Wide(pattern).c_str(), FindExInfoBasic, &found,
                                     FindExSearchNameMatch, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    do {
        std::wstring name = found.cFileName;
        if (name == L"." || name == L"..")
            continue;
        const DWORD a = found.dwFileAttributes;
        // Junctions and links count as files: never followed.
        entries.push_back({text::WideToUtf8(name),
                           (a & FILE_ATTRIBUTE_DIRECTORY) && !(a & FILE_ATTRIBUTE_REPARSE_POINT)});
    } while (FindNextFileW(search, &found));
    const bool ok = GetLastError() == ERROR_NO_MORE_FILES;
    FindClose(search);
    return ok;
}

std::FILE* OpenFile(const std::string& path, const char* mode) {
    return _wfopen(Wide(path).c_str(), text::Utf8ToWide(mode).c_str());
}

std::optional<std::string> GetEnv(const char* name) {
    // The process's own block, not the C runtime's copy of it taken at start.
    const std::wstring wideName = text::Utf8ToWide(name);
    std::wstring value(64, L'\0');
    for (;;) {
        const DWORD size = GetEnvironmentVariableW(wideName.c_str(), value.data(),
                                                   static_cast<DWORD>(value.size()));
        if (size == 0)
            return std::nullopt;
        if (size < value.size()) {
            value.resize(size);
            return text::WideToUtf8(value);
        }
        value.resize(size);
    }
}

std::string LastErrorText() {
    return text::SystemErrorText(GetLastError());
}

std::string UserDataFolder() {
    // The known folder, not %LOCALAPPDATA%: a stale or missing variable
    // must not send files somewhere else.
    PWSTR known = nullptr;
    std::string folder;
    if (SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &known) == S_OK)
        folder = text::WideToUtf8(known);
    CoTaskMemFree(known);
    if (folder.empty())
        folder = GetEnv("LOCALAPPDATA").value_or("");
    return folder;
}

void DebugOutput(const std::string& line) {
    OutputDebugStringW(text::Utf8ToWide(line + "\n").c_str());
    std::fprintf(stderr, "%s\n", line.c_str());
}

}  // namespace vcq::files
