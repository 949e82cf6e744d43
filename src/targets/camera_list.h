// The rows of the detected camera list and what the list does with them
// besides drawing: adding, ticking, sorting, logins, the duplicate-address
// check and the verification of logins ("Testing..."). No UI: the wizard's
// list view shows these rows, the headless tool may use them directly.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "discovery/camera_record.h"
#include "protocol/cgi_client.h"
#include "targets/camera_row.h"
#include "targets/verification_runner.h"

namespace vcq {

inline constexpr int kMaxListRows = 256;

// What the batch takes over from a row.
struct TargetRow {
    std::string name;
    std::string password;
    std::string model;
    std::string version;
    std::string serial;
    Ipv4 ip{};
    int32_t port = 80;
    bool dhcp = false;
};

// One verification exchange: asks the camera at `hostText` with `token` and
// returns what it answered. Runs on a worker thread.
using VerifyExchange =
    std::function<JobReply(const std::string& hostText, const std::string& token)>;

// "inq=sysuser" with the login; when the camera accepts it, "inq=tcpip" for
// its MAC address (in `extra`).
VerifyExchange SysuserExchange(ExchangeLimits limits = {});

class CameraList {
  public:
    CameraList();

    // Adds a row at `position` (clamped to the end) unless `mac` is not empty
    // and some row has the same one, or the list is full. True when added.
    // The row is ticked unless its version is one whose upgrade resets the
    // camera's settings.
    bool AddRow(int position, const std::string& mac, const std::string& addressText,
                const std::string& model, const std::string& serial, const std::string& version,
                const Ipv4& ip, int32_t port, int32_t tag);
    bool HasMac(const std::string& mac) const;
    void Clear();

    int Count() const { return static_cast<int>(rows_.size()); }
    const CameraRow& Row(int row) const { return rows_.at(static_cast<size_t>(row)); }
    CameraRow& MutableRow(int row) { return rows_.at(static_cast<size_t>(row)); }

    // A press on `clicked`'s tick with `selected` the selected rows: one row
    // selected, or the clicked row not among several selected: its tick
    // flips; else every selected row gets the inverse of the clicked row's.
    void ToggleTicks(int clicked, const std::vector<int>& selected);
    // The space bar: when `focused` is selected, every selected row becomes
    // ticked, or unticked when the focused row was ticked. True when applied.
    bool SpaceTicks(int focused, const std::vector<int>& selected);

    void GetLogin(int row, std::string& name, std::string& password) const;
    void GetLoginAndAddress(int row, std::string& name, std::string& password, Ipv4& ip) const;
    void SetLogin(int row, const std::string& name, const std::string& password);
    // The row's values for the batch; returns whether it is ticked.
    bool GetTargetRow(int row, TargetRow& out) const;
    Ipv4 GetAddress(int row) const { return Row(row).ip; }

    // False as soon as a ticked row lacks a name or a password; else whether
    // any row is ticked.
    bool AllTickedHaveLogin() const;
    // "#a.b.c.d\r\n" for every pair of rows on one address (ports ignored).
    std::vector<std::string> DuplicateAddressLines() const;

    // A header click on `column`. The same column flips the direction, a new
    // one starts ascending. Column 0 orders by tick and leaves the order when
    // every row has the same tick; the others compare their text by code
    // units. The rows' wasSelected and wasFocused go with them; each row's
    // index becomes its position. True when the rows were reordered.
    bool Sort(int column);
    int SortColumn() const { return sortColumn_; }
    bool Ascending() const { return ascending_; }

    // Queues a job for each of `rows` (list order), after those pending.
    void StartVerification(const std::vector<int>& rows);
    struct TickResult {
        bool changed = false;  // a row's status or MAC changed
        bool ended = false;    // the last job was retired
    };
    TickResult VerificationTick();
    bool Verifying() const { return !runner_.Empty(); }
    const VerificationRunner& Runner() const { return runner_; }
    void SetVerifyExchange(VerifyExchange exchange) { exchange_ = std::move(exchange); }

  private:
    int FindIndex(int32_t index) const;

    std::vector<CameraRow> rows_;
    int sortColumn_ = -1;
    bool ascending_ = true;
    VerificationRunner runner_;
    VerifyExchange exchange_;
};

// The whole duplicate-address message for the lines of DuplicateAddressLines.
std::string DuplicateAddressMessage(const std::vector<std::string>& lines);

// Appends the records after those already listed (from the list's row count
// on), skipping records without a MAC address. Returns the row count.
int PopulateFromDiscovery(CameraList& list, const std::vector<CameraRecord>& records);

}  // namespace vcq
