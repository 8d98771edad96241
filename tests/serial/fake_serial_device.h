#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "serial/serial_device.h"

// A serial device run from a script. Every call is recorded in calls; reads past the end
// of the script report Stopped so a test cannot hang.
class FakeSerialDevice : public SerialDevice {
  public:
    struct Step {
        ReadStatus status;
        std::vector<std::uint8_t> bytes = {};
        int error = 0;
        bool waiting = false;  // already there before being read (InputWaiting)
    };

    static Step Bytes(std::vector<std::uint8_t> bytes) {
        return {ReadStatus::Data, std::move(bytes)};
    }
    // Bytes that came while nobody read, as behind a slow call.
    static Step Waiting(std::vector<std::uint8_t> bytes) {
        return {ReadStatus::Data, std::move(bytes), 0, true};
    }
    static Step HangUp() { return {ReadStatus::HungUp}; }
    static Step Failure(int error) { return {ReadStatus::Failed, {}, error}; }

    // Results of the next opens; once used up, opens succeed.
    std::deque<int> openErrors;
    bool readSettingsOk = true;
    bool writeLineSettingsOk = true;
    bool prepareQueuesOk = true;
    bool writeTimeoutsOk = true;
    std::deque<Step> reads;
    // Runs inside Pause, before it returns; a test can request a stop from here.
    std::function<void()> onPause;

    std::vector<std::string> calls;
    std::vector<std::chrono::milliseconds> pauses;

    int Open(const std::string& path) override {
        calls.push_back("Open " + path);
        open_ = false;
        int error = 0;
        if (!openErrors.empty()) {
            error = openErrors.front();
            openErrors.pop_front();
        }
        open_ = error == 0;
        return error;
    }
    void Close() override {
        calls.push_back("Close");
        open_ = false;
    }
    bool IsOpen() const override { return open_; }

    bool ReadSettings() override { return RunStep("ReadSettings", readSettingsOk); }
    bool WriteLineSettings() override { return RunStep("WriteLineSettings", writeLineSettingsOk); }
    bool PrepareQueues() override { return RunStep("PrepareQueues", prepareQueuesOk); }
    bool WriteTimeouts() override { return RunStep("WriteTimeouts", writeTimeoutsOk); }

    ReadResult Read(std::span<std::uint8_t> buffer) override {
        calls.push_back("Read");
        EXPECT_TRUE(open_) << "read from a closed port";
        if (woken_ || reads.empty()) {
            return {ReadStatus::Stopped};
        }
        Step& step = reads.front();
        if (step.status != ReadStatus::Data) {
            const ReadResult result{step.status, 0, step.error};
            reads.pop_front();
            return result;
        }
        // A step longer than the buffer is handed out over several reads.
        const std::size_t count = std::min(buffer.size(), step.bytes.size());
        std::copy_n(step.bytes.begin(), count, buffer.begin());
        step.bytes.erase(step.bytes.begin(), step.bytes.begin() + count);
        if (step.bytes.empty()) {
            reads.pop_front();
        }
        return {ReadStatus::Data, count};
    }

    bool InputWaiting() override { return !reads.empty() && reads.front().waiting; }

    bool Pause(std::chrono::milliseconds duration) override {
        pauses.push_back(duration);
        if (onPause) {
            onPause();
        }
        return !woken_;
    }
    bool AwaitPath(const std::string& path, std::chrono::milliseconds duration) override {
        calls.push_back("AwaitPath " + path);
        return Pause(duration);
    }
    void Wake() override { woken_ = true; }
    std::string DescribeOpenError(const std::string& path, int error) const override {
        return "cannot open " + path + ": error " + std::to_string(error);
    }
    bool IsAbsent(int error) const override { return error == ENOENT; }
    std::string DescribeReadError(int error) const override {
        return "error " + std::to_string(error);
    }

    // How many calls of name were made (Open is recorded with its path).
    int Count(const std::string& name) const {
        return static_cast<int>(std::count_if(
            calls.begin(), calls.end(),
            [&](const std::string& c) { return c == name || c.rfind(name + " ", 0) == 0; }));
    }

  private:
    bool RunStep(const char* name, bool ok) {
        calls.push_back(name);
        EXPECT_TRUE(open_) << name << " on a closed port";
        return ok;
    }

    bool open_ = false;
    bool woken_ = false;
};
