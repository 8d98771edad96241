#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "finder/remote_candidates.h"
#include "serial/serial_device.h"
#include "source/key_source.h"
#include "source/receiver_loop.h"

// Finds the receiver's port by listening on several ports at once, each set up as the
// receiver's own line, and on any other key sources beside them, on one receiver loop, until
// a key press arrives on one. Noise on a port can hold a press by chance (PressTally). A port
// held by another program (its exclusive open, its lock, a lock file) is never taken from it.
class PortFinder {
  public:
    // How long a search waits for a key.
    static constexpr std::chrono::seconds KeyLimit{30};
    using DeviceMaker = std::function<std::unique_ptr<SerialDevice>()>;

    explicit PortFinder(DeviceMaker makeDevice = MakeSerialDevice);
    ~PortFinder();
    PortFinder(const PortFinder&) = delete;
    PortFinder& operator=(const PortFinder&) = delete;

    // Opens and sets up each candidate, and starts listening. Those that cannot be used are
    // said in Problems, one line each that names the port. The names of those listened on.
    std::vector<std::string> Listen(const std::vector<std::string>& candidates);
    // Opens and sets up source, named name, and starts listening on it; false, with why
    // said in Problems, when it cannot be used.
    bool ListenTo(const std::string& name, std::unique_ptr<KeySource> source);
    const std::vector<std::string>& Problems() const { return problems_; }

    // The candidate found, or empty when limit passed first or every port was lost.
    // Listening ends and the ports are closed either way. When a press came but more than
    // one port has sent something, askAgain is called (once) so the user presses again, and
    // limit starts anew.
    std::string Await(std::chrono::milliseconds limit,
                      const std::function<void()>& askAgain = nullptr);

  private:
    DeviceMaker makeDevice_;
    std::vector<std::string> problems_;
    std::unique_ptr<ReceiverLoop> loop_;
    std::vector<std::string> names_;  // by the loop's index of each source
};

// Keeps a found port or source for the runs to come, in the settings file.
struct PortKeeping {
    // Where it is kept, for the question; and the line to add there when save is empty.
    std::string where;
    // Keeps value as setting ("port", "lircd", "input"): beside the sources kept there (add),
    // or in place of them; false, with problem said, when it could not. Empty: the user is
    // told the line to add instead.
    std::function<bool(const std::string& setting, const std::string& value, bool add,
                       std::string& problem)>
        save;
};

// Where a key press was found: the setting that keeps it, and its value there ("port" and
// the port by its stable name). Empty when nothing was found.
struct FoundRemote {
    std::string setting;
    std::string value;
};

// A line the user typed, as an answer; none at the end of typing.
using AnswerReader = std::function<std::optional<std::string>()>;

// The search as the user sees it (--find-port, and --learn without a source): listens on
// candidates (the machine's serial ports when there are none) and on others, says which
// cannot be used, asks for any key, says where it arrived (a port by its stable name), and
// offers to keep that beside the sources kept already, or in their place: asks (and reads
// the answer) only when ask, since typing is at a terminal.
FoundRemote FindPortSession(const std::vector<std::string>& candidates,
                            const std::vector<RemoteCandidate>& others, const AnswerReader& answer,
                            bool ask, std::ostream& out, std::ostream& err,
                            const PortKeeping& keeping,
                            std::chrono::milliseconds limit = PortFinder::KeyLimit);
