#include "serial/serial_line.h"

#include <algorithm>
#include <utility>

#include "serial/event_protocol.h"
#include "serial/serial_log.h"

namespace {

// Why each line-setting step failed, when the port itself was open.
constexpr const char* StepProblems[] = {
    "the port's current settings could not be read",
    "the port would not take 9600 baud, 8 data bits, no parity, one stop bit",
    "the port is not a serial port",
};

}  // namespace

SerialLine::SerialLine(std::string path, std::unique_ptr<SerialDevice> device)
    : path_(std::move(path)), device_(std::move(device)) {}

SerialLine::~SerialLine() = default;

void SerialLine::Open() {
    const int error = device_->Open(path_);
    if (error != 0) {
        openFailure_ = OpenFailure(error);
    }
}

std::vector<SourceCondition> SerialLine::Configure() {
    std::vector<SourceCondition> conditions;
    const auto failed = RunConfigurationSteps();
    for (std::size_t step = 0; step < failed.size(); ++step) {
        if (failed[step]) {
            // A port that did not open fails every step, for the reason it did not open.
            conditions.push_back(
                device_->IsOpen()
                    ? SourceCondition{SourceCondition::Kind::CannotConfigure, StepProblems[step]}
                    : openFailure_);
        }
    }
    return conditions;
}

std::array<bool, 3> SerialLine::RunConfigurationSteps() {
    // A closed port fails every step, as the steps on an invalid handle would.
    const bool open = device_->IsOpen();
    std::array<bool, 3> failed{};
    failed[0] = !(open && device_->ReadSettings());
    failed[1] = !(open && device_->WriteLineSettings());
    failed[2] = !(open && device_->PrepareQueues());
    if (open) {
        device_->WriteTimeouts();
    }
    return failed;
}

SourceItem SerialLine::Next() {
    return NextBefore(Deadline::max());
}

SourceItem SerialLine::NextBefore(Deadline until) {
    if (stopRequested_.load()) {
        return SourceStopped{};
    }
    if (!device_->IsOpen()) {
        const int recovered = Recover(until);
        if (recovered == Stopped) {
            return SourceStopped{};
        }
        if (recovered == Late) {
            return TimedOut{};
        }
        if (recovered == ReadFailed) {
            return failure_;
        }
        // Read at once, without the back-off's wait.
        justReopened_ = true;
        return SourceCondition{SourceCondition::Kind::Back, "serial port " + path_ + " is back"};
    }

    bool waited = false;
    if (until != Deadline::max() && bufferStart_ == bufferEnd_ && !device_->InputWaiting()) {
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
        switch (device_->AwaitInput(std::max(left, std::chrono::milliseconds::zero()))) {
            case SerialDevice::Arrival::Stopped:
                return SourceStopped{};
            case SerialDevice::Arrival::TimedOut:
                return TimedOut{};
            case SerialDevice::Arrival::Input:
                waited = true;
                break;
        }
    }
    // Bytes read before now came in one read with the rest of their chunk; it says whether
    // they were waiting. What came during a wait for it was not waiting.
    const bool queued =
        !waited && (bufferStart_ < bufferEnd_ ? chunkQueued_ : device_->InputWaiting());
    const int first = ReadByte();
    if (first == Stopped) {
        return SourceStopped{};
    }
    if (first == ReadFailed) {
        return failure_;
    }
    if (first != KeyPrefix && first != RepeatPrefix) {
        return StrayByte{first};
    }
    // Whatever follows a prefix is the key code, even another prefix.
    const KeyAction action = first == KeyPrefix ? KeyAction::Press : KeyAction::Repeat;
    const int code = ReadByte();
    if (code == Stopped) {
        return SourceStopped{};
    }
    if (code == ReadFailed) {
        return BrokenEvent{action, failure_};
    }
    return KeyEvent{
        .action = action, .key = Key::Code(code), .queued = queued, .more = InputWaiting()};
}

bool SerialLine::InputWaiting() {
    return bufferStart_ < bufferEnd_ || (device_->IsOpen() && device_->InputWaiting());
}

int SerialLine::Recover(Deadline until) {
    if (justReopened_) {
        justReopened_ = false;
        return 0;
    }
    // Pace a failing port instead of spinning on it; one that is missing is retried as soon
    // as its path appears. A deadline sooner than the pace cuts the wait, which starts
    // again whole at the next call.
    auto wait = backoff_.NextWait();
    bool late = false;
    if (until != Deadline::max() && wait.count() > 0) {
        const auto left = std::max(
            std::chrono::ceil<std::chrono::milliseconds>(until - std::chrono::steady_clock::now()),
            std::chrono::milliseconds::zero());
        late = left < wait;
        wait = std::min(wait, left);
    }
    if (late && wait.count() == 0) {
        return Late;
    }
    if (wait.count() > 0) {
        const bool waited = device_->IsOpen() || openButUnusable_ ? device_->Pause(wait)
                                                                  : device_->AwaitPath(path_, wait);
        if (!waited) {
            return Stopped;
        }
        // Cut short by the path appearing, before the deadline: reopen now, or the wait for
        // it would start again whole, its sign already taken.
        if (late && std::chrono::steady_clock::now() >= until) {
            return Late;
        }
    }
    if (!device_->IsOpen() && !Reopen()) {
        backoff_.RecordFailure();
        return ReadFailed;
    }
    return 0;
}

int SerialLine::ReadByte() {
    if (stopRequested_.load()) {
        return Stopped;
    }
    if (const int recovered = Recover(); recovered != 0) {
        return recovered;
    }
    for (;;) {
        while (bufferStart_ < bufferEnd_) {
            const auto decoded = decoder_.Feed(buffer_[bufferStart_++]);
            if (decoded.kind == LineErrorDecoder::Kind::Byte) {
                backoff_.RecordSuccess();
                return decoded.value;
            }
            if (decoded.kind == LineErrorDecoder::Kind::LineError) {
                // Reported once; the port stays usable and reading goes on after it.
                std::string why = "a line error (framing, parity or break) on " + path_;
                QUORVEL_WARNING(lcReceiver) << why;
                return Fail(SourceCondition::Kind::LineError, std::move(why));
            }
        }
        if (stopRequested_.load()) {
            return Stopped;
        }
        chunkQueued_ = device_->InputWaiting();
        const auto result = device_->Read(buffer_);
        switch (result.status) {
            case SerialDevice::ReadStatus::Data:
                bufferStart_ = 0;
                bufferEnd_ = result.count;
                break;
            case SerialDevice::ReadStatus::Stopped:
                return Stopped;
            case SerialDevice::ReadStatus::HungUp: {
                std::string why = "serial port " + path_ + " hung up (unplugged?)";
                QUORVEL_WARNING(lcReceiver) << why << "; trying to reopen it";
                device_->Close();
                return Fail(SourceCondition::Kind::Lost, std::move(why));
            }
            case SerialDevice::ReadStatus::Failed: {
                std::string why = "reading serial port " + path_ +
                                  " failed: " + device_->DescribeReadError(result.error);
                QUORVEL_WARNING(lcReceiver) << why;
                device_->Close();
                return Fail(SourceCondition::Kind::Lost, std::move(why));
            }
        }
    }
}

void SerialLine::RequestStop() {
    stopRequested_.store(true);
    device_->Wake();
}

int SerialLine::Fail(SourceCondition::Kind kind, std::string why) {
    failure_ = {kind, std::move(why)};
    backoff_.RecordFailure();
    return ReadFailed;
}

bool SerialLine::Reopen() {
    bufferStart_ = bufferEnd_ = 0;
    decoder_.Reset();
    const int error = device_->Open(path_);
    openButUnusable_ = false;
    if (error != 0) {
        if (error != loggedReopenProblem_) {
            openFailure_ = OpenFailure(error);
        }
        failure_ = openFailure_;
        return false;
    }
    // Silent: the configuration's conditions belong to the start only.
    const auto failed = RunConfigurationSteps();
    if (std::find(failed.begin(), failed.end(), true) != failed.end()) {
        failure_ = {SourceCondition::Kind::CannotConfigure,
                    "serial port " + path_ + " was reopened but could not be configured"};
        if (loggedReopenProblem_ != NotConfigurable) {
            QUORVEL_WARNING(lcReceiver) << failure_.reason;
            loggedReopenProblem_ = NotConfigurable;
        }
        device_->Close();
        openButUnusable_ = true;
        return false;
    }
    QUORVEL_INFO(lcReceiver) << "serial port " << path_ << " is back";
    loggedReopenProblem_ = 0;
    return true;
}

SourceCondition SerialLine::OpenFailure(int error) {
    loggedReopenProblem_ = error;
    SourceCondition condition{device_->IsAbsent(error) ? SourceCondition::Kind::Absent
                                                       : SourceCondition::Kind::CannotOpen,
                              device_->DescribeOpenError(path_, error)};
    QUORVEL_WARNING(lcReceiver) << condition.reason;
    return condition;
}
