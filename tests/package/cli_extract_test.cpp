// vcq-upgrade-cli extract: its output and exit codes.
#include <gtest/gtest.h>

#include "child_process.h"
#include "test_util.h"

namespace vcq {
namespace {

namespace fs = test::fs;

using Result = test::CommandOutput;

Result RunCli(const std::string& archive, const fs::path& dir) {
    return test::RunProgram(VCQ_CLI, {"extract", archive, dir.string()});
}

TEST(CliExtract, ExitCodes) {
    test::ScratchDir dir;
    Result good = RunCli(test::Fixture("nested.lzh").string(), dir.Path() / "new/deeper/");
    EXPECT_EQ(good.code, 0);
    EXPECT_EQ(good.out, "members: 5\n");

    // An archive made by lha names its folders: they are folders, not failures.
    Result folders = RunCli(test::Fixture("with-dirs.lzh").string(), dir.Path() / "d");
    EXPECT_EQ(folders.code, 0);
    EXPECT_EQ(folders.out, "members: 9\n");
    EXPECT_EQ(test::ListFiles(dir.Path() / "d"), test::ListFiles(test::Fixture("src/nested")));
    test::ArchiveBuilder empty;
    empty.AddFolder(
        "web\xFF"
        "empty\xFF");
    test::WriteBytes(dir.Path() / "empty.lzh", empty.Finish());
    EXPECT_EQ(RunCli((dir.Path() / "empty.lzh").string(), dir.Path() / "e").code, 0);
    EXPECT_TRUE(fs::is_directory(dir.Path() / "e/web/empty"));

    test::ArchiveBuilder unknown;
    test::ArchiveBuilder::Member lh7;
    lh7.method = "-lh7-";
    lh7.fileName = "x.bin";
    unknown.Add(lh7);
    test::WriteBytes(dir.Path() / "lh7.lzh", unknown.Finish());
    EXPECT_EQ(RunCli((dir.Path() / "lh7.lzh").string(), dir.Path() / "u").code, 1);

    auto bad = test::ReadBytes(test::Fixture("nested.lzh"));
    bad[21] ^= 1;
    test::WriteBytes(dir.Path() / "bad.lzh", bad);
    EXPECT_EQ(RunCli((dir.Path() / "bad.lzh").string(), dir.Path() / "b").code, 1);

    bad.resize(bad.size() / 2);
    test::WriteBytes(dir.Path() / "cut.lzh", bad);
    EXPECT_EQ(RunCli((dir.Path() / "cut.lzh").string(), dir.Path() / "c").code, 1);

    EXPECT_EQ(RunCli((dir.Path() / "none.lzh").string(), dir.Path() / "n").code, 2);
}

TEST(CliExtract, EmbeddedPackageGivesTheSourceTree) {
    test::ScratchDir dir;
    Result r = RunCli("embedded", dir.Path());
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "members: 90\n");
    auto files = test::ListFiles(dir.Path());
    ASSERT_EQ(files, test::ListFiles(VCQ_PACKAGE_TREE));
    for (const auto& f : files)
        EXPECT_EQ(test::ReadBytes(dir.Path() / f), test::ReadBytes(fs::path(VCQ_PACKAGE_TREE) / f));
}

}  // namespace
}  // namespace vcq
