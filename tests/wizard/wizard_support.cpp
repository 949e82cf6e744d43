#include "wizard_support.h"

#include <QApplication>
#include <QStyleFactory>
#include <QTest>
#include <QTimer>

#include <cstdlib>
#include <cstring>

namespace vcq::test {

namespace {
constexpr uint32_t kLoopback = 0x7F000001;
}  // namespace

MessageAnswer ScriptedPresenter::Present(QWidget* parent, const ui::MessageRequest& request) {
    boxes_.push_back({request, QThread::currentThread() == QApplication::instance()->thread(),
                      window ? window->PageIndex() : -1});
    if (onShow)
        onShow(parent, request);
    if (!answers_.empty()) {
        MessageAnswer answer = answers_.front();
        answers_.pop_front();
        return answer;
    }
    return request.buttons == MessageButtons::Ok ? MessageAnswer::Ok
                                                 : ui::DefaultAnswer(request.buttons);
}

std::vector<std::string> ScriptedPresenter::Texts() const {
    std::vector<std::string> texts;
    for (const ShownBox& box : boxes_)
        texts.push_back(box.request.text);
    return texts;
}

bool ScriptedPresenter::Saw(const std::string& text) const {
    for (const ShownBox& box : boxes_) {
        if (box.request.text == text)
            return true;
    }
    return false;
}

ExchangeLimits ShortLimits() {
    ExchangeLimits limits;
    limits.connect = std::chrono::milliseconds(1000);
    limits.read = std::chrono::milliseconds(3000);
    limits.total = std::chrono::milliseconds(10000);
    return limits;
}

net::Endpoint ResponderListen() {
    if (kDiscoveryByUnicast)
        return {kLoopback, 0};
    return {0, 2380};
}

std::unique_ptr<ui::MainWindow> OpenWizard(ScriptedPresenter& boxes, const QString& tempFolder,
                                           bool discovery, ExchangeLimits limits,
                                           uint16_t responderPort) {
    ui::WizardOptions options;
    options.discovery = discovery;
    if (discovery && kDiscoveryByUnicast && responderPort != 0) {
        options.discoveryOptions.destination = {kLoopback, responderPort};
        options.discoveryOptions.everyInterface = false;
    }
    options.tempFolder = tempFolder.toStdString();
    options.limits = limits;
    auto window = std::make_unique<ui::MainWindow>(options);
    boxes.window = window.get();
    window->show();
    QApplication::setActiveWindow(window.get());
    [[maybe_unused]] bool active = QTest::qWaitForWindowActive(window.get());
    return window;
}

bool WizardHarness::Start() {
    QApplication::setStyle(QStyleFactory::create("Fusion"));
    qputenv("ProgramFiles", (temp.path() + "/pf").toUtf8());
    return temp.isValid();
}

ui::MainWindow& WizardHarness::Open() {
    window = OpenWizard(*boxes, temp.path(), false);
    return *window;
}

bool InsideIsolatedNetwork() {
    const char* flag = std::getenv("VCQ_ISOLATED");
    return flag && std::strcmp(flag, "1") == 0;
}

void OnNextDialog(const std::function<void(QDialog&)>& act) {
    QTimer::singleShot(0, [act] {
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
            act(*dialog);
    });
}

}  // namespace vcq::test
