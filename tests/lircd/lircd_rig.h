#pragma once

#include <string>

#include "tests/doubles/scratch_folder.h"
#include "tests/player/child_process.h"

// A real lircd (Debian's lirc) on a socket in a scratch folder, with no hardware: its file
// driver reads nothing, and keys are injected with irsend SIMULATE. Its remote, "remote",
// has KEY_PLAYPAUSE, KEY_VOLUMEUP and KEY_RED. Used from one thread.
class LircdRig {
  public:
    LircdRig();
    ~LircdRig();
    LircdRig(const LircdRig&) = delete;
    LircdRig& operator=(const LircdRig&) = delete;

    // Whether lircd and irsend are installed; tests skip, saying so, when they are not.
    static bool Available();

    // Starts lircd and waits until its socket takes connections; false, with Error(), if not.
    bool Start();
    // Ends it (SIGTERM) and waits; its socket is gone then.
    void Stop();
    const std::string& Error() const { return error_; }
    std::string Socket() const { return folder_ / "lircd.socket"; }
    pid_t Pid() const { return lircd_.Pid(); }

    // How many clients the lircd started last has now (irsend's come and go).
    int Clients() const;
    // Has lircd send a button as decoded: repeat 0 is a press, more a repeat.
    bool Send(const std::string& button, int repeat = 0, const std::string& remote = "remote");

  private:
    ScratchFolder folder_;
    ChildProcess lircd_;
    std::string error_;
    std::size_t logStart_ = 0;  // where the log of the lircd started last begins
};
