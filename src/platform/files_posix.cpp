#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/files.h"

namespace vcq::files {

size_t PathRootLength(const std::string& path) {
    return path.find_first_not_of('/');
}

bool CreateFolderPath(const std::string& folder) {
    size_t root = PathRootLength(folder);
    if (root == std::string::npos)
        return FolderExists(folder.empty() ? "." : folder);
    for (size_t at = folder.find('/', root);; at = folder.find('/', at + 1)) {
        std::string part = folder.substr(0, at);
        if (!part.empty() && part.back() != '/' && !FolderExists(part) &&
            mkdir(part.c_str(), 0755) != 0 && errno != EEXIST)
            return false;
        if (at == std::string::npos)
            break;
    }
    return FolderExists(folder);
}

bool GetTempFolder(std::string& folder) {
    folder = GetEnv("TMPDIR").value_or("/tmp");
    if (!FolderExists(folder))
        return false;
    if (folder.back() != kPathSeparator)
        folder += kPathSeparator;
    return true;
}

bool CreateUniqueFile(const std::string& folder, const std::string& prefix, std::string& path) {
    auto seed = static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count() ^
                                      getpid());
    for (unsigned n = 0; n < 0x10000; ++n) {
        char tail[16];
        std::snprintf(tail, sizeof tail, "%04X.tmp", (seed + n) & 0xFFFF);
        std::string candidate = folder + prefix + tail;
        int fd = open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0) {
            close(fd);
            path = candidate;
            return true;
        }
        if (errno != EEXIST)
            return false;
    }
    return false;
}

bool CreateFolder(const std::string& path) {
    return mkdir(path.c_str(), 0755) == 0;
}

bool FolderExists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool FileExists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool RemoveEmptyFolder(const std::string& path) {
    return rmdir(path.c_str()) == 0;
}

bool RemoveFile(const std::string& path) {
    return unlink(path.c_str()) == 0;
}

bool RenameNoReplace(const std::string& from, const std::string& to, bool& exists) {
    exists = false;
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    // Some file systems cannot rename without replacing: a hard link can.
    if (errno == EINVAL || errno == ENOSYS || errno == ENOTSUP) {
        if (link(from.c_str(), to.c_str()) == 0) {
            unlink(from.c_str());
            return true;
        }
    }
    exists = errno == EEXIST;
    return false;
}

bool IsReadOnly(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0 && !S_ISLNK(st.st_mode) && !(st.st_mode & S_IWUSR);
}

bool SetReadOnly(const std::string& path, bool readOnly) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0)
        return false;
    mode_t mode = st.st_mode & 07777;
    mode = readOnly ? mode & ~(S_IWUSR | S_IWGRP | S_IWOTH) : mode | S_IWUSR;
    return chmod(path.c_str(), mode) == 0;
}

bool MakeFolderWritable(const std::string& path) {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return false;
    if ((st.st_mode & S_IRWXU) == S_IRWXU)
        return true;
    return chmod(path.c_str(), (st.st_mode & 07777) | S_IRWXU) == 0;
}

bool ListFolder(const std::string& path, std::vector<FolderEntry>& entries) {
    entries.clear();
    DIR* dir = opendir(path.c_str());
    if (!dir)
        return false;
    std::string base = path;
    if (base.empty() || base.back() != kPathSeparator)
        base += kPathSeparator;
    bool ok = true;
    for (;;) {
        errno = 0;
        dirent* e = readdir(dir);
        if (!e) {
            ok = errno == 0;
            break;
        }
        std::string name = e->d_name;
        if (name == "." || name == "..")
            continue;
        struct stat st;
        if (lstat((base + name).c_str(), &st) != 0) {
            ok = false;
            break;
        }
        entries.push_back({name, S_ISDIR(st.st_mode)});
    }
    closedir(dir);
    return ok;
}

std::FILE* OpenFile(const std::string& path, const char* mode) {
    return std::fopen(path.c_str(), mode);
}

std::optional<std::string> GetEnv(const char* name) {
    const char* value = std::getenv(name);
    if (!value || !*value)
        return std::nullopt;
    return std::string(value);
}

std::string LastErrorText() {
    return std::strerror(errno);
}

std::string UserDataFolder() {
    if (auto data = GetEnv("XDG_DATA_HOME"))
        return *data;
    return GetEnv("HOME").value_or(".") + "/.local/share";
}

void DebugOutput(const std::string& line) {
    std::fprintf(stderr, "%s\n", line.c_str());
}

}  // namespace vcq::files
