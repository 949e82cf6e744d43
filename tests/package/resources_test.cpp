#include <gtest/gtest.h>

#include <map>

#include "package/firmware_image.h"
#include "package/lha_extractor.h"
#include "package/resources.h"
#include "package/text_decoding.h"
#include "recording_window.h"
#include "test_util.h"
#include "utf16_text.h"

namespace vcq {
namespace {

// A resource table of the test's own.
class FakeResources : public ResourceSource {
  public:
    std::map<int, std::vector<uint8_t>> data;
    std::map<int, std::string> strings = {{123, "Error"}, {124, "Not found the upgrade file. "}};

    std::optional<std::span<const uint8_t>> FindBin(int id) const override {
        auto it = data.find(id);
        if (it == data.end())
            return std::nullopt;
        return std::span<const uint8_t>(it->second);
    }
    const char* FindString(int id) const override {
        auto it = strings.find(id);
        return it == strings.end() ? nullptr : it->second.c_str();
    }
};

std::vector<uint8_t> Utf16(const std::u16string& s) {
    std::vector<uint8_t> b = {0xFF, 0xFE};
    for (char16_t c : s)
        b.push_back(static_cast<uint8_t>(c)), b.push_back(static_cast<uint8_t>(c >> 8));
    b.push_back(0), b.push_back(0);
    return b;
}

TEST(UiText, EmbeddedTextsKeepTheirExactForm) {
    test::RecordingWindow w;
    EXPECT_EQ(LoadUiText(139, &w), "Error");
    EXPECT_EQ(LoadUiText(222, &w),
              "Firmware program was successfully updated to the camera.\r\n\r\n\r\n");
    EXPECT_EQ(LoadUiText(307, &w), "Invalid address or port number.\r\n%s");
    EXPECT_EQ(LoadUiText(234, &w), "Target camera version is \"");
    EXPECT_EQ(LoadUiText(235, &w), "\".");
    EXPECT_EQ(LoadUiText(168, &w),
              "Automatic mode detects any appropriate model in the same segment of the network "
              "that this PC is connected to and upgrade them automatically.\r\n\r\nManual mode "
              "is used to upgrade cameras one by one.");
    EXPECT_EQ(LoadUiText(134, &w),
              "Operating Precautions\r\n\r\n\r\nThis program does not execute over network "
              "connection through a proxy server.\r\n(The PC to run the program and the camera "
              "need be connected in LAN environment.)\r\n\r\nNeed to log in as Administrator "
              "to run the program.\r\n\r\nHTTP port may not be blocked by firewall.");
    for (int id : {140, 149, 150, 151, 152, 153, 154, 155, 156, 157, 158, 362})
        EXPECT_FALSE(LoadUiText(id, &w).empty()) << id;
    EXPECT_TRUE(w.Boxes().empty());
    // The stored form: byte-order mark, UTF-16LE, NUL.
    auto raw = EmbeddedResources().FindBin(139);
    ASSERT_TRUE(raw.has_value());
    EXPECT_EQ(std::vector<uint8_t>(raw->begin(), raw->end()), Utf16(u"Error"));
}

TEST(UiText, StringTable) {
    EXPECT_EQ(PackageVersion(), "1.08");
    EXPECT_EQ(LoadStringEntry(103), "Windows sockets initialization failed.");
    EXPECT_EQ(LoadStringEntry(124), "Not found the upgrade file. ");
    EXPECT_EQ(LoadStringEntry(123), "Error");
}

TEST(UiText, StopsAtTheNulAndSharesOneResult) {
    FakeResources fake;
    fake.data[500] = Utf16(u"first");
    fake.data[500].push_back('!');  // a stray byte after the NUL
    fake.data[501] = Utf16(u"caf\u00e9 \u2192");
    fake.data[502] = {0xFF, 0xFE, 'a', 0, 'b'};  // no NUL, odd end
    ScopedResourceSource scope(fake);
    test::RecordingWindow w;
    EXPECT_EQ(LoadUiText(500, &w), "first");
    const std::string& shared = LoadUiText(501, &w);
    EXPECT_EQ(shared, "caf\xC3\xA9 \xE2\x86\x92");
    EXPECT_EQ(LoadUiText(502, &w), "a");
    EXPECT_EQ(shared, "a");  // the next call overwrote it
    EXPECT_TRUE(w.Boxes().empty());
}

// What Windows editors and shells write, read as the same UTF-8 text.
TEST(TextFiles, EveryWindowsEncodingReadsAsUtf8) {
    struct Case {
        std::string bytes;
        std::string text;
    } cases[] = {
        {"Pw,1\r\n", "Pw,1\r\n"},
        {"\xEF\xBB\xBFJ\xC3\xBCrgen\r\n", "J\xC3\xBCrgen\r\n"},
        {test::Utf16File(u"J\u00fcrgen\r\n"), "J\xC3\xBCrgen\r\n"},
        {test::Utf16File(u"J\u00fcrgen\r\n", true), "J\xC3\xBCrgen\r\n"},
        {test::Utf16File(u"\u20ac\U0001F600"), "\xE2\x82\xAC\xF0\x9F\x98\x80"},
        {test::Utf16File(std::u16string{u'a', 0xD800, u'b'}), "a\uFFFDb"},  // a lone surrogate
        {test::Utf16File(u"a") + "\x62", "a"},                              // a stray odd byte
        {test::Utf16File(std::u16string_view(u"a\0b", 3)),
         std::string("a\0b", 3)},  // NULs are the reader's
        {"\xFF\xFE", ""},
        {"", ""},
        // Without a mark nothing is guessed: Latin-1 stays as it is.
        {"J\xFCrgen", "J\xFCrgen"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TextFileToUtf8(c.bytes), c.text) << testing::PrintToString(c.bytes);
}

TEST(UiText, MissingTextShowsTheMessageAndGivesEmpty) {
    FakeResources fake;
    ScopedResourceSource scope(fake);
    test::RecordingWindow w;
    EXPECT_EQ(LoadUiText(999, &w), "");
    auto boxes = w.Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Not found the upgrade file. ");
    EXPECT_EQ(boxes[0].caption, "Error");
    EXPECT_EQ(boxes[0].icon, MessageIcon::Stop);
}

TEST(ModelList, EmbeddedAndSplitting) {
    test::RecordingWindow w;
    auto list = LoadModelList(&w);
    EXPECT_EQ(list.names, (std::vector<std::string>{"VCQ-R20", "VCQ-R20N", "VCQ-R20P"}));
    EXPECT_STREQ(list.Primary(), "VCQ-R20");
    auto raw = EmbeddedResources().FindBin(kResModelList);
    ASSERT_TRUE(raw.has_value());
    std::string expected("VCQ-R20\r\nVCQ-R20N\r\nVCQ-R20P\0", 28);
    EXPECT_EQ(std::string(raw->begin(), raw->end()), expected);

    auto split = [](const std::string& s) {
        return SplitModelList(std::span(reinterpret_cast<const uint8_t*>(s.data()), s.size()))
            .names;
    };
    std::vector<std::string> three = {"A", "B", "C"};
    EXPECT_EQ(split("A\r\nB\r\nC"), three);      // no NUL, no final CR LF
    EXPECT_EQ(split("A\r\nB\r\nC\r\n"), three);  // final CR LF
    EXPECT_EQ(split(std::string("A\r\nB\r\nC\0D", 9)), three);
    EXPECT_EQ(split("1\r\n2\r\n3\r\n4\r\n5\r\n6\r\n7\r\n8\r\n9\r\n10\r\n11").size(), 10u);
    EXPECT_TRUE(split("").empty());
    EXPECT_EQ(LoadPackageLabels(), std::vector<std::string>(5, " "));
}

TEST(ModelList, MissingResourcesShowCannotFind) {
    FakeResources fake;
    fake.data[138] = Utf16(u"Cannot find the upgrade file.");
    fake.data[139] = Utf16(u"Error");
    ScopedResourceSource scope(fake);
    test::RecordingWindow w;
    EXPECT_TRUE(LoadModelList(&w).names.empty());
    EXPECT_TRUE(LoadPackage(&w).empty());
    auto boxes = w.Boxes();
    ASSERT_EQ(boxes.size(), 2u);
    for (const auto& b : boxes) {
        EXPECT_EQ(b.text, "Cannot find the upgrade file.");
        EXPECT_EQ(b.caption, "Error");
        EXPECT_EQ(b.icon, MessageIcon::Stop);
    }
}

TEST(EmbeddedPackage, NinetyMembersAndAVersionedFirmwareImage) {
    auto package = LoadPackage(nullptr);
    ASSERT_FALSE(package.empty());
    test::ScratchDir dir;
    test::WriteBytes(dir.Path() / "p.lzh", package);
    LhaExtractor x;
    x.createFolders = 1;
    int members = 0;
    test::fs::create_directory(dir.Path() / "out");
    ASSERT_EQ(x.Extract((dir.Path() / "p.lzh").string(), (dir.Path() / "out").string(), members),
              1);
    EXPECT_EQ(members, 90);
    EXPECT_TRUE(x.AllWritten());
    auto image = test::ReadBytes(dir.Path() / "out/system/vcqr20.img");
    EXPECT_EQ(ReadFirmwareImageVersion(image), PackageVersion());
    image.back() ^= 1;
    EXPECT_FALSE(ReadFirmwareImageVersion(image).has_value());
    image.resize(40);
    EXPECT_FALSE(ReadFirmwareImageVersion(image).has_value());
    EXPECT_FALSE(ReadFirmwareImageVersion(std::vector<uint8_t>(10, 0)).has_value());
}

}  // namespace
}  // namespace vcq
