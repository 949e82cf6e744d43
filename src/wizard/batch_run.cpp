#include "wizard/batch_run.h"

namespace vcq::ui {

WizardBatchRun::WizardBatchRun(QWidget* window, QtWindowPort::TimerHandler onTimer,
                               const std::function<BatchJobFactory(WindowPort*)>& makeJobs)
    : port_(std::make_unique<QtWindowPort>(window, std::move(onTimer), nullptr)),
      engine_(std::make_unique<BatchEngine>(makeJobs(port_.get()))) {}

WizardBatchRun::~WizardBatchRun() {
    port_->Close();
    engine_->Clear();
    if (engine_->BusyLeftovers() == 0)
        return;
    // Those workers still read the batch's settings in the engine and call
    // the port (closed, it answers harmlessly): both must outlive them.
    (void)engine_.release();
    (void)port_.release();
}

}  // namespace vcq::ui
