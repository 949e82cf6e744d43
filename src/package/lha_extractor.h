// Unpacks an LHA archive (level-2 headers, -lh0- and -lh5- members) into a
// folder, or into any MemberSink. One object per extraction.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "package/lh5_decoder.h"
#include "package/lha_header.h"
#include "package/member_sink.h"
#include "package/write_behind.h"

namespace vcq {

class WindowPort;
class ArchiveReader;  // the archive, from a file or from memory

enum class MemberOutcome {
    Written,         // file written, CRC good
    Folder,          // a folder entry (-lhd-), its folder made
    UnknownMethod,   // not -lh0- or -lh5- (nor a folder entry made): skipped
    UnsafeName,      // would land outside the output folder: skipped
    WindowsName,     // a name Windows cannot hold (see WindowsCanHold): skipped
    CaseClash,       // differs from an earlier member only in letter case: skipped
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
    // 1 makes the folders that folder entries ("-lhd-") name, empty ones
    // too, when createFolders is 1; 0 skips them like unknown methods.
    int folderEntries = 0;
    // Members announcing more bytes than this are skipped.
    uint32_t maxMemberSize = UINT32_MAX;

    // Extracts every member of archivePath into outputFolder. memberCount
    // receives the number of member headers read, skipped ones included.
    // Returns 1 when the archive could be opened, 0 when not.
    int Extract(const std::string& archivePath, const std::string& outputFolder, int& memberCount);
    int Extract(const std::string& archivePath, MemberSink& sink, int& memberCount);
    // An archive in memory always opens.
    int Extract(std::span<const uint8_t> archive, MemberSink& sink, int& memberCount);

    const std::vector<MemberResult>& Members() const { return members_; }
    // Every member written with a good CRC (or its folder made) and the
    // archive read to its end.
    bool AllWritten() const;
    // Some member's data was bad (CRC, stream, truncation): the unpacked
    // tree is incomplete and must not be used.
    bool Damaged() const;
    bool ArchiveTruncated() const { return truncated_; }

  private:
    enum class HeaderStatus { Member, End, Truncated };
    int Run(ArchiveReader& archive, MemberSink& sink, int& memberCount);
    HeaderStatus ReadHeader(LhaHeader& h);
    MemberOutcome ExtractMember(const LhaHeader& h);
    MemberOutcome MakeFolderEntry(const LhaHeader& h);
    // WindowsName, CaseClash or Written when the path may be used.
    MemberOutcome CheckPortable(const std::vector<std::string>& parts) const;
    void Remember(const std::string& path);
    MemberOutcome CopyData(const LhaHeader& h);
    void SkipData();
    size_t ReadData(uint8_t* buf, size_t max);

    WindowPort* messageOwner_;
    ArchiveReader* archive_ = nullptr;
    MemberSink* sink_ = nullptr;
    uint32_t compressedLeft_ = 0;
    bool inputShort_ = false;
    bool truncated_ = false;
    std::vector<MemberResult> members_;
    // Paths made so far, by their lower-case form: on Windows two spellings
    // of one path are one file.
    std::map<std::string, std::string> spellings_;
    uint8_t header_[kLhaHeaderBuffer];
    uint8_t chunk_[Lh5Decoder::kDictSize];
    std::unique_ptr<Lh5Decoder> decoder_;
    std::unique_ptr<WriteBehind> writeBehind_;  // made for the first large member
};

}  // namespace vcq
