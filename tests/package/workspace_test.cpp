#include <gtest/gtest.h>

#include <thread>

#include "package/workspace.h"
#include "platform/files.h"
#include "portable_env.h"
#include "recording_window.h"
#include "test_util.h"

namespace vcq {
namespace {

namespace fs = test::fs;

std::vector<std::string> Entries(const fs::path& p) {
    std::vector<std::string> out;
    for (auto& e : fs::directory_iterator(p))
        out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
}

TEST(Workspace, TwoPreparesUseOneFolderAndTwoPackageFiles) {
    test::ScratchDir temp;
    PackageWorkspace ws;
    ws.tempFolderOverride = temp.Str();
    test::RecordingWindow w;
    ws.LoadModelList(&w);
    ws.LoadPackage(&w);
    ASSERT_FALSE(ws.packageData.empty());

    ASSERT_EQ(ws.PreparePackage(&w), 1);
    EXPECT_EQ(ws.workspaceCreated, 1);
    EXPECT_EQ(ws.extractedCount, 90);
    std::string first = ws.packageFile;
    ASSERT_EQ(ws.PreparePackage(&w), 1);
    EXPECT_NE(ws.packageFile, first);

    auto top = Entries(temp.Path());
    ASSERT_EQ(top.size(), 1u);
    EXPECT_EQ(top[0].rfind("~vcqtemp", 0), 0u);
    EXPECT_EQ(ws.workspacePath, temp.Str() + top[0] + files::kPathSeparator);
    EXPECT_EQ(ws.workspaceName, top[0] + files::kPathSeparator);
    int vcFiles = 0;
    for (const auto& e : Entries(ws.workspacePath))
        vcFiles += e.rfind("~vc", 0) == 0;
    EXPECT_EQ(vcFiles, 2);
    EXPECT_TRUE(fs::is_directory(ws.workspacePath + "system"));
    EXPECT_TRUE(fs::is_regular_file(ws.workspacePath + "web/home/l4/admin00.html"));
    EXPECT_EQ(ws.packageData, test::ReadBytes(first));
    EXPECT_TRUE(w.Boxes().empty());

    ws.RemoveAtExit();
    EXPECT_TRUE(Entries(temp.Path()).empty());
}

TEST(Workspace, TransfersRunningAtOnceUnpackIntoFoldersOfTheirOwn) {
    test::ScratchDir temp;
    PackageWorkspace ws;
    ws.tempFolderOverride = temp.Str();
    ws.LoadPackage(nullptr);
    constexpr int kJobs = 4;
    std::string folders[kJobs];
    int results[kJobs] = {};
    std::vector<std::thread> jobs;
    for (int i = 0; i < kJobs; ++i)
        jobs.emplace_back([&, i] { results[i] = ws.PrepareTransferFolder(nullptr, folders[i]); });
    for (auto& job : jobs)
        job.join();

    auto expected = test::ListFiles(VCQ_PACKAGE_TREE);
    for (int i = 0; i < kJobs; ++i) {
        ASSERT_EQ(results[i], 1) << i;
        EXPECT_EQ(folders[i].rfind(ws.workspacePath, 0), 0u) << folders[i];
        for (int j = 0; j < i; ++j)
            EXPECT_NE(folders[i], folders[j]);
        // Every tree whole, beside its own package file.
        auto files = test::ListFiles(folders[i]);
        std::erase_if(files, [](const std::string& f) { return f.rfind("~vc", 0) == 0; });
        EXPECT_EQ(files, expected) << i;
    }
    EXPECT_NE(RemoveFolderTree(folders[0]), 0);
    EXPECT_TRUE(fs::is_regular_file(folders[1] + "web/home/l4/admin00.html"));
    ws.RemoveAtExit();
    EXPECT_TRUE(Entries(temp.Path()).empty());
}

TEST(Workspace, DamagedPackageIsNotReportedAsPrepared) {
    test::ScratchDir temp;
    PackageWorkspace ws;
    ws.tempFolderOverride = temp.Str();
    ws.LoadPackage(nullptr);
    ws.packageData[ws.packageData.size() / 2] ^= 0xFF;
    EXPECT_EQ(ws.PreparePackage(nullptr), 0);
    ws.packageData.resize(ws.packageData.size() / 3);
    EXPECT_EQ(ws.PreparePackage(nullptr), 0);
    ws.RemoveAtExit();
}

TEST(Workspace, NoPackageIsNoSuccess) {
    test::ScratchDir temp;
    PackageWorkspace ws;
    ws.tempFolderOverride = temp.Str();
    EXPECT_EQ(ws.PreparePackage(nullptr), 0);
}

TEST(Workspace, NoTemporaryFolderMeansNoWorkspace) {
    PackageWorkspace ws;
    ws.tempFolderOverride = "/nonexistent/folder/";
    ws.LoadPackage(nullptr);
    EXPECT_EQ(ws.PreparePackage(nullptr), 0);
    EXPECT_EQ(ws.workspaceCreated, 0);
    EXPECT_TRUE(ws.packageFile.empty());
    ws.RemoveAtExit();  // nothing written: nothing to remove
}

TEST(RemoveFolderTree, RemovesReadOnlyFilesAndFoldersButNotLinkTargets) {
    test::ScratchDir temp;
    fs::path root = temp.Path() / "tree";
    fs::create_directories(root / "a/b/c");
    test::WriteBytes(root / "a/b/c/ro.txt", test::Bytes("x"));
    test::WriteBytes(root / "top.txt", test::Bytes("y"));
    ASSERT_TRUE(files::SetReadOnly((root / "a/b/c/ro.txt").string(), true));
    ASSERT_TRUE(files::IsReadOnly((root / "a/b/c/ro.txt").string()));
    fs::permissions(root / "a/b", fs::perms::owner_read | fs::perms::owner_exec);
    fs::path outside = temp.Path() / "keep";
    fs::create_directory(outside);
    test::WriteBytes(outside / "k.txt", test::Bytes("k"));
    ASSERT_TRUE(test::MakeFolderLink(outside.string(), (root / "link").string()));

    EXPECT_NE(RemoveFolderTree(root.string() + "/"), 0);
    EXPECT_FALSE(fs::exists(root));
    EXPECT_TRUE(fs::exists(outside / "k.txt"));
    EXPECT_EQ(RemoveFolderTree((temp.Path() / "missing").string()), 0);
}

}  // namespace
}  // namespace vcq
