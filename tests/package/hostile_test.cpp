// Damaged and hostile archives: no crash, no hang, nothing written outside
// the output folder, and no damaged file left behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <set>

#include "package/lha_extractor.h"
#include "test_util.h"

namespace vcq {
namespace {

using test::ArchiveBuilder;
using test::Bytes;
using test::Fixture;
using test::ListFiles;
using test::ReadBytes;
using test::ScratchDir;
namespace fs = test::fs;

// Extracts `archive` into <scratch>/out and checks that nothing else
// appeared in the scratch folder.
struct Sandbox {
    ScratchDir dir;
    LhaExtractor x;
    int members = -1;

    int Run(const std::vector<uint8_t>& archive) {
        test::WriteBytes(dir.Path() / "a.lzh", archive);
        fs::create_directory(dir.Path() / "out");
        x.createFolders = 1;
        int result =
            x.Extract((dir.Path() / "a.lzh").string(), (dir.Path() / "out").string(), members);
        std::vector<std::string> top;
        for (auto& e : fs::directory_iterator(dir.Path()))
            top.push_back(e.path().filename().string());
        std::sort(top.begin(), top.end());
        EXPECT_EQ(top, (std::vector<std::string>{"a.lzh", "out"}));
        return result;
    }
    fs::path Out() const { return dir.Path() / "out"; }
    MemberOutcome Outcome(size_t i) const { return x.Members().at(i).outcome; }
};

// Every file that came out is exactly its source.
void ExpectOnlyGoodFiles(const fs::path& out, const fs::path& source) {
    for (const auto& f : ListFiles(out)) {
        ASSERT_TRUE(fs::exists(source / f)) << f;
        EXPECT_EQ(ReadBytes(out / f), ReadBytes(source / f)) << f;
    }
}

TEST(LhaHostile, TruncatedAnywhereLeavesOnlyGoodFiles) {
    for (const char* name : {"nested.lzh", "large.lzh", "stored.lzh"}) {
        auto full = ReadBytes(Fixture(name));
        auto source = Fixture(std::string("src/") + (name[0] == 'n'   ? "nested"
                                                     : name[0] == 'l' ? "large"
                                                                      : "stored"));
        size_t step = full.size() > 4000 ? 211 : 1;
        for (size_t len = 0; len + 1 < full.size(); len += step) {
            SCOPED_TRACE(std::string(name) + " cut at " + std::to_string(len));
            Sandbox s;
            EXPECT_EQ(s.Run({full.begin(), full.begin() + len}), 1);
            // A cut between members looks like a complete archive; any
            // other cut must be reported.
            if (s.x.AllWritten()) {
                EXPECT_EQ(ListFiles(s.Out()).size(), size_t(s.members));
            }
            ExpectOnlyGoodFiles(s.Out(), source);
        }
    }
}

TEST(LhaHostile, BadCrcDeletesTheMemberAndGoesOn) {
    auto bytes = ReadBytes(Fixture("nested.lzh"));
    bytes[21] ^= 0x55;  // CRC of the first member
    Sandbox s;
    EXPECT_EQ(s.Run(bytes), 1);
    EXPECT_EQ(s.members, 5);
    EXPECT_EQ(s.Outcome(0), MemberOutcome::CrcMismatch);
    EXPECT_TRUE(s.x.Damaged());
    EXPECT_FALSE(fs::exists(s.Out() / "web/index.html"));
    EXPECT_EQ(ListFiles(s.Out()).size(), 4u);
    ExpectOnlyGoodFiles(s.Out(), Fixture("src/nested"));
}

TEST(LhaHostile, CorruptCompressedDataNeverLeavesABadFile) {
    auto full = ReadBytes(Fixture("large.lzh"));
    std::mt19937 rng(42);
    for (int round = 0; round < 60; ++round) {
        auto bytes = full;
        for (int k = 0; k < 1 + round % 4; ++k)
            bytes[60 + rng() % (bytes.size() - 61)] ^= 1 << (rng() % 8);
        Sandbox s;
        EXPECT_EQ(s.Run(bytes), 1);
        ExpectOnlyGoodFiles(s.Out(), Fixture("src/large"));
    }
}

TEST(LhaHostile, PathsOutsideTheOutputFolderAreRefused) {
    struct Case {
        std::string dir, file;
    } bad[] = {
        {"", ".."},
        {"..\xFF", "escape1.txt"},
        {"web\xFF..\xFF..\xFF", "escape2.txt"},
        {"\xFFtmp\xFF", "escape3.txt"},
        {"", "/tmp/vcq-escape4.txt"},
        {"", "../escape5.txt"},
        {"", "..\\escape6.txt"},
        {"C:\xFF", "escape7.txt"},
        {"", "c:escape8.txt"},
        {"web\xFF", std::string("a\0b", 3)},
        {"web\xFF.\xFF", "dot.txt"},
        {"web\xFF", ""},
    };
    ArchiveBuilder b;
    for (const auto& c : bad)
        b.AddStored(c.dir, c.file, Bytes("bad"));
    b.AddStored("web\xFFok\xFF", "good.txt", Bytes("good"));
    Sandbox s;
    EXPECT_EQ(s.Run(b.Finish()), 1);
    EXPECT_EQ(s.members, static_cast<int>(std::size(bad)) + 1);
    for (size_t i = 0; i < std::size(bad); ++i)
        EXPECT_EQ(s.Outcome(i), MemberOutcome::UnsafeName) << i;
    EXPECT_EQ(ListFiles(s.Out()), std::vector<std::string>{"web/ok/good.txt"});
    EXPECT_FALSE(fs::exists("/tmp/vcq-escape4.txt"));
    EXPECT_FALSE(fs::exists("/tmp/escape3.txt"));
}

// Names that would land as a device, as nothing or under another name on
// Windows are refused everywhere, and only what landed counts as written.
TEST(LhaHostile, NamesWindowsCannotHoldAreRefused) {
    using O = MemberOutcome;
    struct Row {
        std::string dir, file;
        O outcome;
        bool folderEntry = false;
    } rows[] = {
        {"", "NUL", O::WindowsName},
        {"", "con.txt", O::WindowsName},
        {"", "Aux", O::WindowsName},
        {"", "prn.tar.gz", O::WindowsName},
        {"", "nul .txt", O::WindowsName},
        {"", "COM1", O::WindowsName},
        {"", "com9.log", O::WindowsName},
        {"", "LPT1", O::WindowsName},
        {"", "lpt9.bin", O::WindowsName},
        {"", "COM\xB9", O::WindowsName},
        {"", "CONOUT$", O::WindowsName},
        {"aux\xFF", "inside.txt", O::WindowsName},
        {"web\xFF", "a*b", O::WindowsName},
        {"web\xFF", "what?", O::WindowsName},
        {"web\xFF", "a<b", O::WindowsName},
        {"web\xFF", "a>b", O::WindowsName},
        {"web\xFF", "a|b", O::WindowsName},
        {"web\xFF", "say\"hi\"", O::WindowsName},
        {"web\xFF", "tab\tname", O::WindowsName},
        {"web\xFF", "bell\x07", O::WindowsName},
        {"web\xFF", "dot.", O::WindowsName},
        {"web\xFF", "space ", O::WindowsName},
        {"web.\xFF", "in.txt", O::WindowsName},
        {"web \xFF", "in.txt", O::WindowsName},
        {"web\xFF", "a:b", O::UnsafeName},
        {"lpt1\xFF", "", O::WindowsName, true},
        {"web\xFF", "console.txt", O::Written},
        {"web\xFF", "com10", O::Written},
        {"web\xFF", "nul_", O::Written},
        {"web\xFF", "lpt", O::Written},
        {"web\xFF", ".htaccess", O::Written},
        {"web\xFF", "Index.html", O::Written},
        {"web\xFF", "index.html", O::CaseClash},
        {"web\xFF", "INDEX.HTML", O::CaseClash},
        {"web\xFF", "Index.html", O::Written},  // the same spelling again replaces it
        {"WEB\xFF", "other.txt", O::CaseClash},
        {"web\xFF", "Sub", O::Written},
        {"web\xFFsub\xFF", "x.txt", O::CaseClash},
        {"Web\xFF", "", O::CaseClash, true},
        {"web\xFFnew\xFF", "", O::Folder, true},
    };
    ArchiveBuilder b;
    for (const auto& r : rows) {
        if (r.folderEntry)
            b.AddFolder(r.dir);
        else
            b.AddStored(r.dir, r.file, Bytes("data"));
    }
    LhaExtractor x;
    x.createFolders = 1;
    x.folderEntries = 1;
    MemorySink sink;
    int members = 0;
    auto archive = b.Finish();
    EXPECT_EQ(x.Extract(archive, sink, members), 1);
    ASSERT_EQ(members, static_cast<int>(std::size(rows)));
    std::set<std::string> written;
    for (size_t i = 0; i < std::size(rows); ++i) {
        SCOPED_TRACE(x.Members()[i].name);
        EXPECT_EQ(x.Members()[i].outcome, rows[i].outcome);
        if (rows[i].outcome == O::Written)
            written.insert(x.Members()[i].name);
    }
    std::set<std::string> landed;
    for (const auto& [path, data] : sink.files)
        landed.insert(path);
    EXPECT_EQ(landed, written);
    EXPECT_FALSE(x.AllWritten());
    EXPECT_FALSE(x.Damaged());
}

TEST(LhaHostile, FolderEntriesOutsideTheOutputFolderAreRefused) {
    const std::string bad[] = {"..\xFF",
                               "web\xFF..\xFF..\xFFup\xFF",
                               "\xFFtmp\xFFvcq-escape\xFF",
                               "C:\xFF",
                               "web\xFF.\xFF",
                               ""};
    ArchiveBuilder b;
    for (const auto& dir : bad)
        b.AddFolder(dir);
    b.AddFolder("web\xFFok\xFF");
    Sandbox s;
    s.x.folderEntries = 1;
    EXPECT_EQ(s.Run(b.Finish()), 1);
    for (size_t i = 0; i < std::size(bad); ++i)
        EXPECT_EQ(s.Outcome(i), MemberOutcome::UnsafeName) << i;
    EXPECT_EQ(s.Outcome(std::size(bad)), MemberOutcome::Folder);
    EXPECT_TRUE(fs::is_directory(s.Out() / "web/ok"));
    EXPECT_FALSE(fs::exists("/tmp/vcq-escape"));
}

TEST(LhaHostile, OversizedHeadersAndNamesAreSkipped) {
    ArchiveBuilder b;
    ArchiveBuilder::Member big;
    big.fileName = "big.txt";
    big.data = Bytes("big header");
    b.AddStored("", std::string(256, 'n'), Bytes("long name"));  // name over 255
    b.AddStored(std::string(300, 'd') + "\xFF", "f.txt", Bytes("long folder"));
    b.AddStored("", std::string(255, 'm'), Bytes("longest name"));
    // A header padded past the header buffer with an unknown extended header.
    {
        std::vector<uint8_t> h = {0, 0, '-', 'l', 'h', '0', '-', 4,    0, 0, 0, 4,
                                  0, 0, 0,   0,   0,   0,   0,   0x20, 2, 0, 0, 'U'};
        h.push_back(0x88), h.push_back(0x13), h.push_back(0x7F);  // 5000-byte extension
        h.resize(h.size() + 4997, 'x');
        h.push_back(0), h.push_back(0);
        h[0] = static_cast<uint8_t>(h.size()), h[1] = static_cast<uint8_t>(h.size() >> 8);
        auto data = Bytes("abcd");
        h.insert(h.end(), data.begin(), data.end());
        b.AppendRaw(h);
    }
    b.AddStored("", "after.txt", Bytes("still here"));
    Sandbox s;
    EXPECT_EQ(s.Run(b.Finish()), 1);
    EXPECT_EQ(s.members, 5);
    EXPECT_EQ(s.Outcome(0), MemberOutcome::NameTooLong);
    EXPECT_EQ(s.Outcome(1), MemberOutcome::NameTooLong);
    EXPECT_EQ(s.Outcome(2), MemberOutcome::Written);
    EXPECT_EQ(s.Outcome(3), MemberOutcome::HeaderTooLarge);
    EXPECT_EQ(s.Outcome(4), MemberOutcome::Written);
    EXPECT_EQ(ReadBytes(s.Out() / "after.txt"), Bytes("still here"));
}

TEST(LhaHostile, BrokenHeaderFieldsDoNotDerail) {
    ArchiveBuilder b;
    ArchiveBuilder::Member m;
    m.fileName = "x.txt";
    m.data = Bytes("payload");
    m.headerSizeOverride = 0xFFFF;  // announces far more than the file holds
    b.Add(m);
    Sandbox s;
    EXPECT_EQ(s.Run(b.Finish()), 1);
    EXPECT_TRUE(s.x.ArchiveTruncated());
    EXPECT_TRUE(ListFiles(s.Out()).empty());

    // A header size of 0 ends the archive, whatever follows.
    {
        auto bytes = ReadBytes(Fixture("nested.lzh"));
        bytes.push_back(0);
        for (int i = 0; i < 5000; ++i)
            bytes.push_back(static_cast<uint8_t>(i * 7));
        Sandbox t;
        EXPECT_EQ(t.Run(bytes), 1);
        EXPECT_EQ(t.members, 5);
        EXPECT_TRUE(t.x.AllWritten());
    }

    // Header sizes 1 to 23 cannot hold the fixed fields.
    for (uint8_t size : {1, 3, 10, 23}) {
        Sandbox t;
        std::vector<uint8_t> a(64, 0);
        a[0] = size;
        EXPECT_EQ(t.Run(a), 1);
        EXPECT_TRUE(t.x.ArchiveTruncated());
    }
}

TEST(LhaHostile, FolderThatCannotBeMadeSkipsItsMember) {
    ArchiveBuilder b;
    b.AddStored("web\xFF", "inside.txt", Bytes("lost"));
    b.AddStored("", "top.txt", Bytes("kept"));
    Sandbox s;
    fs::create_directory(s.Out());
    test::WriteBytes(s.Out() / "web", Bytes("a file where the folder should be"));
    EXPECT_EQ(s.Run(b.Finish()), 1);
    EXPECT_EQ(s.Outcome(0), MemberOutcome::FolderFailed);
    EXPECT_EQ(s.Outcome(1), MemberOutcome::Written);
    EXPECT_EQ(ReadBytes(s.Out() / "top.txt"), Bytes("kept"));
}

TEST(LhaHostile, HugeOriginalSizeWithLittleDataStops) {
    ArchiveBuilder b;
    ArchiveBuilder::Member m;
    m.method = "-lh5-";
    m.fileName = "bomb.bin";
    m.data = std::vector<uint8_t>(40, 0x5A);
    m.sizeAndCrcFromData = false;
    m.originalSize = 0xFFFFFFF0u;
    b.Add(m);
    b.AddStored("", "next.txt", Bytes("next"));
    Sandbox s;
    EXPECT_EQ(s.Run(b.Finish()), 1);
    EXPECT_GE(s.Outcome(0), MemberOutcome::CrcMismatch);
    EXPECT_FALSE(fs::exists(s.Out() / "bomb.bin"));
    EXPECT_EQ(s.Outcome(1), MemberOutcome::Written);

    Sandbox limited;
    limited.x.maxMemberSize = 1 << 20;
    limited.Run(b.Finish());
    EXPECT_EQ(limited.Outcome(0), MemberOutcome::TooLarge);
}

TEST(LhaHostile, RandomBytesAndMutations) {
    std::mt19937 rng(7);
    auto large = ReadBytes(Fixture("large.lzh"));
    auto nested = ReadBytes(Fixture("nested.lzh"));
    for (int round = 0; round < 150; ++round) {
        std::vector<uint8_t> bytes;
        if (round < 50) {
            bytes.resize(rng() % 3000);
            for (auto& v : bytes)
                v = static_cast<uint8_t>(rng());
            if (round % 2 && bytes.size() >= 7)
                bytes[0] = 0x40, bytes[1] = 0, std::memcpy(bytes.data() + 2, "-lh5-", 5);
        } else {
            bytes = round % 2 ? nested : large;
            for (int k = 0; k < 8; ++k)
                bytes[rng() % bytes.size()] = static_cast<uint8_t>(rng());
        }
        Sandbox s;
        s.x.maxMemberSize = 1 << 22;
        EXPECT_EQ(s.Run(bytes), 1);
    }
}

}  // namespace
}  // namespace vcq
