#include "targets/verify_list_model.h"

#include <algorithm>
#include <cstdio>

#include "platform/window_port.h"
#include "upgrade/camera_upgrade.h"

namespace vcq {
namespace {

constexpr const char* kQueued = "Queued...";
constexpr const char* kSearching = "Searching...";
constexpr const char* kNoResponse = "No response";
constexpr const char* kNotACamera = "Not a camera";

std::string IdText(int32_t id) {
    char text[16];
    std::snprintf(text, sizeof text, "%03d", id);
    return text;
}

}  // namespace

SysinfoExchange SysinfoInquiry(ExchangeLimits limits) {
    return [limits](const std::string& hostText) {
        return JobReply{true, InquireCamera(hostText, ":", "inq=sysinfo", limits), ""};
    };
}

VerifyListModel::VerifyListModel(const ModelList& models, DetectedAddresses detected,
                                 WindowPort* owner)
    : models_(models), detected_(std::move(detected)), owner_(owner) {}

// Running exchanges own what they use and end on their own.
VerifyListModel::~VerifyListModel() = default;

std::optional<size_t> VerifyListModel::PositionOf(int32_t id) const {
    for (size_t i = 0; i < rows_.size(); ++i) {
        if (rows_[i].index == id)
            return i;
    }
    return std::nullopt;
}

VerifyRow* VerifyListModel::RowById(int32_t id) {
    auto position = PositionOf(id);
    return position ? &rows_[*position] : nullptr;
}

bool VerifyListModel::IsValid(size_t position) const {
    return position < rows_.size() && rows_[position].Valid();
}

bool VerifyListModel::AnyInvalid() const {
    return std::any_of(rows_.begin(), rows_.end(), [](const VerifyRow& r) { return !r.Valid(); });
}

size_t VerifyListModel::AddBlankRow() {
    VerifyRow row;
    row.index = static_cast<int32_t>(rows_.size()) + 1;
    row.tag = row.index;
    row.texts[verify_text::kId] = IdText(row.index);
    row.ip = lastIp_;
    row.port = lastPort_;
    rows_.push_back(std::move(row));
    return rows_.size() - 1;
}

void VerifyListModel::Queue(size_t position, const Ipv4& ip, int32_t port) {
    if (position >= rows_.size())
        return;
    VerifyRow& row = rows_[position];
    row.ip = ip;
    row.port = port;
    std::string text = AddressText(ip, port);
    if (text != row.texts[verify_text::kAddress] || !row.queued) {
        row.texts[verify_text::kAddress] = text;
        row.queued = true;
        row.texts[verify_text::kModel] = kQueued;
        row.texts[verify_text::kSerial].clear();
        row.texts[verify_text::kVersion].clear();
        // The earlier judgement was of another address: OK must wait for the
        // new one, even before the next tick.
        row.validity = 0;
        okEnabled_ = false;
        runner_.Remove(row.index);
        runner_.Add(row.index, [exchange = exchange_, text] { return exchange(text); });
        if (owner_)
            owner_->SetTimer(kVerifyTimerId, kVerifyTickMs);
    }
    SetMarks();
    lastIp_ = ip;
    lastPort_ = port;
}

void VerifyListModel::DeleteRow(size_t position) {
    if (position >= rows_.size())
        return;
    const int32_t id = rows_[position].index;
    runner_.Remove(id);
    rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(position));
    for (VerifyRow& row : rows_) {
        if (row.index > id) {
            --row.index;
            row.texts[verify_text::kId] = IdText(row.index);
        }
    }
    // Jobs find their rows by id: they move with them.
    runner_.Reindex([id](int32_t index) { return index > id ? index - 1 : index; });
    SetMarks();
}

// Row by row as the Delete button does: ids stay gapless, and a mark a blank
// row gave a queued one goes with it.
void VerifyListModel::DeleteBlankRows() {
    for (size_t i = rows_.size(); i-- > 0;) {
        if (!rows_[i].queued)
            DeleteRow(i);
    }
}

void VerifyListModel::SetMarks() {
    for (VerifyRow& row : rows_)
        row.duplicate = 0;
    // Only the four address bytes count, never the port.
    for (size_t i = 0; i < rows_.size(); ++i) {
        if (!rows_[i].queued)
            continue;
        for (size_t k = 0; k < rows_.size(); ++k) {
            if (k != i && rows_[k].ip == rows_[i].ip) {
                rows_[i].duplicate = 1;
                break;
            }
        }
    }
    if (!detected_)
        return;
    const std::vector<Ipv4> detected = detected_();
    for (VerifyRow& row : rows_) {
        if (std::find(detected.begin(), detected.end(), row.ip) != detected.end())
            row.duplicate = 2;
    }
}

void VerifyListModel::SortByColumn(int column) {
    if (column < 0 || column > static_cast<int>(verify_text::kVersion))
        return;
    if (column == sortColumn_) {
        ascending_ = !ascending_;
    } else {
        sortColumn_ = column;
        ascending_ = true;
    }
    const bool ascending = ascending_;
    std::stable_sort(rows_.begin(), rows_.end(), [&](const VerifyRow& a, const VerifyRow& b) {
        int order;
        if (column == 0)  // highest id first on the first click
            order = a.index > b.index ? -1 : a.index < b.index ? 1 : 0;
        else
            order =
                a.texts[static_cast<size_t>(column)].compare(b.texts[static_cast<size_t>(column)]);
        return ascending ? order < 0 : order > 0;
    });
}

bool VerifyListModel::Tick() {
    okEnabled_ = runner_.Empty();
    bool changed = false;
    for (VerificationRunner::Outcome& outcome : runner_.Tick()) {
        VerifyRow* row = RowById(outcome.index);
        if (!row)
            continue;
        if (outcome.event == VerificationRunner::Event::Asked) {
            row->texts[verify_text::kModel] = kSearching;
            row->validity = 1;
        } else {
            Judge(*row, outcome.event == VerificationRunner::Event::Answered ? outcome.reply.text
                                                                             : std::string());
        }
        changed = true;
    }
    return changed;
}

void VerifyListModel::Judge(VerifyRow& row, const std::string& reply) const {
    CameraIdentity identity = ReadIdentity(reply);
    if (reply.empty())
        row.texts[verify_text::kModel] = kNoResponse;
    else
        row.texts[verify_text::kModel] =
            identity.model.empty() ? kNotACamera : EscapeControls(identity.model);
    row.texts[verify_text::kVersion] = EscapeControls(PlainVersion(identity.version));
    row.texts[verify_text::kSerial] = EscapeControls(identity.serial);
    row.validity = IsSupportedModel(identity.model, &models_) ? 1 : 2;
}

}  // namespace vcq
