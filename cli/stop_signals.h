#pragma once

#include <csignal>
#include <thread>

#include "core/run_folder.h"
#include "platform/file_io.h"

namespace morvel::cli {

// Ends the process cleanly on SIGINT, SIGTERM or SIGHUP: the temporary files being written and
// the run folder are removed, what was printed is flushed, and the process exits with 128 plus
// the signal's number (130, 143, 129). A signal that was ignored when the program started
// (nohup, a background job) stays ignored.
//
// The signals are blocked in the constructing thread, so make the object before any other
// thread starts: every later thread inherits the mask and only the watcher receives them.
// The watcher reads the run folder's path under partials' lock: create the folder under it.
class StopSignals {
  public:
    StopSignals(PartialFiles& partials, const RunFolder& runFolder);
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

  private:
    void watch();

    PartialFiles& partials_;
    const RunFolder& runFolder_;
    sigset_t caught_;
    int signalFd_ = -1;
    int wakeFd_ = -1;  // written by the destructor to end the watcher
    std::thread watcher_;
};

}  // namespace morvel::cli
