#include "targets/camera_list_parser.h"

#include <algorithm>
#include <cstring>

#include "package/resources.h"
#include "package/text_decoding.h"
#include "platform/files.h"
#include "platform/window_port.h"

namespace vcq {
namespace {

constexpr int kTextMixedSeparators = 305;
constexpr int kTextInvalidCharacter = 306;
constexpr int kTextWrongLine = 307;
// The character pass looks at this many lines; the line pass stops at as
// many entries.
constexpr size_t kCheckedLines = 256;
constexpr size_t kMaxLineLength = 256;
constexpr size_t kMaxPortDigits = 5;

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Decimal digits at `at`, saturated above `limit`; nothing without a digit.
std::optional<uint32_t> ReadNumber(std::string_view text, size_t& at, uint32_t limit) {
    size_t start = at;
    uint32_t value = 0;
    for (; at < text.size() && IsDigit(text[at]); ++at) {
        value = value * 10 + static_cast<uint32_t>(text[at] - '0');
        if (value > limit)
            value = limit + 1;
    }
    if (at == start)
        return std::nullopt;
    return value;
}

}  // namespace

std::optional<CameraAddress> ReadCameraLine(std::string_view line, char separator) {
    if (line.size() > kMaxLineLength)
        return std::nullopt;
    CameraAddress entry;
    size_t at = 0;
    for (size_t n = 0; n < 4; ++n) {
        if (n > 0) {
            if (at >= line.size() || line[at] != '.')
                return std::nullopt;  // fewer than four numbers
            ++at;
        }
        auto number = ReadNumber(line, at, 255);
        if (!number || *number > 255)
            return std::nullopt;
        entry.ip[n] = static_cast<uint8_t>(*number);
    }
    if (at == line.size())
        return entry;
    if (line[at] != separator)
        return std::nullopt;
    std::string_view portText = line.substr(at + 1);
    if (portText.empty())
        return entry;
    // Every character a digit, and no more than five of them: a longer port
    // is never cut to a different one.
    if (portText.size() > kMaxPortDigits)
        return std::nullopt;
    size_t p = 0;
    auto port = ReadNumber(portText, p, 65535);
    if (!port || p != portText.size())
        return std::nullopt;
    if (*port != 80 && (*port < 1024 || *port > 65535))
        return std::nullopt;
    entry.port = static_cast<int32_t>(*port);
    return entry;
}

bool CameraListParser::ReadFile(const std::string& path) {
    std::FILE* in = files::OpenFile(path, "rb");
    if (!in) {
        entries_.clear();
        failure_ = ImportFailure::Unreadable;
        return false;
    }
    bool ok = ReadStream(in);
    std::fclose(in);
    return ok;
}

bool CameraListParser::ReadStream(std::FILE* in) {
    std::string bytes;
    char chunk[4096];
    while (size_t got = std::fread(chunk, 1, sizeof chunk, in))
        bytes.append(chunk, got);
    text_.clear();
    entries_.clear();
    if (std::ferror(in)) {
        failure_ = ImportFailure::Unreadable;
        return false;
    }
    // Decoded first: UTF-16 text is full of NULs. It ends at the first NUL.
    text_ = TextFileToUtf8(bytes);
    text_.resize(std::min(text_.size(), text_.find('\0')));
    return Parse();
}

bool CameraListParser::ReadText(std::string_view text) {
    entries_.clear();
    if (text.empty()) {
        failure_ = ImportFailure::Unreadable;
        return false;
    }
    text_.assign(text.substr(0, text.find('\0')));
    return Parse();
}

bool CameraListParser::Parse() {
    entries_.clear();
    failure_ = ImportFailure::None;
    failedLine_ = failedTextLine_ = 0;
    failedText_.clear();
    const std::vector<Line> lines = SplitLines();
    return Check(lines) && Extract(lines);
}

std::optional<CameraAddress> CameraListParser::Entry(size_t k) const {
    if (k >= entries_.size())
        return std::nullopt;
    return entries_[k];
}

void CameraListParser::Tell(int textId, const std::string& detail, bool question) {
    if (!owner_)
        return;
    std::string text = LoadUiText(textId, owner_);
    // "Invalid format." has no place for the line: it goes below.
    if (size_t at = text.find("%s"); at != std::string::npos)
        text.replace(at, 2, detail);
    else if (!detail.empty())
        text += "\r\n" + detail;
    const std::string caption = LoadUiText(kTextInformationCaption, owner_);
    owner_->MessageBox(text, caption, question ? MessageIcon::Question : MessageIcon::Information,
                       MessageButtons::Ok);
}

std::vector<CameraListParser::Line> CameraListParser::SplitLines() const {
    std::vector<Line> lines;
    int numbered = 0;
    bool headerPossible = true;
    for (size_t at = 0; at < text_.size();) {
        size_t end = text_.find_first_of("\r\n", at);
        if (end == std::string::npos)
            end = text_.size();
        Line line{std::string_view(text_.data() + at, end - at), 0,
                  static_cast<int>(lines.size()) + 1, false};
        at = end;
        // A CR alone ends its line too; CR LF is one line end.
        if (at < text_.size())
            at += text_[at] == '\r' && at + 1 < text_.size() && text_[at + 1] == '\n' ? 2 : 1;
        if (!line.text.empty()) {
            line.number = ++numbered;
            if (line.text[0] == '#') {
                line.skipped = true;
            } else {
                line.skipped = headerPossible && NamesColumns(line.text);
                headerPossible = false;
            }
        }
        lines.push_back(line);
    }
    return lines;
}

// A first line such as "address,port": letters and no address.
bool CameraListParser::NamesColumns(std::string_view line) {
    bool letter = false;
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        letter = letter || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
        if (c == '.' && i > 0 && i + 1 < line.size() && IsDigit(line[i - 1]) &&
            IsDigit(line[i + 1]))
            return false;
    }
    return letter;
}

void CameraListParser::Refuse(ImportFailure failure, int textId, const Line& line) {
    char number[16];
    std::snprintf(number, sizeof number, "Line%03d:>", line.number);
    entries_.clear();
    failure_ = failure;
    failedLine_ = line.number;
    failedTextLine_ = line.textLine;
    failedText_ = std::string(line.text.substr(0, kMaxLineLength));
    Tell(textId, number + failedText_, failure == ImportFailure::WrongLine);
}

bool CameraListParser::Check(const std::vector<Line>& lines) {
    const Line* firstMixed = nullptr;
    char kindSeen = 0;
    for (size_t n = 0; n < lines.size() && n < kCheckedLines; ++n) {
        const Line& line = lines[n];
        if (line.skipped)
            continue;
        for (char c : line.text) {
            if (IsDigit(c) || c == '.')
                continue;
            if (c != '\t' && c != ':' && c != ',') {
                Refuse(ImportFailure::InvalidCharacter, kTextInvalidCharacter, line);
                return false;
            }
            if (!kindSeen)
                kindSeen = c;
            else if (c != kindSeen && !firstMixed)
                firstMixed = &line;
        }
    }
    // Every character is looked at before a mix of separators is reported.
    if (firstMixed) {
        Refuse(ImportFailure::MixedSeparators, kTextMixedSeparators, *firstMixed);
        return false;
    }
    separator_ = kindSeen ? kindSeen : ',';
    return true;
}

bool CameraListParser::Extract(const std::vector<Line>& lines) {
    for (const Line& line : lines) {
        if (entries_.size() >= kMaxImportEntries)
            break;
        if (line.text.empty() || line.skipped)
            continue;
        auto entry = ReadCameraLine(line.text, separator_);
        if (!entry) {
            Refuse(ImportFailure::WrongLine, kTextWrongLine, line);
            return false;
        }
        entries_.push_back(*entry);
    }
    return true;
}

}  // namespace vcq
