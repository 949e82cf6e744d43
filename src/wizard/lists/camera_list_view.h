// The detected camera list (target camera page): ticks by mouse and space
// bar, sorting by header (or Ctrl+1 to Ctrl+7), a camera's web page on
// double-click, the DHCP
// address tooltip, and the verification of logins ("Testing..."), whose
// exchanges run on worker threads while a 500 ms timer applies their
// results here.
#pragma once

#include <QPointer>
#include <QTimer>

#include <memory>
#include <string>
#include <vector>

#include "platform/window_port.h"
#include "targets/camera_list.h"
#include "wizard/lists/camera_list_model.h"
#include "wizard/lists/list_view.h"

namespace vcq::ui {

inline constexpr uint32_t kVerificationTimer = 0x8010;
inline constexpr int kVerificationPeriodMs = 500;
inline constexpr int kTooltipDelayMs = 100;

class CameraListView : public ListView {
    Q_OBJECT
  public:
    // `owner` shows the list's message boxes.
    explicit CameraListView(WindowPort* owner, QWidget* parent = nullptr);
    ~CameraListView() override;

    CameraList& Rows() { return rows_; }
    CameraListModel& Model() { return *model_; }
    int Count() const { return rows_.Count(); }

    bool AddRow(int position, const std::string& mac, const std::string& addressText,
                const std::string& model, const std::string& serial, const std::string& version,
                const Ipv4& ip, int32_t port, int32_t tag);
    // Adds the discovery records not yet listed; returns the row count.
    int Populate(const std::vector<CameraRecord>& records);
    void Clear();
    // While discovery is still waiting for answers the list is greyed and
    // says "Searching...".
    void SetSearching(bool searching);
    bool Searching() const { return searching_; }

    std::vector<int> SelectedRows() const;
    int FirstSelectedRow() const;
    bool AnySelected() const;
    void SelectFirst();
    void SelectAll();
    // Moves the selection (and focus) one row up or down at once, so that
    // the next handler already finds it there.
    void MoveSelectionUp();
    void MoveSelectionDown();

    void GetLogin(int row, std::string& name, std::string& password) const;
    void GetLoginAndAddress(int row, std::string& name, std::string& password, Ipv4& ip) const;
    void SetLogin(int row, const std::string& name, const std::string& password);
    bool GetTargetRow(int row, TargetRow& out) const { return rows_.GetTargetRow(row, out); }
    Ipv4 GetAddress(int row) const { return rows_.GetAddress(row); }
    bool AllTickedHaveLogin() const { return rows_.AllTickedHaveLogin(); }
    // True without duplicates; else shows the duplicate-address message.
    bool CheckDuplicateAddresses();

    // Verifies the selected rows' logins.
    void StartVerification();
    bool Verifying() const { return rows_.Verifying(); }
    void SetExchangeLimits(const ExchangeLimits& limits);

    // The tooltip text now, if any (for tests and screen readers).
    QString TooltipText() const { return tooltipText_; }

  signals:
    void LoginsChanged();
    void SelectionChanged(bool anySelected);
    void TestingEnded();

  protected:
    void HeaderPressed(int column) override;
    void OnListTimer(uint32_t id) override;

    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

    // Toggles ticks for a press at `point`; false when it is not on a tick.
    bool PressTick(const QPoint& point);
    void UpdateTooltip(const QPoint& point);
    void SelectRow(int row);

  private:
    WindowPort* owner_;
    CameraList rows_;
    CameraListModel* model_;
    int tooltipRow_ = -1;
    int tooltipColumn_ = -1;
    bool searching_ = false;
    QString tooltipText_;
    QPoint tooltipAt_;
    QTimer tooltipTimer_;
};

}  // namespace vcq::ui
