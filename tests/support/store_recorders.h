#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/document_store.h"

namespace morvel::test {

// Records every message the store sends, in order, and answers at once unless told to hold a
// message (its reply is then kept until release()).
class RecordingObserver : public StoreObserver {
  public:
    void onStoreMessage(const StoreMessage& message, MessageReply reply) override;

    // Messages matching this are held; set before the job starts.
    std::function<bool(const StoreMessage&)> holdIf;
    // Waits until a message is held; true when one was.
    bool waitHeld(std::chrono::milliseconds timeout = std::chrono::seconds(10));
    void release();

    // Waits until `count` messages with this id have arrived.
    bool waitFor(StoreMessageId id, int count = 1,
                 std::chrono::milliseconds timeout = std::chrono::seconds(10));
    int count(StoreMessageId id) const;
    std::vector<StoreMessage> messages() const;
    std::vector<std::string> statusTexts() const;

  private:
    mutable std::mutex mutex_;
    std::condition_variable cv_;
    std::vector<StoreMessage> messages_;
    std::vector<MessageReply> held_;
};

class RecordingStatus : public StatusText {
  public:
    void setStatusText(const std::string& text) override;
    std::vector<std::string> texts() const;

  private:
    mutable std::mutex mutex_;
    std::vector<std::string> texts_;
};

// A progress bar whose first step parks the worker: it signals `entered` and waits until
// `gate` is set (at most ten seconds), so a test can act while a job is certainly running;
// `left` is signalled as the parked step returns.
class GatedProgress : public ProgressModel {
  public:
    explicit GatedProgress(const ManualResetEvent* gate) : gate_(gate) {}
    void stepIt() override;
    void setGate(const ManualResetEvent* gate) { gate_ = gate; }
    ManualResetEvent entered;
    ManualResetEvent left;

  private:
    const ManualResetEvent* gate_;
    bool parked_ = false;
};

// Waits for the job's completion message and hands it to the store's completion handler,
// as the user interface does. Returns the message received (0 when none came).
int finishJob(CDocumentStore& store, RecordingObserver& observer);

}  // namespace morvel::test
