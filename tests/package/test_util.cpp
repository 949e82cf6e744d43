#include "test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <random>

#include "package/crc16.h"

namespace vcq::test {

ScratchDir::ScratchDir() {
    // A new folder of our own, as mkdtemp makes it, on every system.
    std::random_device random;
    for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
        fs::path candidate = fs::temp_directory_path() / ("vcqpkgtest." + std::to_string(random()));
        std::error_code ec;
        if (fs::create_directory(candidate, ec))
            path_ = candidate;
    }
    if (path_.empty())
        ADD_FAILURE() << "cannot make a scratch folder";
}

ScratchDir::~ScratchDir() {
    std::error_code ec;
    for (auto& e : fs::recursive_directory_iterator(path_, ec))
        fs::permissions(e.path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path_, ec);
}

std::vector<uint8_t> ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const fs::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::string> ListFiles(const fs::path& root) {
    std::vector<std::string> out;
    for (auto& e : fs::recursive_directory_iterator(root))
        if (e.is_regular_file())
            out.push_back(fs::relative(e.path(), root).generic_string());
    std::sort(out.begin(), out.end());
    return out;
}

fs::path Fixture(const std::string& name) {
    return fs::path(VCQ_FIXTURES) / name;
}

std::vector<uint8_t> Bytes(const std::string& s) {
    return {s.begin(), s.end()};
}

namespace {
void Put16(std::vector<uint8_t>& b, uint32_t v) {
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(std::vector<uint8_t>& b, uint32_t v) {
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}
void PutExt(std::vector<uint8_t>& b, uint8_t type, const std::string& data) {
    Put16(b, static_cast<uint32_t>(data.size() + 3));
    b.push_back(type);
    b.insert(b.end(), data.begin(), data.end());
}
}  // namespace

void ArchiveBuilder::Add(const Member& m) {
    std::vector<uint8_t> h;
    Put16(h, 0);  // total size, set below
    h.insert(h.end(), m.method.begin(), m.method.begin() + 5);
    Put32(h, static_cast<uint32_t>(m.data.size()));
    uint32_t original =
        m.sizeAndCrcFromData ? static_cast<uint32_t>(m.data.size()) : m.originalSize;
    Put32(h, original);
    Put32(h, 0x5A000000);  // time stamp
    h.push_back(0x20);
    h.push_back(2);
    Put16(h, m.sizeAndCrcFromData ? Crc16(m.data.data(), m.data.size()) : m.crc);
    h.push_back('U');
    PutExt(h, 1, m.fileName);
    if (!m.dirName.empty())
        PutExt(h, 2, m.dirName);
    Put16(h, 0);
    uint16_t total = m.headerSizeOverride ? m.headerSizeOverride : static_cast<uint16_t>(h.size());
    h[0] = static_cast<uint8_t>(total);
    h[1] = static_cast<uint8_t>(total >> 8);
    bytes_.insert(bytes_.end(), h.begin(), h.end());
    bytes_.insert(bytes_.end(), m.data.begin(), m.data.end());
}

void ArchiveBuilder::AddStored(const std::string& dirName, const std::string& fileName,
                               const std::vector<uint8_t>& data) {
    Member m;
    m.dirName = dirName;
    m.fileName = fileName;
    m.data = data;
    Add(m);
}

void ArchiveBuilder::AddFolder(const std::string& dirName) {
    Member m;
    m.method = "-lhd-";
    m.dirName = dirName;
    Add(m);
}

void ArchiveBuilder::AppendRaw(const std::vector<uint8_t>& bytes) {
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
}

std::vector<uint8_t> ArchiveBuilder::Finish(bool endByte) const {
    auto out = bytes_;
    if (endByte)
        out.push_back(0);
    return out;
}

}  // namespace vcq::test
