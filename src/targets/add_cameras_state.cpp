#include "targets/add_cameras_state.h"

#include <algorithm>
#include <cstdio>

#include "platform/window_port.h"

namespace vcq {

AddCamerasState::AddCamerasState(int32_t existingCount, const ModelList& models,
                                 VerifyListModel::DetectedAddresses detected, WindowPort* owner)
    : list_(models, std::move(detected), owner),
      owner_(owner),
      capacity_(std::clamp(kMaxListRows - existingCount, 0, kMaxListRows)) {}

std::string AddCamerasState::CounterText() const {
    char text[32];
    std::snprintf(text, sizeof text, "%d/%d", capacity_ - static_cast<int32_t>(list_.RowCount()),
                  capacity_);
    return text;
}

AddCamerasButtons AddCamerasState::Buttons() const {
    AddCamerasButtons buttons;
    buttons.edit = buttons.remove = list_.RowCount() > 0 && Selected().has_value();
    buttons.add = buttons.paste = buttons.loadCsv = !Full();
    return buttons;
}

std::optional<size_t> AddCamerasState::Selected() const {
    return selectedId_ ? list_.PositionOf(*selectedId_) : std::nullopt;
}

void AddCamerasState::Select(std::optional<size_t> position) {
    if (position && *position < list_.RowCount())
        selectedId_ = list_.RowAt(*position).index;
    else
        selectedId_.reset();
}

int AddCamerasState::AddEntry() {
    if (!Full())
        Select(list_.AddBlankRow());
    auto selected = Selected();
    return selected ? static_cast<int>(*selected) : -1;
}

void AddCamerasState::CommitEntry(const targets::EntryAddress& address) {
    if (auto selected = Selected())
        list_.Queue(*selected, address.ip, address.port);
}

void AddCamerasState::NextEntry() {
    auto selected = Selected();
    if (!selected)
        return;
    if (*selected + 1 < list_.RowCount())
        Select(*selected + 1);
    else if (!Full())  // never beyond the room the detected list has
        Select(list_.AddBlankRow());
}

void AddCamerasState::PreviousEntry() {
    auto selected = Selected();
    if (selected && *selected > 0)
        Select(*selected - 1);
}

targets::EntryAddress AddCamerasState::CurrentAddress() const {
    if (auto selected = Selected()) {
        const VerifyRow& row = list_.RowAt(*selected);
        return targets::EntryAddress{row.ip, row.port};
    }
    return targets::EntryAddress{list_.LastIp(), list_.LastPort()};
}

void AddCamerasState::DeleteAt(size_t position) {
    list_.DeleteRow(position);
    if (list_.RowCount() == 0)
        Select(std::nullopt);
    else
        Select(std::min(position, list_.RowCount() - 1));
}

void AddCamerasState::DeleteEntry() {
    auto selected = Selected();
    if (!selected)
        return;
    DeleteAt(*selected);
    if (list_.RowCount() == 0 && !Full())
        Select(list_.AddBlankRow());
}

bool AddCamerasState::IsQueued(int row) const {
    return row >= 0 && static_cast<size_t>(row) < list_.RowCount() &&
           list_.RowAt(static_cast<size_t>(row)).queued;
}

bool AddCamerasState::DeleteSelected() {
    auto selected = Selected();
    if (!selected)
        return false;
    const VerifyRow& row = list_.RowAt(*selected);
    const std::string question = "Would you like to delete the " + row.texts[verify_text::kModel] +
                                 "(" + row.texts[verify_text::kAddress] + ")?";
    if (!Ask(question))
        return false;
    DeleteAt(*selected);
    return true;
}

size_t AddCamerasState::Import(const CameraListParser& parser) {
    size_t added = 0;
    for (size_t k = 0; !Full(); ++k) {
        auto entry = parser.Entry(k);
        if (!entry)
            break;
        size_t position = list_.AddBlankRow();
        Select(position);
        list_.Queue(position, entry->ip, entry->port);
        ++added;
    }
    return added;
}

std::optional<std::vector<CameraRow>> AddCamerasState::Accept() {
    if (!list_.OkEnabled())
        return std::nullopt;  // a verification is still pending
    if (list_.AnyInvalid() && !Ask("Not all the listed cameras are valid!"))
        return std::nullopt;
    std::vector<CameraRow> handed;
    for (size_t i = 0; i < list_.RowCount(); ++i) {
        const VerifyRow& row = list_.RowAt(i);
        if (!row.Valid())
            continue;
        CameraRow camera;
        camera.tag = static_cast<int32_t>(handed.size());
        camera.texts[2] = row.texts[verify_text::kAddress];
        camera.texts[3] = row.texts[verify_text::kModel];
        camera.texts[4] = row.texts[verify_text::kSerial];
        camera.texts[5] = row.texts[verify_text::kVersion];
        camera.ip = row.ip;
        camera.port = row.port;
        handed.push_back(std::move(camera));
    }
    return handed;
}

bool AddCamerasState::ConfirmCancel() {
    return list_.RowCount() == 0 || Ask("All of the data will be released.");
}

bool AddCamerasState::Ask(const std::string& question) {
    if (!owner_)
        return true;
    const std::string caption = LoadUiText(kTextInformationCaption, owner_);
    return owner_->MessageBox(question, caption, MessageIcon::Question, MessageButtons::OkCancel) ==
           MessageAnswer::Ok;
}

}  // namespace vcq
