#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "serial/line_error_decoder.h"
#include "serial/serial_device.h"
#include "source/key_source.h"
#include "source/read_backoff.h"

// The infrared receiver's serial port as a key source: opened once, configured with the
// receiver's fixed line settings, then read as two-byte events (a prefix and a code; any
// other byte where a prefix is due is a stray). A key is named by its code.
class SerialLine : public KeySource {
  public:
    // What ReadByte gives besides a byte.
    static constexpr int ReadFailed = -1;
    static constexpr int Stopped = -2;
    // What Recover gives when the deadline came first.
    static constexpr int Late = -3;

    // device: the platform's (MakeSerialDevice), or a test's.
    SerialLine(std::string path, std::unique_ptr<SerialDevice> device);
    ~SerialLine() override;
    SerialLine(const SerialLine&) = delete;
    SerialLine& operator=(const SerialLine&) = delete;

    // Opens the port read-only and exclusively.
    void Open() override;
    // 9600 8N1 raw: a condition for each of the three line-setting steps that fails.
    std::vector<SourceCondition> Configure() override;
    // An event says whether its bytes had been waiting in the port when asked for or read,
    // and whether more were waiting behind it (in the port, or read but not handed out).
    // After a failure the next call first waits (see ReadBackoff) and, if the port was lost
    // or never opened, reopens and reconfigures it (Back when that worked); a missing
    // port's wait ends as soon as its path appears.
    SourceItem Next() override;
    // The deadline bounds the wait for an event's first byte, and a recovery's pause.
    SourceItem NextBefore(Deadline until) override;
    void RequestStop() override;

    // One byte (0..255), a failed read (ReadFailed; LastFailure says why) or Stopped. After
    // a failure it first waits and reopens as Next does.
    int ReadByte();
    const SourceCondition& LastFailure() const { return failure_; }

  private:
    int Fail(SourceCondition::Kind kind, std::string why);
    // After a failure: the back-off's wait, then a reopen of a lost port. 0 when the port
    // may be read, else ReadFailed or Stopped.
    int Recover(Deadline until = Deadline::max());
    // Bytes already here to be read without waiting, in the buffer or in the port.
    bool InputWaiting();
    // Reopens a lost or absent port; false, with failure_ set, if it is still unusable.
    bool Reopen();
    // The four configuration steps; which of the three line-setting steps failed.
    std::array<bool, 3> RunConfigurationSteps();
    // Why the port did not open, as a condition.
    SourceCondition OpenFailure(int error);

    std::string path_;
    std::unique_ptr<SerialDevice> device_;
    LineErrorDecoder decoder_;
    ReadBackoff backoff_;
    std::atomic<bool> stopRequested_{false};
    // The last reopen problem logged (an errno value, or NotConfigurable), so a port that
    // stays absent is not reported at every wait.
    static constexpr int NotConfigurable = -1;
    int loggedReopenProblem_ = 0;
    SourceCondition openFailure_{SourceCondition::Kind::CannotOpen, {}};
    SourceCondition failure_{SourceCondition::Kind::Lost, {}};
    // The last reopen opened the port but could not configure it: it is there, so a wait
    // for it to appear would end at once, and it is retried at the back-off's pace instead.
    bool openButUnusable_ = false;
    // Next has just reopened the port and said so: read at once, without the back-off's wait.
    bool justReopened_ = false;
    std::array<std::uint8_t, 64> buffer_{};
    std::size_t bufferStart_ = 0;
    std::size_t bufferEnd_ = 0;
    // The bytes in the buffer were already waiting in the port when they were read.
    bool chunkQueued_ = false;
};
