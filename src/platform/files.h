// Thin file-system services: the temporary folder, unique file names, folder
// creation and removal, attributes: files_posix.cpp, or files_win.cpp over
// the wide-character Win32 calls. Paths are UTF-8 strings in the native form;
// folders given back end with kPathSeparator.
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vcq::files {

#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

// Length of the part of `path` no one can create: "/" here; on Windows a
// drive (C: or C:\), a UNC share (\\server\share\) or a \\?\ prefix with
// the drive or share after it.
size_t PathRootLength(const std::string& path);

// Creates `folder` and every missing folder above it, never its root. True
// when it exists as a folder afterwards.
bool CreateFolderPath(const std::string& folder);

// The system's temporary-files folder ($TMPDIR or /tmp), with a separator at
// the end. False when it is not an existing folder.
bool GetTempFolder(std::string& folder);

// Creates a new empty file named PREFIX + four hex digits + ".tmp" in
// folder (which ends with a separator) and returns its full path.
bool CreateUniqueFile(const std::string& folder, const std::string& prefix, std::string& path);

// Fails when the folder exists already.
bool CreateFolder(const std::string& path);
bool FolderExists(const std::string& path);
bool FileExists(const std::string& path);  // anything but a folder
bool RemoveEmptyFolder(const std::string& path);
bool RemoveFile(const std::string& path);

// Gives the file `from` the name `to` unless something of that name exists:
// never replaces a file. `exists` tells that case from other failures.
bool RenameNoReplace(const std::string& from, const std::string& to, bool& exists);

bool IsReadOnly(const std::string& path);
bool SetReadOnly(const std::string& path, bool readOnly);

// Gives the owner full access to a folder, so its entries can be removed.
bool MakeFolderWritable(const std::string& path);

struct FolderEntry {
    std::string name;
    bool isFolder;  // a real folder; links count as files and are never followed
};

// Entries of a folder without "." and "..". False when it cannot be listed
// or the listing breaks off.
bool ListFolder(const std::string& path, std::vector<FolderEntry>& entries);

// The last component of a UTF-8 path: after the last "/" (or "\\" on
// Windows); the whole path when it has no separator. No conversion, so no
// name is lost to a code page.
inline std::string FileNameOf(const std::string& path) {
    const size_t end = path.find_last_of(kPathSeparator == '/' ? "/" : "/\\");
    return end == std::string::npos ? path : path.substr(end + 1);
}

// fopen with a UTF-8 path on every system: the wide call on Windows, so no
// name goes through the ANSI code page. Null on failure (see LastErrorText).
std::FILE* OpenFile(const std::string& path, const char* mode);

// Reads a whole file; false when it cannot be opened or read.
bool ReadWholeFile(const std::string& path, std::string& bytes);
// Writes `bytes` as the whole file; false unless every byte reached it.
bool WriteWholeFile(const std::string& path, std::string_view bytes);

// The environment variable as UTF-8; nothing when unset or empty.
std::optional<std::string> GetEnv(const char* name);

// The system's own words for the last failure of a call of this header on
// this thread; call it before anything else can fail.
std::string LastErrorText();

// Where programs keep shared files: $ProgramFiles, or UserDataFolder() when
// that is unset. No separator at the end.
std::string ProgramsFolder();

// The user's own application-data folder: the known local app-data folder
// on Windows, $XDG_DATA_HOME or ~/.local/share here. No separator at the end.
std::string UserDataFolder();

// The debugger's output; stderr here.
void DebugOutput(const std::string& line);

}  // namespace vcq::files
