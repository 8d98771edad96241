#pragma once

#include <sys/eventfd.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "serial/serial_device.h"

// A serial device run from a script, ready (an eventfd) while the script has reads left.
// Every call is recorded in calls; reads past the end of the script find nothing. Errors are
// given as errno values: ENOENT is an absent port, EWOULDBLOCK a busy one.
class FakeSerialDevice : public SerialDevice {
  public:
    struct Step {
        ReadStatus status;
        std::vector<std::uint8_t> bytes = {};
        int error = 0;
    };

    FakeSerialDevice() : ready_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
    ~FakeSerialDevice() override { ::close(ready_); }

    static Step Bytes(std::vector<std::uint8_t> bytes) {
        return {ReadStatus::Data, std::move(bytes)};
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

    std::vector<std::string> calls;

    std::optional<SerialError> Open(const std::string& path) override {
        calls.push_back("Open " + path);
        open_ = false;
        int error = 0;
        if (!openErrors.empty()) {
            error = openErrors.front();
            openErrors.pop_front();
        }
        open_ = error == 0;
        if (open_) {
            return std::nullopt;
        }
        using Kind = SerialError::Kind;
        return SerialError{error == ENOENT        ? Kind::Absent
                           : error == EWOULDBLOCK ? Kind::Busy
                                                  : Kind::Failed,
                           "cannot open " + path + ": error " + std::to_string(error)};
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

    EventLoop::Handle ReadyHandle() const override {
        std::uint64_t count = 0;
        [[maybe_unused]] ssize_t n = ::read(ready_, &count, sizeof count);
        if (!reads.empty()) {
            count = 1;
            n = ::write(ready_, &count, sizeof count);
        }
        return ready_;
    }
    ReadResult Read(std::span<std::uint8_t> buffer) override {
        calls.push_back("Read");
        EXPECT_TRUE(open_) << "read from a closed port";
        ReadyHandle();  // ready while reads are left
        if (reads.empty()) {
            return {ReadStatus::Empty};
        }
        Step& step = reads.front();
        if (step.status != ReadStatus::Data) {
            ReadResult result{step.status};
            if (step.status == ReadStatus::Failed) {
                result.error = SerialError{SerialError::Kind::ReadFailed,
                                           "error " + std::to_string(step.error)};
            }
            reads.pop_front();
            ReadyHandle();
            return result;
        }
        // A step longer than the buffer is handed out over several reads.
        const std::size_t count = std::min(buffer.size(), step.bytes.size());
        std::copy_n(step.bytes.begin(), count, buffer.begin());
        step.bytes.erase(step.bytes.begin(), step.bytes.begin() + count);
        if (step.bytes.empty()) {
            reads.pop_front();
        }
        ReadyHandle();
        return {ReadStatus::Data, count};
    }
    std::unique_ptr<EventLoop::Watch> WatchArrival(EventLoop&, const std::string& path,
                                                   std::function<void()>) override {
        calls.push_back("WatchArrival " + path);
        return nullptr;
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
    int ready_;
};
