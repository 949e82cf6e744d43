// The camera list import: the character pass, the line pass and what the
// operator is told.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "recording_window.h"
#include "targets/camera_list_parser.h"

namespace vcq {
namespace {

using test::RecordingWindow;

struct Import {
    RecordingWindow window;
    CameraListParser parser{&window};
    bool ok = false;

    explicit Import(std::string_view text) { ok = parser.ReadText(text); }
    std::vector<CameraAddress> Entries() const { return parser.Entries(); }
};

CameraAddress At(uint8_t a, uint8_t b, uint8_t c, uint8_t d, int32_t port = 80) {
    return CameraAddress{{a, b, c, d}, port};
}

TEST(CameraListImport, EmptySourcesImportNothingWithoutAMessage) {
    Import clipboard("");
    EXPECT_FALSE(clipboard.ok);
    EXPECT_TRUE(clipboard.window.Boxes().empty());

    std::FILE* empty = std::tmpfile();
    ASSERT_NE(empty, nullptr);
    RecordingWindow window;
    CameraListParser parser(&window);
    EXPECT_TRUE(parser.ReadStream(empty));
    std::fclose(empty);
    EXPECT_EQ(parser.EntryCount(), 0u);
    EXPECT_TRUE(window.Boxes().empty());

    EXPECT_FALSE(parser.ReadFile("/nonexistent/cameras.csv"));
    EXPECT_EQ(parser.Failure(), ImportFailure::Unreadable);
    EXPECT_TRUE(window.Boxes().empty());
}

TEST(CameraListImport, PortsOfEachSeparator) {
    Import commas("10.0.0.1\r\n10.0.0.2,8080\r\n10.0.0.3,\r\n10.0.0.4,80\r\n10.0.0.5,65535\r\n");
    ASSERT_TRUE(commas.ok);
    EXPECT_EQ(commas.Entries(),
              (std::vector{At(10, 0, 0, 1), At(10, 0, 0, 2, 8080), At(10, 0, 0, 3), At(10, 0, 0, 4),
                           At(10, 0, 0, 5, 65535)}));

    Import colons("192.168.1.20:1024\n0.0.0.0\n255.255.255.255:\n");
    ASSERT_TRUE(colons.ok);
    EXPECT_EQ(colons.Entries(),
              (std::vector{At(192, 168, 1, 20, 1024), At(0, 0, 0, 0), At(255, 255, 255, 255)}));

    Import tabs("10.1.2.3\t8081\n010.001.002.003\n");
    ASSERT_TRUE(tabs.ok);
    EXPECT_EQ(tabs.Entries(), (std::vector{At(10, 1, 2, 3, 8081), At(10, 1, 2, 3)}));
    EXPECT_TRUE(tabs.window.Boxes().empty());
}

TEST(CameraListImport, WrongLinesAreNamedAndNothingIsDelivered) {
    struct Case {
        const char* text;
        const char* shown;
    };
    const Case cases[] = {
        {"10.0.0.1,0", "Line001:>10.0.0.1,0"},
        {"10.0.0.1,1023", "Line001:>10.0.0.1,1023"},
        {"10.0.0.1,65536", "Line001:>10.0.0.1,65536"},
        {"10.0.0.1,00000", "Line001:>10.0.0.1,00000"},
        {"10.0.0.256", "Line001:>10.0.0.256"},
        {"99999999999.0.0.1", "Line001:>99999999999.0.0.1"},
        // A port is never cut to a different one.
        {"10.0.0.1,123456", "Line001:>10.0.0.1,123456"},
        // Fewer than four numbers, or more.
        {"10.0.0", "Line001:>10.0.0"},
        {"10..0.1", "Line001:>10..0.1"},
        {"1.2.3.4.5", "Line001:>1.2.3.4.5"},
        {"10.0.0.1,80,90", "Line001:>10.0.0.1,80,90"},
        {",8080", "Line001:>,8080"},
        // Blank lines do not count; every good line before does.
        {"\n10.0.0.1\n\n10.0.0.2\r\n\r\n10.0.0.300\n10.0.0.4\n", "Line003:>10.0.0.300"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        Import import(c.text);
        EXPECT_FALSE(import.ok);
        EXPECT_EQ(import.parser.Failure(), ImportFailure::WrongLine);
        EXPECT_EQ(import.parser.EntryCount(), 0u);
        auto boxes = import.window.Boxes();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, std::string("Invalid address or port number.\r\n") + c.shown);
        EXPECT_EQ(boxes[0].caption, "Information");
        EXPECT_EQ(boxes[0].icon, MessageIcon::Question);
        EXPECT_EQ(boxes[0].buttons, MessageButtons::Ok);
    }
}

TEST(CameraListImport, CharactersAreCheckedBeforeAnyLineIsRead) {
    for (const char* text : {"10.0.0.1 8080", "# cameras\n10.0.0.1", "\"10.0.0.1\"", "10.0.0.1,-80",
                             "host\n", "10.0.0.300\nx"}) {
        SCOPED_TRACE(text);
        Import import(text);
        EXPECT_FALSE(import.ok);
        EXPECT_EQ(import.parser.Failure(), ImportFailure::InvalidCharacter);
        EXPECT_EQ(import.window.BoxTexts(), std::vector<std::string>{"Invalid format."});
        EXPECT_EQ(import.window.Boxes()[0].icon, MessageIcon::Information);
    }
    // The wrong address on line 1 is never reached: the separators differ.
    for (const char* text : {"10.0.0.300,80\n10.0.0.2:8080\n", "1.2.3.4\t80\n1.2.3.5,80",
                             "1.2.3.4:80\n1.2.3.5\t80\n"}) {
        SCOPED_TRACE(text);
        Import import(text);
        EXPECT_FALSE(import.ok);
        EXPECT_EQ(import.parser.Failure(), ImportFailure::MixedSeparators);
        EXPECT_EQ(import.window.BoxTexts(), std::vector<std::string>{"Invalid format."});
        EXPECT_EQ(import.parser.EntryCount(), 0u);
    }
}

TEST(CameraListImport, LineEndsOfEveryKind) {
    // CR alone ends a line without losing the next line's first character.
    Import cr("10.0.0.1\r10.0.0.2,8080\r\r10.0.0.3\r");
    ASSERT_TRUE(cr.ok);
    EXPECT_EQ(cr.Entries(), (std::vector{At(10, 0, 0, 1), At(10, 0, 0, 2, 8080), At(10, 0, 0, 3)}));

    Import mixed("10.0.0.1\r\n10.0.0.2\n10.0.0.3\r10.0.0.4");
    ASSERT_TRUE(mixed.ok);
    EXPECT_EQ(mixed.parser.EntryCount(), 4u);

    // The text ends at its first NUL.
    Import nul(std::string_view("10.0.0.1\n10.0.0.2\0garbage\n", 26));
    ASSERT_TRUE(nul.ok);
    EXPECT_EQ(nul.Entries(), (std::vector{At(10, 0, 0, 1), At(10, 0, 0, 2)}));
}

TEST(CameraListImport, AtMost256Entries) {
    std::string text;
    for (int i = 0; i < 300; ++i)
        text += "10.0." + std::to_string(i / 256) + "." + std::to_string(i % 256) + ",8080\r\n";
    Import import(text);
    ASSERT_TRUE(import.ok);
    ASSERT_EQ(import.parser.EntryCount(), kMaxImportEntries);
    EXPECT_EQ(*import.parser.Entry(255), At(10, 0, 0, 255, 8080));
    EXPECT_FALSE(import.parser.Entry(256).has_value());

    // Lines beyond those the character pass looks at are still read strictly.
    std::string late(300, '\n');
    late += "10.0.0.1,80\n10.0.0.2:8080\nabc\n";
    Import unchecked(late);
    EXPECT_FALSE(unchecked.ok);
    EXPECT_EQ(
        unchecked.window.BoxTexts(),
        std::vector<std::string>{"Invalid address or port number.\r\nLine002:>10.0.0.2:8080"});
}

TEST(CameraListImport, ReadsFiles) {
    char path[] = "/tmp/vcq-cameras-XXXXXX";
    int fd = ::mkstemp(path);
    ASSERT_GE(fd, 0);
    std::FILE* out = ::fdopen(fd, "wb");
    std::fputs("10.0.0.7:8080\r\n10.0.0.8\r\n", out);
    std::fclose(out);
    RecordingWindow window;
    CameraListParser parser(&window);
    EXPECT_TRUE(parser.ReadFile(path));
    std::remove(path);
    EXPECT_EQ(parser.Entries(), (std::vector{At(10, 0, 0, 7, 8080), At(10, 0, 0, 8)}));
}

}  // namespace
}  // namespace vcq
