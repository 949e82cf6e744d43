// One batch as the wizard runs it: the core's BatchRun (the engine, and the
// model list and workspace its jobs share) with the window port their
// one-second timers call. The lifetime rule is BatchRun's: the run goes only
// once every thread of its jobs has ended, within its bound; the page keeps
// the run for its own life, so that wait can only come after the window has
// closed.
#pragma once

#include <QWidget>

#include <memory>
#include <string>

#include "upgrade/batch_run.h"
#include "wizard/qt_window_port.h"

namespace vcq::ui {

class WizardBatchRun {
  public:
    // `onTimer` is called with the jobs' timer ids on the UI thread.
    WizardBatchRun(QWidget* window, QtWindowPort::TimerHandler onTimer, const ModelList& models,
                   std::string targetVersion, std::shared_ptr<PackageWorkspace> workspace);
    ~WizardBatchRun();
    WizardBatchRun(const WizardBatchRun&) = delete;
    WizardBatchRun& operator=(const WizardBatchRun&) = delete;

    BatchEngine& Engine() { return run_->Engine(); }
    const BatchEngine& Engine() const { return run_->Engine(); }
    QtWindowPort& Port() { return *port_; }
    // Threads still running for jobs the engine retired or gave up.
    size_t BusyLeftovers() { return run_->Engine().BusyLeftovers(); }

  private:
    std::shared_ptr<QtWindowPort> port_;
    std::unique_ptr<BatchRun> run_;
};

}  // namespace vcq::ui
