// "Add other cameras": cameras that discovery did not find (another segment,
// a router between) are typed in the entry terminals dialog, loaded from a
// CSV file or pasted from the clipboard. Each is asked "inq=sysinfo" on a
// worker thread; on OK the valid ones join the detected camera list. The
// rules are AddCamerasState's; this is the window around them.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QPointer>
#include <QPushButton>

#include <functional>
#include <memory>

#include "package/resources.h"
#include "protocol/cgi_client.h"
#include "targets/add_cameras_state.h"
#include "targets/entry_terminals.h"

namespace vcq::ui {

class CameraListView;
class QtWindowPort;
class TargetCameraPage;
class VerifyList;

class AddCamerasDialog : public QDialog, public targets::EntryOwner {
    Q_OBJECT
  public:
    // `detected` receives the cameras on OK; its row count now sets the room
    // left. Each camera is asked within `limits`.
    AddCamerasDialog(CameraListView* detected, const ModelList& models, ExchangeLimits limits,
                     QWidget* parent = nullptr);
    ~AddCamerasDialog() override;

    // What "&Load from CSV..." reads; a file dialog unless replaced (tests).
    // An empty name reads nothing.
    using FileChooser = std::function<QString(QWidget* parent)>;
    static void SetFileChooser(FileChooser chooser);

    AddCamerasState& State() { return state_; }
    VerifyList* List() const { return list_; }
    QLabel* Counter() const { return counter_; }
    QPushButton* EditButton() const { return edit_; }
    QPushButton* AddButton() const { return add_; }
    QPushButton* DeleteButton() const { return delete_; }
    QPushButton* PasteButton() const { return paste_; }
    QPushButton* LoadCsvButton() const { return loadCsv_; }
    QPushButton* OkButton() const { return ok_; }
    QPushButton* CancelButton() const { return cancel_; }

    // Cancel, Esc and the window's close: asks first unless the list is empty.
    void reject() override;

    // targets::EntryOwner, for the entry terminals dialog.
    targets::EntryAddress CurrentAddress() const override;
    void CommitEntry(const targets::EntryAddress& address) override;
    void NextEntry() override;
    void PreviousEntry() override;
    int AddEntry() override;
    void DeleteEntry() override;
    bool IsQueued(int row) const override;
    int RowCount() const override;

  private:
    void OnEdit();
    void OnAdd();
    void OnDelete();
    void OnPaste();
    void OnLoadCsv();
    void OnOk();
    void OnVerifyTimer(uint32_t id);
    void OpenEntryTerminals(int position);
    // Queues the parsed entries that fit; a refused text adds nothing.
    void Import(CameraListParser& parser, bool parsed);
    // After rows were added, deleted or queued: the list, its selection, the
    // counter and the buttons.
    void RowsChanged();
    void UpdateButtons();

    QPointer<CameraListView> detected_;
    std::unique_ptr<QtWindowPort> port_;
    AddCamerasState state_;
    VerifyList* list_;
    QLabel* counter_;
    QPushButton* edit_;
    QPushButton* add_;
    QPushButton* delete_;
    QPushButton* paste_;
    QPushButton* loadCsv_;
    QPushButton* ok_;
    QPushButton* cancel_;
};

// "Add other cameras..." of the target camera page: the dialog over the
// page's list.
void RunAddCamerasDialog(TargetCameraPage& page, const ModelList& models, ExchangeLimits limits);

}  // namespace vcq::ui
