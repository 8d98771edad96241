#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "history/history_log.h"
#include "receiver/byte_source.h"
#include "receiver/line_error_decoder.h"
#include "receiver/read_backoff.h"
#include "receiver/serial_device.h"

// The infrared receiver's serial port: opened once, configured with the receiver's fixed
// line settings, then read one byte at a time.
class SerialLine : public ByteSource {
  public:
    static constexpr const char* ConfigErrorText = "Err";
    static constexpr const char* ReadErrorText = "COM READ ERROR!";

    // history receives the "Err" and "COM READ ERROR!" lines.
    SerialLine(std::string path, HistoryLog& history);
    // For tests: the same line over another device.
    SerialLine(std::string path, HistoryLog& history, std::unique_ptr<SerialDevice> device);
    ~SerialLine() override;
    SerialLine(const SerialLine&) = delete;
    SerialLine& operator=(const SerialLine&) = delete;

    // Opens the port read-only and exclusively. A failure is not reported in the history:
    // the configuration steps that follow then fail and say so.
    void OpenPort();
    // Applies 9600 8N1 raw; each of its three line-setting steps that fails adds "Err".
    void ConfigurePort();
    // Blocks until a byte arrives (0..255), the read fails (ReadFailed, after one
    // "COM READ ERROR!" line) or RequestStop was called (Stopped). After a failure the next
    // read first waits (see ReadBackoff) and, if the port was lost or never opened, reopens
    // and reconfigures it without adding "Err" lines; a missing port's wait ends as soon as
    // its path appears. Each "Err" and "COM READ ERROR!" line is explained (ExplainLine).
    int ReadByte() override;

    // Safe from any thread: wakes a blocked read or back-off wait; every later read
    // returns Stopped.
    void RequestStop();

  private:
    // One "COM READ ERROR!" line, explained by why.
    int Fail(const std::string& why);
    // Reopens a lost or absent port; false, with problem_ set, if it is still unusable.
    bool Reopen();
    // The four configuration steps; which of the three line-setting steps failed.
    std::array<bool, 3> RunConfigurationSteps();
    void LogOpenFailure(int error);

    std::string path_;
    HistoryLog& history_;
    std::unique_ptr<SerialDevice> device_;
    LineErrorDecoder decoder_;
    ReadBackoff backoff_;
    std::atomic<bool> stopRequested_{false};
    // The last reopen problem logged (an errno value, or NotConfigurable), so a port that
    // stays absent is not reported at every wait.
    static constexpr int NotConfigurable = -1;
    int loggedReopenProblem_ = 0;
    std::string openProblem_;  // why the last failed open failed, for the user
    std::string problem_;      // why the port is still unusable after a reopen
    // The last reopen opened the port but could not configure it: it is there, so a wait
    // for it to appear would end at once, and it is retried at the back-off's pace instead.
    bool openButUnusable_ = false;
    std::array<std::uint8_t, 64> buffer_{};
    std::size_t bufferStart_ = 0;
    std::size_t bufferEnd_ = 0;
};
