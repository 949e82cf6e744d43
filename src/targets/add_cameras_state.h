// What the add-other-cameras dialog decides, without its widgets: capacity
// and counter, the selected row, the operations the entry terminals dialog
// calls, the buttons' states, the import of camera lists, and the questions
// of Delete, OK and Cancel.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "targets/camera_list.h"
#include "targets/camera_list_parser.h"
#include "targets/entry_terminals.h"
#include "targets/verify_list_model.h"

namespace vcq {

struct AddCamerasButtons {
    bool edit = false;
    bool remove = false;
    bool add = false;
    bool paste = false;
    bool loadCsv = false;
};

class AddCamerasState : public targets::EntryOwner {
  public:
    // `existingCount`: the rows of the detected list when the dialog opened.
    AddCamerasState(int32_t existingCount, const ModelList& models,
                    VerifyListModel::DetectedAddresses detected, WindowPort* owner);

    VerifyListModel& List() { return list_; }
    const VerifyListModel& List() const { return list_; }
    int32_t Capacity() const { return capacity_; }
    bool Full() const { return static_cast<int32_t>(list_.RowCount()) >= capacity_; }
    // "Remaining:" "%d/%d": free rows, capacity.
    std::string CounterText() const;
    AddCamerasButtons Buttons() const;

    std::optional<size_t> Selected() const;
    void Select(std::optional<size_t> position);

    // The entry terminals dialog's operations, on the selected row. AddEntry
    // serves "&Add..." too: a blank row at the end, selected, when there is
    // room; the selected position (-1 for none).
    targets::EntryAddress CurrentAddress() const override;
    void CommitEntry(const targets::EntryAddress& address) override;
    void NextEntry() override;
    void PreviousEntry() override;
    int AddEntry() override;
    void DeleteEntry() override;
    bool IsQueued(int row) const override;
    int RowCount() const override { return static_cast<int>(list_.RowCount()); }

    // After the entry dialog: the rows left blank go.
    void EntryDialogClosed() { list_.DeleteBlankRows(); }
    // "&Delete...": asks, then deletes the selected row. True when deleted.
    bool DeleteSelected();
    // "&Load from CSV..." and "&Paste from clipboard": the parsed entries, as
    // many as fit, each queued in a new row. The number added.
    size_t Import(const CameraListParser& parser);
    // OK: the valid rows for the detected list in list order (tags from 0),
    // after a question when some are not valid; nothing to stay open.
    std::optional<std::vector<CameraRow>> Accept();
    // Cancel: true to close (at once for an empty list).
    bool ConfirmCancel();

  private:
    // Deletes the row and selects the one now in its place, or the last.
    void DeleteAt(size_t position);
    // An OK/Cancel question with the "Information" caption; true for OK.
    bool Ask(const std::string& question);

    VerifyListModel list_;
    WindowPort* owner_;
    int32_t capacity_;
    std::optional<int32_t> selectedId_;  // follows its row through sorts
};

}  // namespace vcq
