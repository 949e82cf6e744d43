// Helpers of the package tests: scratch folders, file access and hand-made
// level-2 archives for the cases no archiver would write.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/files.h"

namespace vcq::test {

namespace fs = std::filesystem;

class ScratchDir {
  public:
    ScratchDir();
    ~ScratchDir();
    const fs::path& Path() const { return path_; }
    std::string Str() const { return path_.string() + files::kPathSeparator; }

  private:
    fs::path path_;
};

std::vector<uint8_t> ReadBytes(const fs::path& path);
void WriteBytes(const fs::path& path, const std::vector<uint8_t>& bytes);

// Every regular file below root, as paths relative to it.
std::vector<std::string> ListFiles(const fs::path& root);

fs::path Fixture(const std::string& name);

// Builds archives member by member.
class ArchiveBuilder {
  public:
    struct Member {
        std::string method = "-lh0-";
        std::string dirName;  // raw, 0xFF separators
        std::string fileName;
        std::vector<uint8_t> data;  // stored as given
        uint32_t originalSize = 0;
        uint16_t crc = 0;
        bool sizeAndCrcFromData = true;  // else originalSize and crc as given
        uint16_t headerSizeOverride = 0;
    };
    void Add(const Member& m);
    void AddStored(const std::string& dirName, const std::string& fileName,
                   const std::vector<uint8_t>& data);
    // A folder entry (-lhd-) as lha writes it: the folder name only.
    void AddFolder(const std::string& dirName);
    void AppendRaw(const std::vector<uint8_t>& bytes);
    std::vector<uint8_t> Finish(bool endByte = true) const;

  private:
    std::vector<uint8_t> bytes_;
};

std::vector<uint8_t> Bytes(const std::string& s);

}  // namespace vcq::test
