// Archives made by a real archiver (fixtures/make-fixtures), unpacked and
// compared byte for byte with the files they were made from.
#include <gtest/gtest.h>

#include <set>

#include "package/crc16.h"
#include "package/lha_extractor.h"
#include "package/write_behind.h"
#include "recording_window.h"
#include "test_util.h"

namespace vcq {
namespace {

using test::Fixture;
using test::ListFiles;
using test::ReadBytes;
using test::ScratchDir;

void ExpectSameTree(const test::fs::path& source, const test::fs::path& out) {
    auto files = ListFiles(source);
    ASSERT_EQ(files, ListFiles(out));
    for (const auto& f : files)
        EXPECT_EQ(ReadBytes(source / f), ReadBytes(out / f)) << f;
}

struct Outcome {
    int result = -1;
    int members = -1;
    bool allWritten = false;
    std::vector<MemberResult> results;
};

Outcome ExtractInto(const test::fs::path& archive, const std::string& out, int createFolders = 1) {
    LhaExtractor x;
    x.createFolders = createFolders;
    Outcome r;
    r.result = x.Extract(archive.string(), out, r.members);
    r.allWritten = x.AllWritten();
    r.results = x.Members();
    return r;
}

TEST(LhaExtract, RealArchivesMatchTheirSources) {
    struct Case {
        const char* archive;
        const char* source;
        int members;
    } cases[] = {
        {"nested.lzh", "src/nested", 5},  // web/home/l4 made level by level, empty file
        {"stored.lzh", "src/stored", 1},  // -lh0-
        {"large.lzh", "src/large", 2},    // many 8 KiB chunks
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.archive);
        ScratchDir dir;
        Outcome r = ExtractInto(Fixture(c.archive), dir.Str());
        EXPECT_EQ(r.result, 1);
        EXPECT_EQ(r.members, c.members);
        EXPECT_TRUE(r.allWritten);
        ExpectSameTree(Fixture(c.source), dir.Path());
    }
}

TEST(LhaExtract, FolderEntriesAreSkippedButCounted) {
    ScratchDir dir;
    Outcome r = ExtractInto(Fixture("with-dirs.lzh"), dir.Str());
    EXPECT_EQ(r.result, 1);
    EXPECT_EQ(r.members, 9);  // 5 files and 4 -lhd- folder entries
    EXPECT_FALSE(r.allWritten);
    int skipped = 0;
    for (const auto& m : r.results)
        skipped += m.outcome == MemberOutcome::UnknownMethod;
    EXPECT_EQ(skipped, 4);
    ExpectSameTree(Fixture("src/nested"), dir.Path());
}

// The headless tool's extract: folder entries are folders, empty ones too.
TEST(LhaExtract, FolderEntriesMakeTheirFoldersWhenAsked) {
    ScratchDir dir;
    LhaExtractor x;
    x.createFolders = 1;
    x.folderEntries = 1;
    int members = 0;
    EXPECT_EQ(x.Extract(Fixture("with-dirs.lzh").string(), dir.Str(), members), 1);
    EXPECT_EQ(members, 9);
    EXPECT_TRUE(x.AllWritten());
    EXPECT_EQ(x.Members()[0].outcome, MemberOutcome::Folder);
    ExpectSameTree(Fixture("src/nested"), dir.Path());

    test::ArchiveBuilder b;
    b.AddFolder(
        "web\xFF"
        "empty\xFF"
        "deeper\xFF");
    b.AddFolder("web\xFF");  // exists by now
    b.AddStored("web\xFF", "a.txt", test::Bytes("a"));
    MemorySink sink;
    EXPECT_EQ(x.Extract(b.Finish(), sink, members), 1);
    EXPECT_TRUE(x.AllWritten());
    EXPECT_EQ(sink.folders, (std::set<std::string>{"web", "web/empty", "web/empty/deeper"}));
    EXPECT_EQ(sink.files.size(), 1u);

    // Without createFolders there is nowhere to put a folder.
    x.createFolders = 0;
    MemorySink flat;
    x.Extract(b.Finish(), flat, members);
    EXPECT_EQ(x.Members()[0].outcome, MemberOutcome::UnknownMethod);
    EXPECT_TRUE(flat.folders.empty());
}

// The sink the fuzzers use gives what the file writer gives, and a full
// "disk" takes the member back.
TEST(LhaExtract, MemorySinkHoldsTheTreeAndFailsWhenFull) {
    auto archive = ReadBytes(Fixture("nested.lzh"));
    LhaExtractor x;
    x.createFolders = 1;
    int members = 0;
    MemorySink sink;
    EXPECT_EQ(x.Extract(archive, sink, members), 1);
    EXPECT_TRUE(x.AllWritten());
    auto files = ListFiles(Fixture("src/nested"));
    ASSERT_EQ(sink.files.size(), files.size());
    for (const auto& f : files)
        EXPECT_EQ(sink.files[f], ReadBytes(Fixture("src/nested") / f)) << f;

    // Members of large.lzh are written from a thread of their own.
    using O = MemberOutcome;
    struct Case {
        const char* archive;
        size_t maxBytes;
        std::vector<MemberOutcome> outcomes;
        const char* gone;
        const char* kept;
    } cases[] = {
        // index.html 1,949; a.txt 1,436; b.txt 2,387; c.txt 980
        {"nested.lzh",
         3000,
         {O::Written, O::WriteFailed, O::WriteFailed, O::Written, O::Written},
         "web/home/a.txt",
         "web/home/l3/c.txt"},
        // text.txt 150,021; data.bin 90,202
        {"large.lzh", 100000, {O::WriteFailed, O::Written}, "text.txt", "data.bin"},
        {"large.lzh", 200000, {O::Written, O::WriteFailed}, "data.bin", "text.txt"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.archive);
        MemorySink small;
        small.maxBytes = c.maxBytes;
        x.Extract(ReadBytes(Fixture(c.archive)), small, members);
        std::vector<MemberOutcome> outcomes;
        for (const auto& m : x.Members())
            outcomes.push_back(m.outcome);
        EXPECT_EQ(outcomes, c.outcomes);
        EXPECT_EQ(small.files.count(c.gone), 0u);
        EXPECT_EQ(small.files.count(c.kept), 1u);
    }
}

TEST(LhaExtract, EndWithAndWithoutTheZeroByte) {
    auto bytes = ReadBytes(Fixture("nested.lzh"));
    ASSERT_EQ(bytes.back(), 0);
    for (bool keepZero : {true, false}) {
        ScratchDir dir;
        auto archive = dir.Path() / "a.lzh";
        auto copy = bytes;
        if (!keepZero)
            copy.pop_back();
        test::WriteBytes(archive, copy);
        test::fs::create_directory(dir.Path() / "out");
        Outcome r = ExtractInto(archive, (dir.Path() / "out").string());
        EXPECT_EQ(r.members, 5);
        EXPECT_TRUE(r.allWritten) << keepZero;
    }
}

TEST(LhaExtract, WithoutFolderCreationMembersLandFlat) {
    ScratchDir dir;
    Outcome r = ExtractInto(Fixture("nested.lzh"), dir.Str(), 0);
    EXPECT_EQ(r.members, 5);
    EXPECT_EQ(ListFiles(dir.Path()),
              (std::vector<std::string>{"a.txt", "b.txt", "c.txt", "empty.txt", "index.html"}));
}

TEST(LhaExtract, ExistingFoldersAreReused) {
    ScratchDir dir;
    test::fs::create_directories(dir.Path() / "web/home");
    Outcome r = ExtractInto(Fixture("nested.lzh"), dir.Str());
    EXPECT_TRUE(r.allWritten);
    ExpectSameTree(Fixture("src/nested"), dir.Path());
}

TEST(LhaExtract, MissingArchiveShowsItsPathAndReturnsZero) {
    test::RecordingWindow window;
    LhaExtractor x(&window);
    int members = 7;
    EXPECT_EQ(x.Extract("/nonexistent/a.lzh", "/tmp/", members), 0);
    EXPECT_EQ(members, 0);
    auto boxes = window.Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "/nonexistent/a.lzh");
    EXPECT_EQ(boxes[0].caption, "DEBUG");
    EXPECT_EQ(boxes[0].icon, MessageIcon::Stop);
}

TEST(Crc16, MatchesTheLhaCrc) {
    const char* check = "123456789";
    EXPECT_EQ(Crc16(reinterpret_cast<const uint8_t*>(check), 9), 0xBB3D);
    auto data = ReadBytes(Fixture("src/large/text.txt"));
    uint16_t split = UpdateCrc16(Crc16(data.data(), 1000), data.data() + 1000, data.size() - 1000);
    EXPECT_EQ(split, Crc16(data.data(), data.size()));
    EXPECT_EQ(split, 0x85fd);  // as the archiver listed it
}

// The writer thread gives the sink every byte pushed, in order, and the CRC
// of them all, also when it has to wake for a decoder short of room; a
// refused write fails the member.
TEST(WriteBehind, WritesEveryChunkInOrderAndReportsARefusedWrite) {
    std::vector<uint8_t> ring(256 * 1024);
    for (size_t i = 0; i < ring.size(); ++i)
        ring[i] = static_cast<uint8_t>(i * 7 + (i >> 9));
    using Chunks = std::vector<std::pair<size_t, size_t>>;  // offset, size
    Chunks ring12;
    for (size_t k = 0; k < 12; ++k)
        ring12.push_back({k * 8192, 8192});
    struct Case {
        const char* what;
        Chunks chunks;
        size_t capacity;
        size_t maxBytes;
        bool ok;
    } cases[] = {
        {"one small chunk", {{0, 100}}, ring.size(), SIZE_MAX, true},
        {"chunks one after another, past a batch", ring12, ring.size(), SIZE_MAX, true},
        {"chunks apart in memory",
         {{1000, 10}, {0, 500}, {70000, 3000}},
         ring.size(),
         SIZE_MAX,
         true},
        {"room for one chunk at a time", ring12, 10000, SIZE_MAX, true},
        {"a sink that fills up", {{0, 70000}, {70000, 70000}}, ring.size(), 100000, false},
    };
    WriteBehind behind;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        MemorySink sink;
        sink.maxBytes = c.maxBytes;
        ASSERT_TRUE(sink.Open("f"));
        behind.Begin(&sink, c.capacity);
        std::vector<uint8_t> expected;
        for (auto [at, size] : c.chunks) {
            behind.WaitRoom(size);
            behind.Push(ring.data() + at, size);
            expected.insert(expected.end(), ring.begin() + at, ring.begin() + at + size);
        }
        uint16_t crc = 1;
        EXPECT_EQ(behind.Finish(crc), c.ok);
        EXPECT_EQ(crc, Crc16(expected.data(), expected.size()));
        if (c.ok) {
            EXPECT_EQ(sink.files["f"], expected);
        }
    }
}

}  // namespace
}  // namespace vcq
