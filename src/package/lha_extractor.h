// Unpacks an LHA archive (level-2 headers, -lh0- and -lh5- members) into a
// folder. One object per extraction.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "package/lh5_decoder.h"
#include "package/lha_header.h"

namespace vcq {

class WindowPort;

enum class MemberOutcome {
    Written,         // file written, CRC good
    UnknownMethod,   // not -lh0- or -lh5- (folder entries too): skipped
    UnsafeName,      // would land outside the output folder: skipped
    HeaderTooLarge,  // skipped
    NameTooLong,     // skipped
    BadHeader,       // broken extended headers: skipped
    FolderFailed,    // a folder could not be created: skipped
    CreateFailed,    // the output file could not be created: skipped
    TooLarge,        // original size above maxMemberSize: skipped
    CrcMismatch,     // written, then deleted
    BadData,         // broken compressed stream: file deleted
    Truncated,       // archive ended inside the member: file deleted
    WriteFailed,     // disk full or similar: file deleted
};

const char* ToString(MemberOutcome outcome);

struct MemberResult {
    std::string name;  // as stored, folders joined with '/'
    MemberOutcome outcome;
};

class LhaExtractor {
  public:
    // `messageOwner` receives the failure message box; null shows none.
    explicit LhaExtractor(WindowPort* messageOwner = nullptr);
    ~LhaExtractor();
    LhaExtractor(const LhaExtractor&) = delete;
    LhaExtractor& operator=(const LhaExtractor&) = delete;

    // 1 makes the members' folders below the output folder.
    int createFolders = 0;
    // Members announcing more bytes than this are skipped.
    uint32_t maxMemberSize = UINT32_MAX;

    // Extracts every member of archivePath into outputFolder. memberCount
    // receives the number of member headers read, skipped ones included.
    // Returns 1 when the archive could be opened, 0 when not.
    int Extract(const std::string& archivePath, const std::string& outputFolder, int& memberCount);

    const std::vector<MemberResult>& Members() const { return members_; }
    // Every member written with a good CRC and the archive read to its end.
    bool AllWritten() const;
    // Some member's data was bad (CRC, stream, truncation): the unpacked
    // tree is incomplete and must not be used.
    bool Damaged() const;
    bool ArchiveTruncated() const { return truncated_; }

  private:
    enum class HeaderStatus { Member, End, Truncated };
    HeaderStatus ReadHeader(LhaHeader& h);
    MemberOutcome ExtractMember(const LhaHeader& h);
    MemberOutcome CopyData(const LhaHeader& h, std::FILE* out);
    void SkipData();
    size_t ReadData(uint8_t* buf, size_t max);

    WindowPort* messageOwner_;
    std::FILE* archive_ = nullptr;
    long archiveSize_ = 0;
    std::string outputFolder_;
    uint32_t compressedLeft_ = 0;
    bool inputShort_ = false;
    bool truncated_ = false;
    std::vector<MemberResult> members_;
    uint8_t header_[kLhaHeaderBuffer];
    uint8_t chunk_[Lh5Decoder::kDictSize];
    std::unique_ptr<Lh5Decoder> decoder_;
};

}  // namespace vcq
