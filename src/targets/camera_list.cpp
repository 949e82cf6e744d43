#include "targets/camera_list.h"

#include <algorithm>
#include <cstdio>

#include "package/resources.h"
#include "protocol/camera_replies.h"
#include "upgrade/job_values.h"
#include "upgrade/pre_batch.h"

namespace vcq {
namespace {

constexpr const char* kDuplicateHead =
    "There is more than one camera with the same IP address as below.\r\n";
constexpr const char* kDuplicateTail = "Please assign different addresses to avoid any conflict.";

bool Contains(const std::vector<int>& rows, int row) {
    return std::find(rows.begin(), rows.end(), row) != rows.end();
}

// Code-unit order: std::string compares its bytes as unsigned char, and
// UTF-8 bytes order as the characters do.
int CompareRows(const CameraRow& a, const CameraRow& b, int column) {
    if (column == 0)
        return a.ticked < b.ticked ? -1 : (a.ticked > b.ticked ? 1 : 0);
    return a.texts[static_cast<size_t>(column)].compare(b.texts[static_cast<size_t>(column)]);
}

}  // namespace

VerifyExchange SysuserExchange(ExchangeLimits limits) {
    return [limits](const std::string& hostText, const std::string& token) {
        JobReply reply;
        reply.text = InquireCamera(hostText, token, "inq=sysuser", limits);
        reply.answered = !reply.text.empty();
        if (reply.answered && reply.text.find("200 OK") != std::string::npos)
            reply.extra = ReadMacAddress(InquireCamera(hostText, token, "inq=tcpip", limits));
        return reply;
    };
}

CameraList::CameraList() : exchange_(SysuserExchange()) {}

bool CameraList::HasMac(const std::string& mac) const {
    return std::any_of(rows_.begin(), rows_.end(),
                       [&](const CameraRow& row) { return row.texts[text::kMac] == mac; });
}

bool CameraList::AddRow(int position, const std::string& mac, const std::string& addressText,
                        const std::string& model, const std::string& serial,
                        const std::string& version, const Ipv4& ip, int32_t port, int32_t tag) {
    if ((!mac.empty() && HasMac(mac)) || Count() >= kMaxListRows)
        return false;
    position = std::clamp(position, 0, Count());
    CameraRow row;
    row.index = position;
    row.tag = tag;
    // A camera already up to date, one of another generation and one whose
    // upgrade resets its settings (IP address included) are ticked only on
    // purpose.
    row.preBatch = DecidePreBatch(version, PackageVersion());
    row.ticked = StartsTicked(row.preBatch) ? 1 : 0;
    row.texts[text::kMac] = mac;
    row.texts[text::kAddress] = addressText;
    row.texts[text::kModel] = model;
    row.texts[text::kSerial] = serial;
    row.texts[text::kVersion] = version;
    row.ip = ip;
    row.port = port;
    rows_.insert(rows_.begin() + position, std::move(row));
    return true;
}

void CameraList::Clear() {
    rows_.clear();
    runner_.Clear();
}

void CameraList::ToggleTicks(int clicked, const std::vector<int>& selected) {
    if (clicked < 0 || clicked >= Count())
        return;
    CameraRow& row = MutableRow(clicked);
    if (selected.size() > 1 && Contains(selected, clicked)) {
        const int32_t value = row.ticked ? 0 : 1;
        for (int other : selected) {
            if (other >= 0 && other < Count())
                MutableRow(other).ticked = value;
        }
    } else {
        row.ticked = row.ticked ? 0 : 1;
    }
}

bool CameraList::SpaceTicks(int focused, const std::vector<int>& selected) {
    if (focused < 0 || focused >= Count() || !Contains(selected, focused))
        return false;
    const int32_t value = Row(focused).ticked ? 0 : 1;
    for (int row : selected) {
        if (row >= 0 && row < Count())
            MutableRow(row).ticked = value;
    }
    return true;
}

void CameraList::GetLogin(int row, std::string& name, std::string& password) const {
    name = Row(row).texts[text::kName];
    password = Row(row).texts[text::kPassword];
}

void CameraList::GetLoginAndAddress(int row, std::string& name, std::string& password,
                                    Ipv4& ip) const {
    GetLogin(row, name, password);
    ip = Row(row).ip;
}

void CameraList::SetLogin(int row, const std::string& name, const std::string& password) {
    MutableRow(row).texts[text::kName] = name;
    MutableRow(row).texts[text::kPassword] = password;
}

bool CameraList::GetTargetRow(int row, TargetRow& out) const {
    const CameraRow& r = Row(row);
    out.name = r.texts[text::kName];
    out.password = r.texts[text::kPassword];
    out.model = r.texts[text::kModel];
    out.version = r.texts[text::kVersion];
    out.serial = r.texts[text::kSerial];
    out.ip = r.ip;
    out.port = r.port;
    out.dhcp = r.texts[text::kAddress] == kDhcpText;
    return r.ticked != 0;
}

bool CameraList::AllTickedHaveLogin() const {
    bool any = false;
    for (const CameraRow& row : rows_) {
        if (!row.ticked)
            continue;
        if (row.texts[text::kName].empty() || row.texts[text::kPassword].empty())
            return false;
        any = true;
    }
    return any;
}

std::vector<std::string> CameraList::DuplicateAddressLines() const {
    std::vector<std::string> lines;
    for (size_t i = 0; i < rows_.size(); ++i) {
        for (size_t k = i + 1; k < rows_.size(); ++k) {
            if (rows_[i].ip != rows_[k].ip)
                continue;
            char line[32];
            const Ipv4& ip = rows_[i].ip;
            std::snprintf(line, sizeof line, "#%d.%d.%d.%d\r\n", ip[0], ip[1], ip[2], ip[3]);
            lines.emplace_back(line);
        }
    }
    return lines;
}

std::string DuplicateAddressMessage(const std::vector<std::string>& lines) {
    std::string message = kDuplicateHead;
    for (const std::string& line : lines)
        message += line;
    return message + kDuplicateTail;
}

bool CameraList::Sort(int column) {
    if (column < 0 || column > 7)
        return false;
    if (column == sortColumn_) {
        ascending_ = !ascending_;
    } else {
        sortColumn_ = column;
        ascending_ = true;
    }
    if (column == 0) {
        const bool allTicked = std::all_of(rows_.begin(), rows_.end(),
                                           [](const CameraRow& row) { return row.ticked != 0; });
        const bool noneTicked = std::none_of(rows_.begin(), rows_.end(),
                                             [](const CameraRow& row) { return row.ticked != 0; });
        if (allTicked || noneTicked)
            return false;
    }
    const bool ascending = ascending_;
    std::stable_sort(rows_.begin(), rows_.end(),
                     [column, ascending](const CameraRow& a, const CameraRow& b) {
                         const int order = CompareRows(a, b, column);
                         return ascending ? order < 0 : order > 0;
                     });
    // Pending jobs find their rows by index: carry them over to the new order.
    std::vector<int32_t> newIndex(rows_.size(), -1);
    for (size_t at = 0; at < rows_.size(); ++at) {
        const int32_t old = rows_[at].index;
        if (old >= 0 && static_cast<size_t>(old) < newIndex.size())
            newIndex[static_cast<size_t>(old)] = static_cast<int32_t>(at);
        rows_[at].index = static_cast<int32_t>(at);
    }
    runner_.Reindex([&newIndex](int32_t old) {
        return old >= 0 && static_cast<size_t>(old) < newIndex.size()
                   ? newIndex[static_cast<size_t>(old)]
                   : old;
    });
    return true;
}

int CameraList::FindIndex(int32_t index) const {
    for (int at = 0; at < Count(); ++at) {
        if (rows_[static_cast<size_t>(at)].index == index)
            return at;
    }
    return -1;
}

void CameraList::StartVerification(const std::vector<int>& rows) {
    std::vector<int> ordered = rows;
    std::sort(ordered.begin(), ordered.end());
    for (int at : ordered) {
        if (at < 0 || at >= Count())
            continue;
        const CameraRow& row = Row(at);
        const std::string host = AddressText(row.ip, row.port);
        const std::string token =
            EncodeBasicToken(row.texts[text::kName] + ":" + row.texts[text::kPassword]);
        runner_.Add(row.index,
                    [exchange = exchange_, host, token] { return exchange(host, token); });
    }
}

CameraList::TickResult CameraList::VerificationTick() {
    TickResult result;
    const bool hadJobs = !runner_.Empty();
    for (VerificationRunner::Outcome& outcome : runner_.Tick()) {
        if (outcome.event == VerificationRunner::Event::Asked)
            continue;
        const int at = FindIndex(outcome.index);
        if (at < 0)
            continue;
        CameraRow& row = MutableRow(at);
        const bool accepted = outcome.event == VerificationRunner::Event::Answered &&
                              outcome.reply.text.find("200 OK") != std::string::npos;
        row.status = accepted                                             ? status::kVerified
                     : outcome.event == VerificationRunner::Event::GaveUp ? status::kNoAnswer
                                                                          : status::kFailed;
        if (accepted && row.texts[text::kMac].empty())
            row.texts[text::kMac] = outcome.reply.extra;
        result.changed = true;
    }
    result.ended = hadJobs && runner_.Empty();
    return result;
}

int PopulateFromDiscovery(CameraList& list, const std::vector<CameraRecord>& records) {
    const int limit = std::min<int>(static_cast<int>(records.size()), kMaxListRows);
    for (int j = list.Count(); j < limit; ++j) {
        const CameraRecord& record = records[static_cast<size_t>(j)];
        if (record.free())
            continue;
        // The model is one of ours; the other texts are shown as the camera sent them, escaped.
        list.AddRow(list.Count(), record.mac, DiscoveredAddressText(record), record.model,
                    EscapeControls(record.serial), EscapeControls(record.softVersion),
                    {record.ip[0], record.ip[1], record.ip[2], record.ip[3]}, record.webPort, -1);
    }
    return list.Count();
}

}  // namespace vcq
