#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "platform/manual_reset_event.h"

namespace morvel {

// Messages from the store to its user interface. The numbers are the window message numbers
// the program has always used, so logs and tests can name them either way.
enum StoreMessageId : int {
    WM_RECOVERY_DONE = 2025,    // the job ended with success
    WM_RECOVERY_FAILED = 2026,  // the job ended with failure or was stopped
    WM_STATUS_TEXT = 2028,      // show `text` as the status text
    WM_REBUILD_TREE = 2029      // rebuild the document tree from the table
};

// How long a sender waits for the receiver to handle a message before it goes on.
inline constexpr std::chrono::milliseconds kMessageTimeout{3000};

struct StoreMessage {
    StoreMessageId id;
    std::string text;  // WM_STATUS_TEXT: the store's status message when it was sent
};

// The receiver's answer to one message. Copies share one state; handled() may be called from
// any thread and at any time, also after the sender has stopped waiting.
class MessageReply {
  public:
    MessageReply() : done_(std::make_shared<ManualResetEvent>(false)) {}
    void handled() const { done_->set(); }
    bool waitHandled(std::chrono::milliseconds timeout) const { return done_->waitFor(timeout); }
    bool sameAs(const MessageReply& other) const { return done_ == other.done_; }

  private:
    std::shared_ptr<ManualResetEvent> done_;
};

// The user interface side of the store. onStoreMessage is called on the sending thread (the
// worker for the job's messages, the caller's thread for Stop and the completion handlers)
// and must return quickly: either handle the message and call reply.handled(), or hand both
// to the user-interface thread, which calls reply.handled() once it has handled the message.
// The sender waits at most the store's message time-out (kMessageTimeout) for that.
// A receiver that is called on its own user-interface thread must handle the message at once;
// it may call back into the store (a completion handler, Stop) while doing so.
class StoreObserver {
  public:
    virtual ~StoreObserver() = default;
    virtual void onStoreMessage(const StoreMessage& message, MessageReply reply) = 0;
};

}  // namespace morvel
