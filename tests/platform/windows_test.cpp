// What only the Windows build does: drive and share roots, wide-character
// paths, Winsock's error codes.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include <winsock2.h>

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
