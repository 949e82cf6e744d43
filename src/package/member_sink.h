// Where the LHA extractor puts what it unpacks. The extractor checks every
// path before a sink sees it: paths are relative, their components joined
// by '/', none of them empty, "." or "..".
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace vcq {

class MemberSink {
  public:
    virtual ~MemberSink() = default;
    // Makes the folder unless it exists; false when it cannot be there.
    virtual bool MakeFolder(const std::string& path) = 0;
    // Starts a member's file, created or truncated.
    virtual bool Open(const std::string& path) = 0;
    virtual bool Write(const uint8_t* data, size_t size) = 0;
    // Ends the open file; false when its data could not all be kept.
    virtual bool Close() = 0;
    // Takes back the file just closed: its data failed.
    virtual void Remove(const std::string& path) = 0;
};

// The program's sink: files and folders below an output folder.
class FileSink : public MemberSink {
  public:
    explicit FileSink(std::string outputFolder);
    ~FileSink() override;
    FileSink(const FileSink&) = delete;
    FileSink& operator=(const FileSink&) = delete;

    bool MakeFolder(const std::string& path) override;
    bool Open(const std::string& path) override;
    bool Write(const uint8_t* data, size_t size) override;
    bool Close() override;
    void Remove(const std::string& path) override;

  private:
    std::string Full(const std::string& path) const;

    std::string folder_;  // ends with a separator unless empty
    std::FILE* out_ = nullptr;
};

// Keeps members in memory (tests, fuzzing). Writes beyond maxBytes in all
// fail, the way a full disk would.
class MemorySink : public MemberSink {
  public:
    size_t maxBytes = SIZE_MAX;
    std::map<std::string, std::vector<uint8_t>> files;
    std::set<std::string> folders;

    bool MakeFolder(const std::string& path) override;
    bool Open(const std::string& path) override;
    bool Write(const uint8_t* data, size_t size) override;
    bool Close() override;
    void Remove(const std::string& path) override;

  private:
    std::vector<uint8_t>* open_ = nullptr;
    size_t total_ = 0;
};

}  // namespace vcq
