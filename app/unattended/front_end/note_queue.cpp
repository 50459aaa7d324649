#include "app/unattended/front_end/note_queue.h"

namespace orb::unattended {

void NoteQueue::post(std::function<void()> note) {
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.push_back(std::move(note));
    cv_.notify_one();
}

void NoteQueue::nudge() {
    if (!wantsChanges_.load()) return;
    std::lock_guard<std::mutex> lock(mutex_);
    modelChanged_ = true;
    cv_.notify_one();
}

void NoteQueue::waitForWork(std::optional<std::chrono::steady_clock::time_point> deadline) {
    std::unique_lock<std::mutex> lock(mutex_);
    auto ready = [this] { return !queue_.empty() || modelChanged_; };
    if (deadline)
        cv_.wait_until(lock, *deadline, ready);
    else
        cv_.wait(lock, ready);
}

Notes NoteQueue::takeWork() {
    Notes work;
    std::lock_guard<std::mutex> lock(mutex_);
    work.swap(queue_);
    modelChanged_ = false;
    return work;
}

Notes NoteQueue::takeNotes() {
    Notes rest;
    std::lock_guard<std::mutex> lock(mutex_);
    rest.swap(queue_);
    return rest;
}

}  // namespace orb::unattended
