// A fresh folder for one test's configuration backups: ProgramFiles points at
// it while the test runs, and it is removed afterwards. The user's own data
// folder, where backups go when Program Files refuses them, is "user data"
// in it ($XDG_DATA_HOME); on Windows it is the system's known folder, which
// tests/wine-run empties for every run.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/files.h"
#include "portable_env.h"

namespace vcq::test {

class ScopedBackupFolder {
  public:
    explicit ScopedBackupFolder(const std::string& prefix) {
        root_ = std::filesystem::temp_directory_path() /
                (prefix + "-" + ::vcq::test::UniqueTag() + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(root_);
        std::filesystem::create_directories(root_);
        SetEnv("ProgramFiles", root_.string());
#ifdef _WIN32
        userRoot_ = std::filesystem::path(Utf8Path(files::UserDataFolder()));
#else
        userRoot_ = root_ / "user data";
        SetEnv("XDG_DATA_HOME", userRoot_.string());
#endif
    }
    ~ScopedBackupFolder() {
        UnsetEnv("ProgramFiles");
        UnsetEnv("XDG_DATA_HOME");
        std::error_code ec;
        std::filesystem::remove_all(root_, ec);
        std::filesystem::remove_all(userRoot_ / "TEZO" / "VCQ FirmwareUpgrade", ec);
    }

    // A file where the backups' folder goes under `base`: the folder cannot
    // be made there, as in a Program Files only an administrator may write.
    static void Block(const std::filesystem::path& base) {
        std::filesystem::create_directories(base / "TEZO");
        std::ofstream(base / "TEZO" / "VCQ FirmwareUpgrade") << "in the way";
    }
    // Where backups go when Program Files refuses them.
    const std::filesystem::path& userRoot() const {
        return userRoot_;
    }
    ScopedBackupFolder(const ScopedBackupFolder&) = delete;
    ScopedBackupFolder& operator=(const ScopedBackupFolder&) = delete;

    const std::filesystem::path& root() const {
        return root_;
    }
    std::vector<std::filesystem::path> FilesBelow() const {
        std::vector<std::filesystem::path> files;
        for (auto& e : std::filesystem::recursive_directory_iterator(root_))
            if (e.is_regular_file())
                files.push_back(e.path());
        return files;
    }

  private:
    static std::u8string Utf8Path(const std::string& text) {
        return std::u8string(text.begin(), text.end());
    }

    std::filesystem::path root_;
    std::filesystem::path userRoot_;
};

// Bytes that are not all alike, so that a shift or a lost piece shows.
inline std::string Pattern(size_t size) {
    std::string data(size, '\0');
    for (size_t i = 0; i < size; ++i)
        data[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
    return data;
}

inline std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace vcq::test
