#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "serial/serial_device.h"
#include "serial/serial_event_decoder.h"
#include "source/key_source.h"
#include "source/reopening.h"
#include "source/source_health.h"

// The infrared receiver's serial port as a key source: opened once, configured with the
// receiver's fixed line settings, then read as two-byte events (SerialEventDecoder). A read
// that fails, a line error included, is an item of its own (the history's "COM READ
// ERROR!"); the next read then waits the back-off (100 ms doubling to a minute, cleared by a
// good byte), so a failing port cannot flood. A lost or missing port is opened again at that
// pace, and at once when its path appears; each try that fails is an item, and one that
// works is Back.
class SerialLine : public KeySource {
  public:
    // device: the platform's (MakeSerialDevice), or a test's.
    SerialLine(std::string path, std::unique_ptr<SerialDevice> device);
    ~SerialLine() override;
    SerialLine(const SerialLine&) = delete;
    SerialLine& operator=(const SerialLine&) = delete;

    // Opens the port read-only and exclusively.
    void Open() override;
    // 9600 8N1 raw: a condition for each of the three line-setting steps that fails.
    std::vector<SourceCondition> Configure() override;
    void Attach(EventLoop& loop, SourceOutput& out) override;
    const LogCategory& Log() const override;
    std::string_view Kind() const override { return "serial"; }

  private:
    // Reads what the port has, a few reads at most: the rest when the loop comes back.
    void ReadReady();
    // A read failed or the line was damaged: said, and reading waits the back-off.
    void Fail(SourceCondition why, bool lost);
    // The back-off's wait is over: reading goes on, or the port is opened again.
    void Resume();
    // Opens a lost or absent port again; false, and why said, when it is still unusable.
    bool Reopen();
    // The four configuration steps; which of the three line-setting steps failed.
    std::array<bool, 3> RunConfigurationSteps();
    // The port did not open: why, as a condition (said in the log once a problem).
    void OpenFailed(const SerialError& error);
    void Watch();
    void Close();

    std::string path_;
    std::unique_ptr<SerialDevice> device_;
    SerialEventDecoder decoder_;
    EventLoop* loop_ = nullptr;
    std::unique_ptr<EventLoop::Watch> ready_;    // the port's input, while it is read
    std::unique_ptr<EventLoop::Watch> arrival_;  // the path, while the port is missing
    Reopening reopening_;
    SourceHealth health_;
    SourceCondition openFailure_{SourceCondition::Kind::CannotOpen, {}};
    std::vector<SourceItem> items_;
    std::array<std::uint8_t, 64> buffer_{};
};
