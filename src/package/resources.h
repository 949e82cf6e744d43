// The program's embedded resources: UI texts by id, the supported models and
// the firmware package. Nothing is read from disk.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vcq {

class WindowPort;

// Resource ids.
inline constexpr int kResFirmwarePackage = 143;
inline constexpr int kResModelList = 146;
inline constexpr int kResPackageLabels = 353;
inline constexpr int kStrSocketsFailed = 103;
inline constexpr int kStrPackageVersion = 118;
inline constexpr int kStrErrorCaption = 123;
inline constexpr int kStrTextMissing = 124;
inline constexpr int kTextCannotFindUpgradeFile = 138;
inline constexpr int kTextErrorCaption = 139;
inline constexpr int kTextInformationCaption = 203;

// Where resources are looked up. The program uses the embedded table; tests
// put their own in place with ScopedResourceSource.
class ResourceSource {
  public:
    virtual ~ResourceSource() = default;
    // Nothing when there is no such "BIN" resource.
    virtual std::optional<std::span<const uint8_t>> FindBin(int id) const = 0;
    virtual const char* FindString(int id) const = 0;
};

const ResourceSource& EmbeddedResources();

class ScopedResourceSource {
  public:
    explicit ScopedResourceSource(const ResourceSource& source);
    ~ScopedResourceSource();
    ScopedResourceSource(const ScopedResourceSource&) = delete;
    ScopedResourceSource& operator=(const ScopedResourceSource&) = delete;

  private:
    const ResourceSource* previous_;
};

// UI text `id` in UTF-8, for the user-interface thread. The result is one
// shared string that the next call overwrites: copy it at once. A missing
// text shows "Not found the upgrade file. " in a box owned by `owner` (if
// any) and gives "".
const std::string& LoadUiText(int id, WindowPort* owner);

// String table entry, UTF-8; "" when missing.
std::string LoadStringEntry(int id);

// The firmware version of the embedded package, "1.08".
std::string PackageVersion();

// Text of a stored UI text: UTF-16LE after the byte-order mark, up to the
// NUL (or the end), as UTF-8.
std::string DecodeStoredText(std::span<const uint8_t> bytes);

// The supported model names, at most 10.
struct ModelList {
    std::vector<std::string> names;
    const char* Primary() const { return names.empty() ? "" : names[0].c_str(); }
};
// Splits the 8-bit list at CR LF, up to the first NUL.
ModelList SplitModelList(std::span<const uint8_t> bytes);

// Reads resource 146. On failure "Cannot find the upgrade file." (caption
// "Error") goes to `window` and the list stays empty.
ModelList LoadModelList(WindowPort* window);
// A copy of resource 143; empty (with the same message) on failure.
std::vector<uint8_t> LoadPackage(WindowPort* window);
// The five labels of resource 353.
std::vector<std::string> LoadPackageLabels();

}  // namespace vcq
