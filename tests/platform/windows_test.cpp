// What only the Windows build does: drive and share roots, wide-character
// paths, Winsock's error codes.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <winsock2.h>
// After winsock2.h, as it asks.
#include <windows.h>

#include "platform/files.h"
#include "platform/socket.h"
#include "portable_env.h"

namespace fs = std::filesystem;
using namespace vcq;

namespace {

std::string TempFolder() {
    std::string folder;
    EXPECT_TRUE(files::GetTempFolder(folder));
    return folder;
}

TEST(WindowsPaths, RootsAreNeverPartOfWhatIsMade) {
    const struct {
        const char* path;
        size_t root;
    } rows[] = {
        {"C:", 2},
        {"C:\\", 3},
        {"C:\\Program Files\\TEZO", 3},
        {"c:/Program Files", 3},
        {"\\\\server\\share", 14},
        {"\\\\server\\share\\", 15},
        {"\\\\server\\share\\TEZO\\x", 15},
        {"//server/share/TEZO", 15},
        {"\\\\?\\C:\\long\\path", 7},
        {"\\\\?\\UNC\\server\\share\\TEZO", 21},
        {"relative\\folder", 0},
        {"\\rooted", 1},
    };
    for (const auto& row : rows)
        EXPECT_EQ(files::PathRootLength(row.path), row.root) << row.path;
}

TEST(WindowsPaths, FolderMakerStartsBelowTheDrive) {
    const std::string base = TempFolder() + "vcq-win-" + vcq::test::UniqueTag();
    const struct {
        std::string folder;
        bool made;
    } rows[] = {
        {"C:", true},  // the drive itself: there, never created
        {"C:\\", true},
        {base + "\\a\\b\\c", true},
        {base + "/d/e", true},                      // forward slashes too
        {base + "\\a\\b\\c", true},                 // all there already
        {"\\\\nosuchserver-vcq\\share\\x", false},  // an absent share cannot be made
    };
    for (const auto& row : rows) {
        EXPECT_EQ(files::CreateFolderPath(row.folder), row.made) << row.folder;
        if (row.made) {
            EXPECT_TRUE(files::FolderExists(row.folder)) << row.folder;
        }
    }
    std::error_code ec;
    fs::remove_all(fs::path(base), ec);  // ASCII: no conversion needed
}

TEST(WindowsPaths, NamesOutsideTheAnsiCodePageSurvive) {
    const std::string base = TempFolder() + "vcq-wide-" + vcq::test::UniqueTag();
    const std::string names[] = {
        "\xC3\x9C"
        "berwachung",
        "\xE3\x82\xAB\xE3\x83\xA1\xE3\x83\xA9", "\xF0\x9F\x93\xB7 camera"};
    ASSERT_TRUE(files::CreateFolderPath(base));
    for (const auto& name : names) {
        const std::string folder = base + "\\" + name;
        EXPECT_TRUE(files::CreateFolder(folder)) << name;
        std::string file;
        ASSERT_TRUE(files::CreateUniqueFile(folder + "\\", "~vc", file)) << name;
        bool exists = true;
        EXPECT_TRUE(files::RenameNoReplace(file, folder + "\\" + name + ".cfg", exists)) << name;
        EXPECT_FALSE(exists);
        std::vector<files::FolderEntry> entries;
        ASSERT_TRUE(files::ListFolder(folder, entries)) << name;
        ASSERT_EQ(entries.size(), 1u) << name;
        EXPECT_EQ(entries[0].name, name + ".cfg");
        EXPECT_FALSE(entries[0].isFolder);
        EXPECT_TRUE(files::RemoveFile(folder + "\\" + entries[0].name)) << name;
        EXPECT_TRUE(files::RemoveEmptyFolder(folder)) << name;
    }
    std::vector<files::FolderEntry> left;
    EXPECT_TRUE(files::ListFolder(base, left));
    EXPECT_TRUE(left.empty());
    EXPECT_TRUE(files::RemoveEmptyFolder(base));
}

// Every form of a path past MAX_PATH reaches the wide calls as \\?\.
TEST(WindowsPaths, LongPathsInEveryForm) {
    const std::string base = TempFolder() + "vcq-long-" + vcq::test::UniqueTag();
    ASSERT_TRUE(files::CreateFolderPath(base));
    std::string deep;
    for (int level = 0; deep.size() < 300; ++level)
        deep += "\\level-" + std::to_string(level) + "-\xC3\xA9t\xC3\xA9-of-a-long-path";
    wchar_t current[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, current);
    ASSERT_TRUE(SetCurrentDirectoryW(std::filesystem::path(base).wstring().c_str()));
    const struct {
        const char* form;
        std::string folder;
    } rows[] = {
        {"absolute", base + deep},
        {"absolute with slashes", base + "/slashes" + deep},
        {"relative", "relative" + deep},
    };
    for (const auto& row : rows) {
        EXPECT_TRUE(files::CreateFolderPath(row.folder)) << row.form;
        const std::string file = row.folder + "\\backup.cfg";
        std::FILE* out = files::OpenFile(file, "wb");
        ASSERT_NE(out, nullptr) << row.form;
        std::fputs("settings", out);
        std::fclose(out);
        std::string bytes;
        EXPECT_TRUE(files::ReadWholeFile(file, bytes)) << row.form;
        EXPECT_EQ(bytes, "settings") << row.form;
        EXPECT_TRUE(files::RemoveFile(file)) << row.form;
        EXPECT_FALSE(files::FileExists(file)) << row.form;
    }
    SetCurrentDirectoryW(current);
    std::error_code ec;
    fs::remove_all(fs::path(base), ec);
}

// A file someone holds open for a moment (an antivirus, the indexer) is
// renamed or removed once they let go, within about a second.
TEST(WindowsFiles, RenamesAndRemovalsWaitForAFileHeldBriefly) {
    const std::string folder = TempFolder();
    const struct {
        const char* what;
        bool (*act)(const std::string& file);
    } rows[] = {
        {"remove", [](const std::string& file) { return files::RemoveFile(file); }},
        {"rename",
         [](const std::string& file) {
             bool exists = false;
             const bool moved = files::RenameNoReplace(file, file + ".cfg", exists);
             files::RemoveFile(file + ".cfg");
             return moved;
         }},
    };
    for (const auto& row : rows) {
        std::string file;
        ASSERT_TRUE(files::CreateUniqueFile(folder, "~vh", file));
        // Shared for reading only: neither a rename nor a delete may pass.
        HANDLE held = CreateFileW(std::filesystem::path(file).wstring().c_str(), GENERIC_READ,
                                  FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(held, INVALID_HANDLE_VALUE);
        std::thread release([held] {
            std::this_thread::sleep_for(std::chrono::milliseconds(150));
            CloseHandle(held);
        });
        EXPECT_TRUE(row.act(file)) << row.what;
        release.join();
        EXPECT_FALSE(files::FileExists(file)) << row.what;
        files::RemoveFile(file);
    }
}

TEST(WindowsSockets, ASecondListenerCannotTakeAListenersPort) {
    net::TcpSocket first, second;
    ASSERT_TRUE(first.Open() && first.SetListenerAddressUse());
    ASSERT_TRUE(first.Bind({0x7F000001, 0}) && first.Listen(4));
    ASSERT_TRUE(second.Open() && second.SetListenerAddressUse());
    EXPECT_FALSE(second.Bind(*first.LocalEndpoint()));
}

TEST(WinsockErrors, ReadLikeTheirPosixTwins) {
    const struct {
        int wsa;
        int posix;
    } rows[] = {
        {WSAECONNRESET, ECONNRESET},
        {WSAECONNREFUSED, ECONNREFUSED},
        {WSAETIMEDOUT, ETIMEDOUT},
        {WSAEWOULDBLOCK, EWOULDBLOCK},
        {WSAEADDRINUSE, EADDRINUSE},
        {WSAECONNABORTED, ECONNABORTED},
        {WSAENETUNREACH, ENETUNREACH},
        {WSAEHOSTUNREACH, EHOSTUNREACH},
        {WSAENOTCONN, ENOTCONN},
        {WSAEINTR, EINTR},
        {WSAEADDRNOTAVAIL, EADDRNOTAVAIL},
        {WSASYSNOTREADY, WSASYSNOTREADY},  // no twin: kept as it is
    };
    for (const auto& row : rows)
        EXPECT_EQ(net::PortableError(row.wsa), row.posix) << row.wsa;
}

TEST(WinsockErrors, ARefusedConnectionSaysEconnrefused) {
    net::Endpoint closed{0x7F000001, 0};
    {
        net::TcpSocket probe;
        ASSERT_TRUE(probe.Open());
        ASSERT_TRUE(probe.Bind(closed));
        closed = *probe.LocalEndpoint();
    }
    net::TcpSocket client;
    ASSERT_TRUE(client.Open());
    EXPECT_FALSE(client.Connect(closed, std::chrono::milliseconds(3000)));
    EXPECT_EQ(client.LastError(), ECONNREFUSED);
}

}  // namespace
