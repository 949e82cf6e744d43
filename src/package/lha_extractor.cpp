#include "package/lha_extractor.h"

#include <algorithm>

#include "package/crc16.h"
#include "platform/files.h"
#include "platform/window_port.h"

namespace vcq {

const char* ToString(MemberOutcome outcome) {
    switch (outcome) {
        case MemberOutcome::Written:
            return "written";
        case MemberOutcome::UnknownMethod:
            return "skipped: unknown method";
        case MemberOutcome::UnsafeName:
            return "refused: path outside the output folder";
        case MemberOutcome::HeaderTooLarge:
            return "refused: header too large";
        case MemberOutcome::NameTooLong:
            return "refused: name too long";
        case MemberOutcome::BadHeader:
            return "refused: broken header";
        case MemberOutcome::FolderFailed:
            return "skipped: cannot create folder";
        case MemberOutcome::CreateFailed:
            return "skipped: cannot create file";
        case MemberOutcome::TooLarge:
            return "refused: too large";
        case MemberOutcome::CrcMismatch:
            return "deleted: CRC mismatch";
        case MemberOutcome::BadData:
            return "deleted: broken compressed data";
        case MemberOutcome::Truncated:
            return "deleted: archive truncated";
        case MemberOutcome::WriteFailed:
            return "deleted: write failed";
    }
    return "?";
}

LhaExtractor::LhaExtractor(WindowPort* messageOwner)
    : messageOwner_(messageOwner), decoder_(std::make_unique<Lh5Decoder>()) {}

LhaExtractor::~LhaExtractor() {
    if (archive_)
        std::fclose(archive_);
}

bool LhaExtractor::AllWritten() const {
    if (truncated_)
        return false;
    return std::all_of(members_.begin(), members_.end(),
                       [](const MemberResult& m) { return m.outcome == MemberOutcome::Written; });
}

bool LhaExtractor::Damaged() const {
    if (truncated_)
        return true;
    return std::any_of(members_.begin(), members_.end(), [](const MemberResult& m) {
        return m.outcome >= MemberOutcome::CrcMismatch;
    });
}

int LhaExtractor::Extract(const std::string& archivePath, const std::string& outputFolder,
                          int& memberCount) {
    memberCount = 0;
    members_.clear();
    truncated_ = false;
    archive_ = std::fopen(archivePath.c_str(), "rb");
    if (!archive_) {
        if (messageOwner_)
            messageOwner_->MessageBox(archivePath, "DEBUG", MessageIcon::Stop, MessageButtons::Ok);
        return 0;
    }
    std::fseek(archive_, 0, SEEK_END);
    archiveSize_ = std::ftell(archive_);
    std::fseek(archive_, 0, SEEK_SET);
    outputFolder_ = outputFolder;
    if (!outputFolder_.empty() && outputFolder_.back() != files::kPathSeparator)
        outputFolder_ += files::kPathSeparator;

    LhaHeader h;
    for (;;) {
        HeaderStatus status = ReadHeader(h);
        if (status == HeaderStatus::Truncated)
            truncated_ = true;
        if (status != HeaderStatus::Member)
            break;
        std::string name = h.dirName + h.fileName;
        std::replace(name.begin(), name.end(), '\xFF', '/');
        members_.push_back({name, ExtractMember(h)});
        ++memberCount;
    }
    std::fclose(archive_);
    archive_ = nullptr;
    return 1;
}

LhaExtractor::HeaderStatus LhaExtractor::ReadHeader(LhaHeader& h) {
    int b0 = std::fgetc(archive_);
    if (b0 == EOF)
        return HeaderStatus::End;
    int b1 = std::fgetc(archive_);
    if (b1 == EOF)
        return b0 == 0 ? HeaderStatus::End : HeaderStatus::Truncated;
    unsigned total = static_cast<unsigned>(b1 * 256 + b0);
    if (total == 0 || total == 2)
        return HeaderStatus::End;
    // Without its fixed fields there is no telling where the next header is.
    if (total < 24)
        return HeaderStatus::Truncated;
    size_t rest = total - 2;
    size_t keep = std::min(rest, sizeof header_);
    if (std::fread(header_, 1, keep, archive_) != keep)
        return HeaderStatus::Truncated;
    if (keep < rest) {
        // Too large to hold: keep the fixed fields, step over the rest.
        if (std::fseek(archive_, static_cast<long>(rest - keep), SEEK_CUR) != 0 ||
            std::ftell(archive_) > archiveSize_)
            return HeaderStatus::Truncated;
    }
    ParseLhaHeader(header_, rest, h);
    compressedLeft_ = h.compressedSize;
    return HeaderStatus::Member;
}

void LhaExtractor::SkipData() {
    if (compressedLeft_ == 0)
        return;
    if (std::fseek(archive_, static_cast<long>(compressedLeft_), SEEK_CUR) != 0 ||
        std::ftell(archive_) > archiveSize_)
        truncated_ = true;
    compressedLeft_ = 0;
}

size_t LhaExtractor::ReadData(uint8_t* buf, size_t max) {
    size_t want = std::min<size_t>(max, compressedLeft_);
    if (want == 0)
        return 0;
    size_t got = std::fread(buf, 1, want, archive_);
    compressedLeft_ -= static_cast<uint32_t>(got);
    if (got < want) {
        inputShort_ = true;
        compressedLeft_ = 0;
    }
    return got;
}

MemberOutcome LhaExtractor::ExtractMember(const LhaHeader& h) {
    auto skip = [this](MemberOutcome why) {
        SkipData();
        return why;
    };
    if (h.malformed)
        return skip(MemberOutcome::BadHeader);
    if (h.tooLarge)
        return skip(MemberOutcome::HeaderTooLarge);
    if (h.nameTooLong)
        return skip(MemberOutcome::NameTooLong);
    if (!IsStoredMethod(h) && !IsLh5Method(h))
        return skip(MemberOutcome::UnknownMethod);
    std::vector<std::string> parts;
    if (!SafeMemberPath(h, parts))
        return skip(MemberOutcome::UnsafeName);
    if (h.originalSize > maxMemberSize)
        return skip(MemberOutcome::TooLarge);

    std::string path = outputFolder_;
    if (createFolders == 1) {
        for (size_t i = 0; i + 1 < parts.size(); ++i) {
            path += parts[i];
            if (!files::FolderExists(path) && !files::CreateFolder(path))
                return skip(MemberOutcome::FolderFailed);
            path += files::kPathSeparator;
        }
    }
    path += parts.back();

    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (!out)
        return skip(MemberOutcome::CreateFailed);
    std::setvbuf(out, nullptr, _IONBF, 0);  // whole chunks go straight to the file
    MemberOutcome outcome = CopyData(h, out);
    if (std::fclose(out) != 0 && outcome == MemberOutcome::Written)
        outcome = MemberOutcome::WriteFailed;
    // Never leave bad data behind for the transfer to upload.
    if (outcome != MemberOutcome::Written)
        files::RemoveFile(path);
    SkipData();
    return outcome;
}

MemberOutcome LhaExtractor::CopyData(const LhaHeader& h, std::FILE* out) {
    inputShort_ = false;
    const bool lh5 = IsLh5Method(h);
    if (lh5)
        decoder_->Start([this](uint8_t* buf, size_t max) { return ReadData(buf, max); });
    uint16_t crc = 0;
    uint32_t originalLeft = h.originalSize;
    while (originalLeft != 0) {
        size_t n = std::min<size_t>(originalLeft, Lh5Decoder::kDictSize);
        const uint8_t* data;
        if (lh5) {
            bool ok = decoder_->Decode(n);
            if (inputShort_)
                return MemberOutcome::Truncated;
            if (!ok)
                return MemberOutcome::BadData;
            data = decoder_->Output();
        } else {
            if (ReadData(chunk_, n) != n)
                return MemberOutcome::Truncated;
            data = chunk_;
        }
        if (std::fwrite(data, 1, n, out) != n)
            return MemberOutcome::WriteFailed;
        crc = UpdateCrc16(crc, data, n);
        originalLeft -= static_cast<uint32_t>(n);
    }
    if (inputShort_)
        return MemberOutcome::Truncated;
    return crc == h.crc ? MemberOutcome::Written : MemberOutcome::CrcMismatch;
}

}  // namespace vcq
