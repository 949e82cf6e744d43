#include "package/lha_extractor.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <system_error>

#include "package/crc16.h"
#include "platform/files.h"
#include "platform/window_port.h"

namespace vcq {

const char* ToString(MemberOutcome outcome) {
    switch (outcome) {
        case MemberOutcome::Written:
            return "written";
        case MemberOutcome::Folder:
            return "folder";
        case MemberOutcome::UnknownMethod:
            return "skipped: unknown method";
        case MemberOutcome::UnsafeName:
            return "refused: path outside the output folder";
        case MemberOutcome::WindowsName:
            return "refused: name Windows cannot hold";
        case MemberOutcome::CaseClash:
            return "refused: same path as an earlier member but for letter case";
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

class ArchiveReader {
  public:
    virtual ~ArchiveReader() = default;
    virtual size_t Read(uint8_t* buf, size_t n) = 0;
    // False when that goes past the end.
    virtual bool Skip(uint32_t n) = 0;
};

namespace {

class FileReader : public ArchiveReader {
  public:
    explicit FileReader(std::FILE* f) : f_(f), buffer_(kBufferSize) {
        // The decoder asks for 8 KiB at a time: fewer, larger reads. Some C
        // libraries take the size only with a buffer given.
        std::setvbuf(f_, buffer_.data(), _IOFBF, buffer_.size());
        std::fseek(f_, 0, SEEK_END);
        size_ = std::ftell(f_);
        std::fseek(f_, 0, SEEK_SET);
    }
    ~FileReader() override { std::fclose(f_); }
    FileReader(const FileReader&) = delete;
    FileReader& operator=(const FileReader&) = delete;
    size_t Read(uint8_t* buf, size_t n) override { return std::fread(buf, 1, n, f_); }
    bool Skip(uint32_t n) override {
        return std::fseek(f_, static_cast<long>(n), SEEK_CUR) == 0 && std::ftell(f_) <= size_;
    }

  private:
    static constexpr size_t kBufferSize = 64 * 1024;
    std::FILE* f_;
    std::vector<char> buffer_;  // outlives f_: closed in the destructor
    long size_ = 0;
};

class MemoryReader : public ArchiveReader {
  public:
    explicit MemoryReader(std::span<const uint8_t> data) : data_(data) {}
    size_t Read(uint8_t* buf, size_t n) override {
        n = std::min(n, data_.size() - pos_);
        if (n != 0)
            std::memcpy(buf, data_.data() + pos_, n);
        pos_ += n;
        return n;
    }
    bool Skip(uint32_t n) override {
        bool inside = n <= data_.size() - pos_;
        pos_ = inside ? pos_ + n : data_.size();
        return inside;
    }

  private:
    std::span<const uint8_t> data_;
    size_t pos_ = 0;
};

}  // namespace

LhaExtractor::LhaExtractor(WindowPort* messageOwner)
    : messageOwner_(messageOwner), decoder_(std::make_unique<Lh5Decoder>()) {}

LhaExtractor::~LhaExtractor() = default;

bool LhaExtractor::AllWritten() const {
    if (truncated_)
        return false;
    return std::all_of(members_.begin(), members_.end(), [](const MemberResult& m) {
        return m.outcome == MemberOutcome::Written || m.outcome == MemberOutcome::Folder;
    });
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
    FileSink sink(outputFolder);
    return Extract(archivePath, sink, memberCount);
}

int LhaExtractor::Extract(const std::string& archivePath, MemberSink& sink, int& memberCount) {
    memberCount = 0;
    members_.clear();
    truncated_ = false;
    std::FILE* f = files::OpenFile(archivePath, "rb");
    if (!f) {
        if (messageOwner_)
            messageOwner_->MessageBox(archivePath, "DEBUG", MessageIcon::Stop, MessageButtons::Ok);
        return 0;
    }
    FileReader archive(f);
    return Run(archive, sink, memberCount);
}

int LhaExtractor::Extract(std::span<const uint8_t> archive, MemberSink& sink, int& memberCount) {
    MemoryReader reader(archive);
    return Run(reader, sink, memberCount);
}

int LhaExtractor::Run(ArchiveReader& archive, MemberSink& sink, int& memberCount) {
    memberCount = 0;
    members_.clear();
    spellings_.clear();
    truncated_ = false;
    archive_ = &archive;
    sink_ = &sink;
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
    archive_ = nullptr;
    sink_ = nullptr;
    return 1;
}

LhaExtractor::HeaderStatus LhaExtractor::ReadHeader(LhaHeader& h) {
    uint8_t size[2];
    size_t got = archive_->Read(size, 2);
    if (got == 0)
        return HeaderStatus::End;
    if (got == 1)
        return size[0] == 0 ? HeaderStatus::End : HeaderStatus::Truncated;
    unsigned total = static_cast<unsigned>(size[1] * 256 + size[0]);
    if (total == 0 || total == 2)
        return HeaderStatus::End;
    // Without its fixed fields there is no telling where the next header is.
    if (total < 24)
        return HeaderStatus::Truncated;
    size_t rest = total - 2;
    size_t keep = std::min(rest, sizeof header_);
    if (archive_->Read(header_, keep) != keep)
        return HeaderStatus::Truncated;
    // Too large to hold: keep the fixed fields, step over the rest.
    if (keep < rest && !archive_->Skip(static_cast<uint32_t>(rest - keep)))
        return HeaderStatus::Truncated;
    ParseLhaHeader(header_, rest, h);
    compressedLeft_ = h.compressedSize;
    return HeaderStatus::Member;
}

void LhaExtractor::SkipData() {
    if (compressedLeft_ == 0)
        return;
    if (!archive_->Skip(compressedLeft_))
        truncated_ = true;
    compressedLeft_ = 0;
}

size_t LhaExtractor::ReadData(uint8_t* buf, size_t max) {
    size_t want = std::min<size_t>(max, compressedLeft_);
    if (want == 0)
        return 0;
    size_t got = archive_->Read(buf, want);
    compressedLeft_ -= static_cast<uint32_t>(got);
    if (got < want) {
        inputShort_ = true;
        compressedLeft_ = 0;
    }
    return got;
}

namespace {

std::string Join(const std::vector<std::string>& parts, size_t count) {
    std::string path;
    for (size_t i = 0; i < count; ++i)
        path += (i ? "/" : "") + parts[i];
    return path;
}

std::string LowerAscii(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    });
    return s;
}

}  // namespace

MemberOutcome LhaExtractor::CheckPortable(const std::vector<std::string>& parts) const {
    if (!std::all_of(parts.begin(), parts.end(), WindowsCanHold))
        return MemberOutcome::WindowsName;
    for (size_t i = 1; i <= parts.size(); ++i) {
        const std::string path = Join(parts, i);
        auto it = spellings_.find(LowerAscii(path));
        if (it != spellings_.end() && it->second != path)
            return MemberOutcome::CaseClash;
    }
    return MemberOutcome::Written;
}

void LhaExtractor::Remember(const std::string& path) {
    spellings_.emplace(LowerAscii(path), path);
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
    if (IsFolderEntry(h) && folderEntries == 1 && createFolders == 1)
        return skip(MakeFolderEntry(h));
    if (!IsStoredMethod(h) && !IsLh5Method(h))
        return skip(MemberOutcome::UnknownMethod);
    std::vector<std::string> parts;
    if (!SafeMemberPath(h, parts))
        return skip(MemberOutcome::UnsafeName);
    if (createFolders != 1)
        parts.erase(parts.begin(), parts.end() - 1);  // the file name alone
    if (MemberOutcome why = CheckPortable(parts); why != MemberOutcome::Written)
        return skip(why);
    if (h.originalSize > maxMemberSize)
        return skip(MemberOutcome::TooLarge);

    if (createFolders == 1) {
        for (size_t i = 1; i < parts.size(); ++i) {
            if (!sink_->MakeFolder(Join(parts, i)))
                return skip(MemberOutcome::FolderFailed);
            Remember(Join(parts, i));
        }
    }
    const std::string path = Join(parts, parts.size());
    if (!sink_->Open(path))
        return skip(MemberOutcome::CreateFailed);
    MemberOutcome outcome = CopyData(h);
    if (!sink_->Close() && outcome == MemberOutcome::Written)
        outcome = MemberOutcome::WriteFailed;
    // Never leave bad data behind for the transfer to upload.
    if (outcome != MemberOutcome::Written)
        sink_->Remove(path);
    else
        Remember(path);
    SkipData();
    return outcome;
}

MemberOutcome LhaExtractor::MakeFolderEntry(const LhaHeader& h) {
    std::vector<std::string> parts;
    if (!SafeFolderPath(h, parts))
        return MemberOutcome::UnsafeName;
    if (MemberOutcome why = CheckPortable(parts); why != MemberOutcome::Written)
        return why;
    for (size_t i = 1; i <= parts.size(); ++i) {
        if (!sink_->MakeFolder(Join(parts, i)))
            return MemberOutcome::FolderFailed;
        Remember(Join(parts, i));
    }
    return MemberOutcome::Folder;
}

MemberOutcome LhaExtractor::CopyData(const LhaHeader& h) {
    // Small members are written in place: a second thread would cost more
    // than it saves.
    constexpr uint32_t kWriteBehindFrom = 8 * Lh5Decoder::kDictSize;
    inputShort_ = false;
    const bool lh5 = IsLh5Method(h);
    WriteBehind* behind = nullptr;
    if (lh5) {
        decoder_->Start([this](uint8_t* buf, size_t max) { return ReadData(buf, max); });
        if (h.originalSize > kWriteBehindFrom && !writeBehind_) {
            // Without a thread to spare the member is written in place.
            try {
                writeBehind_ = std::make_unique<WriteBehind>();
            } catch (const std::system_error&) {
            }
        }
        if (h.originalSize > kWriteBehindFrom && writeBehind_) {
            behind = writeBehind_.get();
            behind->Begin(sink_, Lh5Decoder::kRingHeld);
        }
    }
    MemberOutcome outcome = MemberOutcome::Written;
    uint16_t crc = 0;
    uint32_t originalLeft = h.originalSize;
    while (originalLeft != 0) {
        size_t n = std::min<size_t>(originalLeft, Lh5Decoder::kDictSize);
        if (behind) {
            if (behind->Failed())
                break;
            // The chunk about to be decoded reuses ring bytes the writer
            // may still hold.
            behind->WaitRoom(n);
        }
        const uint8_t* data;
        if (lh5) {
            bool ok = decoder_->Decode(n);
            if (inputShort_) {
                outcome = MemberOutcome::Truncated;
                break;
            }
            if (!ok) {
                outcome = MemberOutcome::BadData;
                break;
            }
            data = decoder_->Output();
        } else {
            if (ReadData(chunk_, n) != n)
                return MemberOutcome::Truncated;
            data = chunk_;
        }
        if (behind) {
            behind->Push(data, n);
        } else {
            if (!sink_->Write(data, n))
                return MemberOutcome::WriteFailed;
            crc = UpdateCrc16(crc, data, n);
        }
        originalLeft -= static_cast<uint32_t>(n);
    }
    // A write that failed came before the chunk that stopped decoding.
    if (behind && !behind->Finish(crc))
        return MemberOutcome::WriteFailed;
    if (outcome != MemberOutcome::Written)
        return outcome;
    if (inputShort_)
        return MemberOutcome::Truncated;
    return crc == h.crc ? MemberOutcome::Written : MemberOutcome::CrcMismatch;
}

}  // namespace vcq
