// Shared by the wizard tests and the screenshot tool: a message presenter
// that records every box and answers as scripted, and stand-in cameras.
#pragma once

#include <QDialog>
#include <QTemporaryDir>
#include <QThread>

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/socket.h"
#include "wizard/main_window.h"
#include "wizard/message_presenter.h"

namespace vcq::test {

// The longest the UI thread may go without running its event loop. Every camera
// exchange waits seconds, so a window that waited on one stalls far longer; a
// loaded machine (sanitizers, wine, two cores) alone can stall it a few hundred ms.
inline constexpr qint64 kMaxUiStallMs = 1000;

struct ShownBox {
    ui::MessageRequest request;
    bool onUiThread = false;
    int page = -1;  // the wizard's page index when it appeared, if known
};

class ScriptedPresenter : public ui::MessagePresenter {
  public:
    ScriptedPresenter() { ui::SetMessagePresenter(this); }
    ~ScriptedPresenter() override { ui::SetMessagePresenter(nullptr); }

    MessageAnswer Present(QWidget* parent, const ui::MessageRequest& request) override;

    // Answers for the next boxes, in order; then OK for an OK box and the
    // answer that changes nothing for the others.
    void Queue(MessageAnswer answer) { answers_.push_back(answer); }
    // Called with each box as it is shown (the screenshot tool grabs it).
    std::function<void(QWidget* parent, const ui::MessageRequest&)> onShow;
    ui::MainWindow* window = nullptr;  // to note the page of each box

    const std::vector<ShownBox>& Boxes() const { return boxes_; }
    std::vector<std::string> Texts() const;
    bool Saw(const std::string& text) const;
    void Clear() { boxes_.clear(); }

  private:
    std::deque<MessageAnswer> answers_;
    std::vector<ShownBox> boxes_;
};

// Bounds short enough that a failing exchange does not stall a test.
ExchangeLimits ShortLimits();

// A Windows development build never broadcasts: there a test's discovery
// responder listens on loopback and the wizard asks it directly.
#ifdef _WIN32
inline constexpr bool kDiscoveryByUnicast = true;
#else
inline constexpr bool kDiscoveryByUnicast = false;
#endif
// Where a wizard test's discovery responder listens: 0.0.0.0:2380, or
// 127.0.0.1 on a port of the system's choice where the wizard asks directly.
net::Endpoint ResponderListen();

// A wizard shown, active and noted by `boxes`, its workspace in `tempFolder`.
// With discovery, `responderPort` is where ResponderListen()'s responder ended
// up; it matters only where discovery goes by unicast (0: the broadcast).
std::unique_ptr<ui::MainWindow> OpenWizard(ScriptedPresenter& boxes, const QString& tempFolder,
                                           bool discovery, ExchangeLimits limits = ShortLimits(),
                                           uint16_t responderPort = 0);

// What a wizard test case starts from: the Fusion style, configuration
// backups under a temporary folder, a scripted presenter per case, and the
// wizard without discovery.
struct WizardHarness {
    // From initTestCase: false when the temporary folder cannot be made.
    bool Start();
    // From init and cleanup.
    void Begin() { boxes = std::make_unique<ScriptedPresenter>(); }
    void End() {
        window.reset();
        boxes.reset();
    }
    // The wizard shown and active, workspace in the temporary folder.
    ui::MainWindow& Open();

    QTemporaryDir temp;
    std::unique_ptr<ScriptedPresenter> boxes;
    std::unique_ptr<ui::MainWindow> window;
};

bool InsideIsolatedNetwork();

// Runs `act` on the modal dialog that the next call opens.
void OnNextDialog(const std::function<void(QDialog&)>& act);

}  // namespace vcq::test
