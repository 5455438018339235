#include "tests/support/store_recorders.h"

#include <vector>

namespace morvel::test {

void RecordingObserver::onStoreMessage(const StoreMessage& message, MessageReply reply) {
    std::lock_guard lock(mutex_);
    messages_.push_back(message);
    if (holdIf && holdIf(message))
        held_.push_back(reply);
    else
        reply.handled();
    cv_.notify_all();
}

bool RecordingObserver::waitHeld(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return cv_.wait_for(lock, timeout, [this] { return !held_.empty(); });
}

void RecordingObserver::release() {
    std::vector<MessageReply> replies;
    {
        std::lock_guard lock(mutex_);
        replies.swap(held_);
        holdIf = nullptr;
    }
    for (const MessageReply& r : replies)
        r.handled();
}

bool RecordingObserver::waitFor(StoreMessageId id, int count, std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return cv_.wait_for(lock, timeout, [&] {
        int n = 0;
        for (const StoreMessage& m : messages_)
            n += m.id == id;
        return n >= count;
    });
}

int RecordingObserver::count(StoreMessageId id) const {
    std::lock_guard lock(mutex_);
    int n = 0;
    for (const StoreMessage& m : messages_)
        n += m.id == id;
    return n;
}

std::vector<StoreMessage> RecordingObserver::messages() const {
    std::lock_guard lock(mutex_);
    return messages_;
}

std::vector<std::string> RecordingObserver::statusTexts() const {
    std::vector<std::string> out;
    for (const StoreMessage& m : messages())
        if (m.id == WM_STATUS_TEXT)
            out.push_back(m.text);
    return out;
}

void RecordingStatus::setStatusText(const std::string& text) {
    std::lock_guard lock(mutex_);
    texts_.push_back(text);
}

std::vector<std::string> RecordingStatus::texts() const {
    std::lock_guard lock(mutex_);
    return texts_;
}

void GatedProgress::stepIt() {
    ProgressModel::stepIt();
    if (parked_ || !gate_)
        return;
    parked_ = true;
    entered.set();
    gate_->waitFor(std::chrono::seconds(10));
    left.set();
}

int finishJob(CDocumentStore& store, RecordingObserver& observer) {
    if (!store.WaitForWorker(std::chrono::seconds(20)))
        return 0;
    const std::vector<StoreMessage> messages = observer.messages();
    for (auto it = messages.rbegin(); it != messages.rend(); ++it) {
        if (it->id == WM_RECOVERY_DONE) {
            store.OnRecoveryDone();
            return WM_RECOVERY_DONE;
        }
        if (it->id == WM_RECOVERY_FAILED) {
            store.OnRecoveryFailed();
            return WM_RECOVERY_FAILED;
        }
    }
    return 0;
}

}  // namespace morvel::test
