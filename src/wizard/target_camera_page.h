// The target camera page of automatic mode: waits for discovery, lists the
// cameras it found, refuses to go on while two share an address, and keeps
// Next enabled only while every ticked camera has a login. Its buttons open
// the login dialogs, add other cameras and verify logins ("Testing...").
#pragma once

#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QWidget>

#include <functional>

#include "discovery/camera_record.h"
#include "platform/window_port.h"
#include "wizard/lists/camera_list_view.h"

namespace vcq::ui {

inline constexpr int kTargetPageTimerMs = 500;
inline constexpr int kRevealSteps = 10;
inline constexpr int kRevealStepMs = 10;

class TargetCameraPage : public QWidget {
    Q_OBJECT
  public:
    // `setButtonMode` is the main window's; `relaxed` tells whether the
    // relaxed-address mode is on. `table` may be null (no discovery).
    TargetCameraPage(const DiscoveryTable* table, WindowPort* owner,
                     std::function<void(int mode)> setButtonMode, std::function<bool()> relaxed,
                     QWidget* parent = nullptr);

    // The main window shows the page.
    void PageShown();
    bool Validate();
    void Populate();

    // What "Add other cameras..." opens; nothing until that dialog exists.
    void SetAddOtherCameras(std::function<void(TargetCameraPage&)> open) {
        addOther_ = std::move(open);
    }

    CameraListView* List() const { return list_; }
    QLabel* Counter() const { return counter_; }
    // Which networks discovery searches, shown while it runs.
    QLabel* Searching() const { return searching_; }
    QPushButton* SelectAllButton() const { return selectAll_; }
    QPushButton* AccessButton() const { return access_; }
    QPushButton* AddOtherButton() const { return addOtherButton_; }
    QPushButton* TestingButton() const { return testing_; }
    QPushButton* RevealButton() const { return reveal_; }
    bool Discovering() const { return discovering_; }
    bool Testing() const { return testingFlag_; }
    bool Blocked() const { return blocked_; }
    bool Expanded() const { return expanded_; }
    bool Animating() const { return animation_.isActive(); }

  public slots:
    void LoginsChanged();
    void SelectionChanged(bool anySelected);
    void TestingEnded();
    void SelectAllClicked();
    void AccessClicked();
    void AddOtherClicked();
    void TestingClicked();
    void RevealClicked();

  private:
    void PageTimer();
    // The networks searched and those left out with their reason.
    void ShowNetworks(bool searching);
    void ShowCount();
    void RowsChanged();
    void Block();
    void SetButtonModeByLogins();
    void UpdateCursor();
    void RevealStep();
    void PlaceRevealed(int visible);

    const DiscoveryTable* table_;
    WindowPort* owner_;
    std::function<void(int)> setButtonMode_;
    std::function<bool()> relaxed_;
    std::function<void(TargetCameraPage&)> addOther_;

    CameraListView* list_;
    QLabel* counter_;
    QLabel* searching_;
    QPushButton* selectAll_;
    QPushButton* access_;
    QPushButton* addOtherButton_;
    QPushButton* testing_;
    QPushButton* reveal_;
    QWidget* revealArea_;
    QTimer pageTimer_;
    QTimer animation_;
    int animationStep_ = 0;
    QRect addHome_;
    QRect testingHome_;

    bool discovering_ = false;
    bool testingFlag_ = false;
    bool blocked_ = false;
    bool expanded_ = false;
};

}  // namespace vcq::ui
