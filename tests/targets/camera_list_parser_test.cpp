// The camera list import: the character pass, the line pass and what the
// operator is told.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "recording_window.h"
#include "targets/camera_list_parser.h"
#include "utf16_text.h"

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
    struct Case {
        const char* text;
        ImportFailure failure;
        const char* shown;  // the first wrong line, after "Invalid format."
    };
    const Case cases[] = {
        {"10.0.0.1 8080", ImportFailure::InvalidCharacter, "Line001:>10.0.0.1 8080"},
        {"\"10.0.0.1\"", ImportFailure::InvalidCharacter, "Line001:>\"10.0.0.1\""},
        {"10.0.0.1,-80", ImportFailure::InvalidCharacter, "Line001:>10.0.0.1,-80"},
        // Blank lines do not count, comments and column names do.
        {"# site A\n\n10.0.0.1\n10.0.0.2;8080\n", ImportFailure::InvalidCharacter,
         "Line003:>10.0.0.2;8080"},
        {"address,port\n10.0.0.1\n10.0.0.2 \n", ImportFailure::InvalidCharacter,
         "Line003:>10.0.0.2 "},
        // Column names come first or not at all; an address makes a line no header.
        {"10.0.0.1\naddress\n", ImportFailure::InvalidCharacter, "Line002:>address"},
        {"camera 10.0.0.1\n", ImportFailure::InvalidCharacter, "Line001:>camera 10.0.0.1"},
        // The wrong address on line 1 is never reached: the separators differ.
        {"10.0.0.300,80\n10.0.0.2:8080\n", ImportFailure::MixedSeparators,
         "Line002:>10.0.0.2:8080"},
        {"1.2.3.4\t80\n1.2.3.5,80", ImportFailure::MixedSeparators, "Line002:>1.2.3.5,80"},
        // Any wrong character wins over a mix found before it.
        {"1.2.3.4:80\n1.2.3.5\t80\n10.0.0.300\nx", ImportFailure::InvalidCharacter, "Line004:>x"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        Import import(c.text);
        EXPECT_FALSE(import.ok);
        EXPECT_EQ(import.parser.Failure(), c.failure);
        EXPECT_EQ(import.parser.EntryCount(), 0u);
        EXPECT_EQ(import.window.BoxTexts(),
                  std::vector<std::string>{std::string("Invalid format.\r\n") + c.shown});
        EXPECT_EQ(import.window.Boxes()[0].icon, MessageIcon::Information);
    }
}

TEST(CameraListImport, CommentsAndColumnNamesAreSkipped) {
    struct Case {
        const char* text;
        std::vector<CameraAddress> entries;
    };
    const Case cases[] = {
        {"address,port\r\n10.0.0.1,8080\r\n# spare\r\n10.0.0.2\r\n",
         {At(10, 0, 0, 1, 8080), At(10, 0, 0, 2)}},
        {"# exported\n\nIP\tPort\n10.0.0.3\t1024\n", {At(10, 0, 0, 3, 1024)}},
        {"#10.0.0.9\n10.0.0.4:80\n#\n", {At(10, 0, 0, 4)}},
        {"Cameras\n", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        Import import(c.text);
        EXPECT_TRUE(import.ok);
        EXPECT_EQ(import.Entries(), c.entries);
        EXPECT_TRUE(import.window.Boxes().empty());
    }
    // A wrong line keeps its number among the lines the operator sees.
    Import wrong("address\n# one\n10.0.0.300\n");
    EXPECT_EQ(wrong.window.BoxTexts(),
              std::vector<std::string>{"Invalid address or port number.\r\nLine003:>10.0.0.300"});
    EXPECT_EQ(wrong.parser.FailedLineNumber(), 3);
    EXPECT_EQ(wrong.parser.FailedLineText(), "10.0.0.300");
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

// As Windows editors and shells save them.
TEST(CameraListImport, ReadsFilesOfEveryEncoding) {
    const std::u16string list = u"10.0.0.7:8080\r\n10.0.0.8\r\n";
    const std::string cases[] = {
        "10.0.0.7:8080\r\n10.0.0.8\r\n",
        "\xEF\xBB\xBF"
        "10.0.0.7:8080\r\n10.0.0.8\r\n",
        test::Utf16File(list),
        test::Utf16File(list, true),
        test::Utf16File(list + char16_t(0) + u"10.0.0.9"),  // up to the NUL
    };
    for (const std::string& bytes : cases) {
        char path[] = "/tmp/vcq-cameras-XXXXXX";
        int fd = ::mkstemp(path);
        ASSERT_GE(fd, 0);
        std::FILE* out = ::fdopen(fd, "wb");
        std::fwrite(bytes.data(), 1, bytes.size(), out);
        std::fclose(out);
        RecordingWindow window;
        CameraListParser parser(&window);
        EXPECT_TRUE(parser.ReadFile(path)) << testing::PrintToString(bytes);
        std::remove(path);
        EXPECT_EQ(parser.Entries(), (std::vector{At(10, 0, 0, 7, 8080), At(10, 0, 0, 8)}));
    }
}

}  // namespace
}  // namespace vcq
