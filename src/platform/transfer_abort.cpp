#include "platform/transfer_abort.h"

#include <utility>

namespace vcq {
namespace {

thread_local std::shared_ptr<TransferAbort> t_abort;

}  // namespace

void TransferAbort::Abort() {
    aborted_ = true;
    std::lock_guard lock(mutex_);
    for (auto& [id, stop] : running_) {
        if (stop)
            std::exchange(stop, nullptr)();
    }
}

size_t TransferAbort::Running() const {
    std::lock_guard lock(mutex_);
    return running_.size();
}

TransferAbort::Enlisted::Enlisted(std::shared_ptr<TransferAbort> abort, std::function<void()> stop)
    : abort_(std::move(abort)) {
    if (!abort_)
        return;
    std::lock_guard lock(abort_->mutex_);
    id_ = ++abort_->next_;
    // Asked to stop already: the transfer sees Aborted() and never starts.
    abort_->running_[id_] = abort_->aborted_ ? nullptr : std::move(stop);
}

TransferAbort::Enlisted::~Enlisted() {
    if (!abort_)
        return;
    std::lock_guard lock(abort_->mutex_);
    abort_->running_.erase(id_);
}

AbortScope::AbortScope(std::shared_ptr<TransferAbort> abort) : previous_(std::move(t_abort)) {
    t_abort = std::move(abort);
}

AbortScope::~AbortScope() {
    t_abort = std::move(previous_);
}

std::shared_ptr<TransferAbort> AbortFor(const std::shared_ptr<TransferAbort>& given) {
    return given ? given : t_abort;
}

}  // namespace vcq
