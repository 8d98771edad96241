#pragma once

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "tests/lircd/lircd_rig.h"
#include "tools/virtual_port.h"

// Key sources beside the serial receiver a bench sends its keys on, for the cost of reading
// several at once. "three": a second serial receiver and a real lircd, both idle; "absent":
// the same with lircd stopped, its socket gone, so it is looked for; anything else: none.
class OtherSources {
  public:
    explicit OtherSources(const std::string& kind) {
        if (kind != "three" && kind != "absent") {
            return;
        }
        second_ = VirtualPort::CreatePty();
        options_ = {"--port", second_->readerPath(), "--lircd=" + lircd_.Socket()};
        if (kind == "three" && !lircd_.Start()) {
            std::printf("lircd: %s\n", lircd_.Error().c_str());
            std::exit(1);
        }
    }
    // quorvel's options naming them.
    const std::vector<std::string>& Options() const { return options_; }
    // Waits until quorvel reads them all (its second port raw, lircd with a client).
    bool Reading() const {
        return second_ == nullptr || second_->WaitForRawReader(std::chrono::seconds(30));
    }

  private:
    LircdRig lircd_;
    std::unique_ptr<VirtualPort> second_;
    std::vector<std::string> options_;
};
