#include "wizard/batch_run.h"

namespace vcq::ui {

WizardBatchRun::WizardBatchRun(QWidget* window, QtWindowPort::TimerHandler onTimer,
                               const ModelList& models, std::string targetVersion,
                               std::shared_ptr<PackageWorkspace> workspace)
    : port_(std::make_shared<QtWindowPort>(window, std::move(onTimer), nullptr)) {
    auto resources = std::make_shared<BatchResources>();
    resources->models = models;
    resources->targetVersion = std::move(targetVersion);
    resources->window = port_;
    resources->workspace = std::move(workspace);
    // The main window removes the workspace once the batch's threads are over.
    resources->removeWorkspace = false;
    run_ = std::make_unique<BatchRun>(std::move(resources));
}

WizardBatchRun::~WizardBatchRun() {
    // Closed first: a worker waiting for a box gets its answer and can end.
    port_->Close();
    run_->Engine().Clear();
    if (run_->Finish(BatchRun::kFinishBound)) {
        run_.reset();
        return;
    }
    // A worker stuck past every bound still reads the engine's settings and
    // calls the port (closed, it answers harmlessly): the run stays, and with
    // it the port it shares.
    (void)run_.release();
}

}  // namespace vcq::ui
