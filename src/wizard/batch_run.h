// One batch as the wizard runs it: the engine and the window port its jobs'
// one-second timers call. This is the one place that knows how long they
// live: a job given up on may still have a worker inside an exchange that
// reads the batch's settings and sets its timer on the port, so when such a
// worker is left both are let go of (the port closed, answering harmlessly)
// rather than destroyed under it.
#pragma once

#include <QWidget>

#include <functional>
#include <memory>

#include "upgrade/batch_engine.h"
#include "wizard/qt_window_port.h"

namespace vcq::ui {

class WizardBatchRun {
  public:
    // `makeJobs` gets the port the jobs' timers go to; `onTimer` is called
    // with those timers' ids on the UI thread.
    WizardBatchRun(QWidget* window, QtWindowPort::TimerHandler onTimer,
                   const std::function<BatchJobFactory(WindowPort* port)>& makeJobs);
    ~WizardBatchRun();
    WizardBatchRun(const WizardBatchRun&) = delete;
    WizardBatchRun& operator=(const WizardBatchRun&) = delete;

    BatchEngine& Engine() { return *engine_; }
    const BatchEngine& Engine() const { return *engine_; }
    QtWindowPort& Port() { return *port_; }

  private:
    std::unique_ptr<QtWindowPort> port_;
    std::unique_ptr<BatchEngine> engine_;
};

}  // namespace vcq::ui
