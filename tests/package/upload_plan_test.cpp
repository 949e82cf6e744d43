#include <gtest/gtest.h>

#include <algorithm>

#include "package/upload_plan.h"
#include "platform/files.h"
#include "test_util.h"

using vcq::BuildUploadPlan;
using vcq::CheckUploadPlan;
using vcq::UploadPlan;
using vcq::test::ScratchDir;
using vcq::test::WriteBytes;

namespace {

void Put(const std::filesystem::path& path, std::vector<uint8_t> bytes) {
    std::filesystem::create_directories(path.parent_path());
    WriteBytes(path, bytes);
}

std::string Describe(const UploadPlan& plan, const std::string& root) {
    std::string out;
    for (const auto& e : plan.entries) {
        if (e.kind == 0)
            break;
        std::string local =
            e.localPath.rfind(root, 0) == 0 ? e.localPath.substr(root.size()) : e.localPath;
        std::replace(local.begin(), local.end(), vcq::files::kPathSeparator, '/');
        out += std::string(1, e.kind) + ":" + e.name + ":" + local + "\n";
    }
    return out;
}

}  // namespace

TEST(UploadPlan, WalksSystemThenWebParentsBeforeChildren) {
    ScratchDir dir;
    Put(dir.Path() / "system/fw.img", {1, 2});
    Put(dir.Path() / "web/index.htm", {3});
    Put(dir.Path() / "web/home/l3/a.htm", {});
    Put(dir.Path() / "web/home/b.htm", {4});
    UploadPlan plan;
    ASSERT_EQ(BuildUploadPlan(plan, dir.Str()), 0);
    EXPECT_EQ(plan.fileCount, 4);
    EXPECT_EQ(Describe(plan, dir.Str()),
              "d:system:\n"
              "e:fw.img:system/fw.img\n"
              "f::system/\n"
              "d:web:\n"
              "d:home:web/home\n"
              "e:b.htm:web/home/b.htm\n"
              "d:l3:web/home/l3\n"
              "e:a.htm:web/home/l3/a.htm\n"
              "f::web/home/l3\n"
              "f::web/home\n"
              "e:index.htm:web/index.htm\n"
              "f::web/\n"
              "g::\n");
    EXPECT_EQ(CheckUploadPlan(plan), 1);

    plan.Clear();
    EXPECT_EQ(plan.fileCount, 0);
    EXPECT_EQ(plan.entries[0].kind, 0);
}

TEST(UploadPlan, MissingTreeFailsTheCheck) {
    ScratchDir dir;
    Put(dir.Path() / "system/fw.img", {1});
    UploadPlan plan;
    ASSERT_EQ(BuildUploadPlan(plan, dir.Str()), 0);
    EXPECT_EQ(CheckUploadPlan(plan), 0);
    EXPECT_EQ(Describe(plan, dir.Str()),
              "d:system:\ne:fw.img:system/fw.img\nf::system/\nf::web/\ng::\n");
}

TEST(UploadPlan, MoreThanAThousandEntriesIsRefused) {
    ScratchDir dir;
    // "system", 997 files, its end and "web" fill 1,000 entries; one more is too many.
    for (int i = 0; i < 997; ++i)
        Put(dir.Path() / "system" / ("f" + std::to_string(1000 + i)), {});
    std::filesystem::create_directories(dir.Path() / "web");
    UploadPlan plan;
    EXPECT_EQ(BuildUploadPlan(plan, dir.Str()), 0);
    Put(dir.Path() / "web/one-too-many", {});
    EXPECT_EQ(BuildUploadPlan(plan, dir.Str()), -1);
}
