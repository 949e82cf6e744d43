#include "package/member_sink.h"

#include <algorithm>

#include "platform/files.h"

namespace vcq {

FileSink::FileSink(std::string outputFolder) : folder_(std::move(outputFolder)) {
    if (!folder_.empty() && folder_.back() != files::kPathSeparator)
        folder_ += files::kPathSeparator;
}

FileSink::~FileSink() {
    if (out_)
        std::fclose(out_);
}

std::string FileSink::Full(const std::string& path) const {
    std::string full = folder_ + path;
    std::replace(full.begin() + static_cast<std::ptrdiff_t>(folder_.size()), full.end(), '/',
                 files::kPathSeparator);
    return full;
}

bool FileSink::MakeFolder(const std::string& path) {
    std::string full = Full(path);
    return files::FolderExists(full) || files::CreateFolder(full);
}

bool FileSink::Open(const std::string& path) {
    if (out_)
        std::fclose(out_);
    out_ = files::OpenFile(Full(path), "wb");
    if (!out_)
        return false;
    std::setvbuf(out_, nullptr, _IONBF, 0);  // whole chunks go straight to the file
    return true;
}

bool FileSink::Write(const uint8_t* data, size_t size) {
    return out_ && std::fwrite(data, 1, size, out_) == size;
}

bool FileSink::Close() {
    if (!out_)
        return false;
    bool ok = std::fclose(out_) == 0;
    out_ = nullptr;
    return ok;
}

void FileSink::Remove(const std::string& path) {
    files::RemoveFile(Full(path));
}

bool MemorySink::MakeFolder(const std::string& path) {
    if (files.count(path))
        return false;  // a file where the folder should be
    folders.insert(path);
    return true;
}

bool MemorySink::Open(const std::string& path) {
    if (folders.count(path))
        return false;
    auto& data = files[path];
    total_ -= data.size();
    data.clear();
    open_ = &data;
    return true;
}

bool MemorySink::Write(const uint8_t* data, size_t size) {
    if (!open_ || size > maxBytes - total_)
        return false;
    open_->insert(open_->end(), data, data + size);
    total_ += size;
    return true;
}

bool MemorySink::Close() {
    bool ok = open_ != nullptr;
    open_ = nullptr;
    return ok;
}

void MemorySink::Remove(const std::string& path) {
    auto it = files.find(path);
    if (it == files.end())
        return;
    total_ -= it->second.size();
    files.erase(it);
}

}  // namespace vcq
