#include "package/resources.h"

#include <algorithm>
#include <map>

#include "package/text_decoding.h"
#include "platform/window_port.h"
#include "resources/embedded.h"

namespace vcq {
namespace {

class EmbeddedSource : public ResourceSource {
  public:
    EmbeddedSource() {
        for (const auto& r : res::BinResources())
            bins_[r.id] = std::span(r.data, r.size);
    }
    std::optional<std::span<const uint8_t>> FindBin(int id) const override {
        auto it = bins_.find(id);
        if (it == bins_.end())
            return std::nullopt;
        return it->second;
    }
    const char* FindString(int id) const override {
        auto table = res::StringTable();
        auto it = std::lower_bound(table.begin(), table.end(), id,
                                   [](const res::StringEntry& e, int v) { return e.id < v; });
        return it != table.end() && it->id == id ? it->text : nullptr;
    }

  private:
    std::map<int, std::span<const uint8_t>> bins_;
};

const ResourceSource* g_source = nullptr;

const ResourceSource& Current() {
    return g_source ? *g_source : EmbeddedResources();
}

void ShowCannotFindUpgradeFile(WindowPort* window) {
    if (!window)
        return;
    std::string text = LoadUiText(kTextCannotFindUpgradeFile, window);
    std::string caption = LoadUiText(kTextErrorCaption, window);
    window->MessageBox(text, caption, MessageIcon::Stop, MessageButtons::Ok);
}

}  // namespace

const ResourceSource& EmbeddedResources() {
    static const EmbeddedSource source;
    return source;
}

ScopedResourceSource::ScopedResourceSource(const ResourceSource& source) : previous_(g_source) {
    g_source = &source;
}
ScopedResourceSource::~ScopedResourceSource() {
    g_source = previous_;
}

std::string DecodeStoredText(std::span<const uint8_t> bytes) {
    if (bytes.size() < 2)
        return {};
    std::string out = Utf16ToUtf8(
        std::string_view(reinterpret_cast<const char*>(bytes.data()) + 2, bytes.size() - 2), false);
    out.resize(std::min(out.size(), out.find('\0')));
    return out;
}

const std::string& LoadUiText(int id, WindowPort* owner) {
    static std::string shared;
    shared.clear();
    if (auto bytes = Current().FindBin(id)) {
        shared = DecodeStoredText(*bytes);
        return shared;
    }
    if (owner)
        owner->MessageBox(LoadStringEntry(kStrTextMissing), LoadStringEntry(kStrErrorCaption),
                          MessageIcon::Stop, MessageButtons::Ok);
    return shared;
}

std::string LoadStringEntry(int id) {
    const char* s = Current().FindString(id);
    return s ? s : "";
}

std::string PackageVersion() {
    return LoadStringEntry(kStrPackageVersion);
}

bool StandInPackage() {
    return res::StandInPackage();
}

std::string StandInMark() {
    return StandInPackage() ? std::string(" [") + kStandInNotice + "]" : "";
}

std::string VersionText(const std::string& program) {
    return program + " " + res::ProgramVersion() + "\nfirmware package ver" + PackageVersion() +
           StandInMark() + "\n";
}

ModelList SplitModelList(std::span<const uint8_t> bytes) {
    std::string buf(bytes.begin(), bytes.end());
    buf.push_back('\0');
    ModelList list;
    size_t pos = 0;
    while (list.names.size() < 10 && pos < buf.size()) {
        size_t end = buf.find_first_of(std::string("\r\0", 2), pos);
        // An empty name (after a final CR LF) is no model.
        if (end > pos)
            list.names.push_back(buf.substr(pos, end - pos));
        if (buf[end] == '\0')
            break;
        pos = end + 2;
    }
    return list;
}

ModelList LoadModelList(WindowPort* window) {
    auto bytes = Current().FindBin(kResModelList);
    if (!bytes) {
        ShowCannotFindUpgradeFile(window);
        return {};
    }
    return SplitModelList(*bytes);
}

std::vector<uint8_t> LoadPackage(WindowPort* window) {
    auto bytes = Current().FindBin(kResFirmwarePackage);
    if (!bytes) {
        ShowCannotFindUpgradeFile(window);
        return {};
    }
    return {bytes->begin(), bytes->end()};
}

std::vector<std::string> LoadPackageLabels() {
    auto bytes = Current().FindBin(kResPackageLabels);
    if (!bytes)
        return {};
    return SplitModelList(*bytes).names;
}

}  // namespace vcq
