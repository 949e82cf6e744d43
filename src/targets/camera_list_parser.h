// Camera lists from a text file, the clipboard or standard input: one camera
// per line, "a.b.c.d" optionally followed by one separator ("," ":" or TAB,
// the same kind throughout the text) and a port of 80 or 1024 to 65535.
// Lines beginning with "#" and a first line that names columns (letters, no
// address) are skipped. All or nothing: any fault shows the operator one
// message naming the first wrong line and no entry is delivered.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "targets/camera_row.h"

namespace vcq {

class WindowPort;

struct CameraAddress {
    Ipv4 ip{};
    int32_t port = 80;
    bool operator==(const CameraAddress&) const = default;
};

inline constexpr size_t kMaxImportEntries = 256;

enum class ImportFailure {
    None,
    Unreadable,        // no message
    InvalidCharacter,  // "Invalid format." (306)
    MixedSeparators,   // "Invalid format." (305)
    WrongLine,         // "Invalid address or port number." (307) with the line
};

class CameraListParser {
  public:
    // Messages go to `owner` (may be null), on its thread: the UI thread or
    // the headless tool's main thread.
    explicit CameraListParser(WindowPort* owner) : owner_(owner) {}

    // A file that cannot be opened fails without a message.
    bool ReadFile(const std::string& path);
    // Reads `in` to its end (standard input for the headless tool).
    bool ReadStream(std::FILE* in);
    // Text handed over whole, such as the clipboard's; none fails silently.
    bool ReadText(std::string_view text);
    // Both passes over the text read; entries only when both succeed.
    bool Parse();

    size_t EntryCount() const { return entries_.size(); }
    std::optional<CameraAddress> Entry(size_t k) const;
    const std::vector<CameraAddress>& Entries() const { return entries_; }
    ImportFailure Failure() const { return failure_; }
    // The refused line: its number (counting the non-empty lines from 1) and
    // its text; 0 and "" when no line was refused.
    int FailedLineNumber() const { return failedLine_; }
    // The refused line's number in the text itself, empty lines counted.
    int FailedTextLine() const { return failedTextLine_; }
    const std::string& FailedLineText() const { return failedText_; }

  private:
    struct Line {
        std::string_view text;  // without its end
        int number = 0;         // among the non-empty lines, from 1; 0 when empty
        int textLine = 0;       // among all lines, from 1
        bool skipped = false;   // a comment or the column names
    };
    std::vector<Line> SplitLines() const;
    static bool NamesColumns(std::string_view line);
    bool Check(const std::vector<Line>& lines);
    bool Extract(const std::vector<Line>& lines);
    void Refuse(ImportFailure failure, int textId, const Line& line);
    void Tell(int textId, const std::string& detail, bool question);

    WindowPort* owner_;
    std::string text_;  // up to the first NUL
    char separator_ = ',';
    std::vector<CameraAddress> entries_;
    ImportFailure failure_ = ImportFailure::None;
    int failedLine_ = 0;
    int failedTextLine_ = 0;
    std::string failedText_;
};

// Reads one non-empty line; nothing when it is a wrong line.
std::optional<CameraAddress> ReadCameraLine(std::string_view line, char separator);

}  // namespace vcq
