// The rows and rules of the verification list of the add-other-cameras
// dialog: cameras entered by hand, from a file or the clipboard, each asked
// "inq=sysinfo" off the UI thread and judged; addresses that occur twice or
// are already detected are marked. The Qt list draws what this holds.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "package/resources.h"
#include "protocol/cgi_client.h"
#include "targets/camera_row.h"
#include "targets/verification_runner.h"

namespace vcq {

class WindowPort;

inline constexpr uint32_t kVerifyTimerId = 0x800A;
inline constexpr uint32_t kVerifyTickMs = 500;
inline constexpr size_t kVerifyVisitsPerTick = 4;

// One verification exchange: "inq=sysinfo" to the camera at `hostText`
// without a login. Runs on a worker thread; always answered, with an empty
// text when no reply came.
using SysinfoExchange = std::function<JobReply(const std::string& hostText)>;
SysinfoExchange SysinfoInquiry(ExchangeLimits limits = {});

// The verification list's columns, kept in CameraRow::texts.
namespace verify_text {
inline constexpr size_t kId = 0;
inline constexpr size_t kAddress = 1;
inline constexpr size_t kModel = 2;  // also "Queued...", "Searching...", ...
inline constexpr size_t kSerial = 3;
inline constexpr size_t kVersion = 4;
}  // namespace verify_text

struct VerifyRow : CameraRow {
    bool queued = false;    // an address was entered; otherwise a blank row
    int32_t validity = 0;   // 0 not judged, 1 a supported camera answered, 2 otherwise
    int32_t duplicate = 0;  // 1 twice in this list, 2 already in the detected list
    bool Valid() const { return queued && duplicate == 0 && validity == 1; }
};

class VerifyListModel {
  public:
    // The addresses of the detected camera list, read whenever marks are set.
    using DetectedAddresses = std::function<std::vector<Ipv4>()>;

    // The verification timer is `owner`'s.
    VerifyListModel(const ModelList& models, DetectedAddresses detected, WindowPort* owner);
    ~VerifyListModel();
    VerifyListModel(const VerifyListModel&) = delete;
    VerifyListModel& operator=(const VerifyListModel&) = delete;

    size_t RowCount() const { return rows_.size(); }
    const VerifyRow& RowAt(size_t position) const { return rows_.at(position); }
    std::optional<size_t> PositionOf(int32_t id) const;
    bool IsValid(size_t position) const;
    bool AnyInvalid() const;

    // Appends a blank row carrying the last address entered; its position.
    size_t AddBlankRow();
    // Queues the row with this address for verification (again, if the
    // address changed) and sets the duplicate marks.
    void Queue(size_t position, const Ipv4& ip, int32_t port);
    // Deletes the row and its job; rows with higher ids move down by one.
    void DeleteRow(size_t position);
    // Deletes the blank rows left by the entry dialog.
    void DeleteBlankRows();
    const Ipv4& LastIp() const { return lastIp_; }
    int32_t LastPort() const { return lastPort_; }

    // A header click: the same column again reverses the order. Ids stay.
    void SortByColumn(int column);
    int SortColumn() const { return sortColumn_; }
    bool SortAscending() const { return ascending_; }

    // Timer 0x800A: starts, and judges once answered, at most four jobs from
    // the first. True when a row changed.
    bool Tick();
    // OK is enabled by a tick that finds no job, and disabled by a new job.
    bool OkEnabled() const { return okEnabled_; }
    size_t ActiveJobs() const { return runner_.Pending(); }
    size_t RunningJobs() const { return runner_.Running(); }

    // For jobs queued from now on.
    void SetExchange(SysinfoExchange exchange) { exchange_ = std::move(exchange); }

  private:
    VerifyRow* RowById(int32_t id);
    void Judge(VerifyRow& row, const std::string& reply) const;
    void SetMarks();

    ModelList models_;
    DetectedAddresses detected_;
    WindowPort* owner_;
    SysinfoExchange exchange_ = SysinfoInquiry();
    // The rows' ids are the jobs' indexes. Every reply is an answer, so no
    // job is asked twice.
    VerificationRunner runner_{VerificationRunner::Options{kVerifyVisitsPerTick, 0}};
    std::vector<VerifyRow> rows_;
    Ipv4 lastIp_ = CameraRow{}.ip;
    int32_t lastPort_ = CameraRow{}.port;
    int sortColumn_ = -1;
    bool ascending_ = true;
    bool okEnabled_ = false;
};

}  // namespace vcq
