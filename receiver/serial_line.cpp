#include "receiver/serial_line.h"

#include <algorithm>
#include <utility>

#include "receiver/receiver_log.h"

namespace {

// Why each line-setting step's "Err" line is there, when the port itself was open.
constexpr const char* StepProblems[] = {
    "the port's current settings could not be read",
    "the port would not take 9600 baud, 8 data bits, no parity, one stop bit",
    "the port is not a serial port",
};

}  // namespace

SerialLine::SerialLine(std::string path, HistoryLog& history)
    : SerialLine(std::move(path), history, MakeSerialDevice()) {}

SerialLine::SerialLine(std::string path, HistoryLog& history, std::unique_ptr<SerialDevice> device)
    : path_(std::move(path)), history_(history), device_(std::move(device)) {}

SerialLine::~SerialLine() = default;

void SerialLine::OpenPort() {
    const int error = device_->Open(path_);
    if (error != 0) {
        LogOpenFailure(error);
    }
}

void SerialLine::ConfigurePort() {
    const auto failed = RunConfigurationSteps();
    for (std::size_t step = 0; step < failed.size(); ++step) {
        if (failed[step]) {
            // A port that did not open fails every step, for the reason it did not open.
            history_.AppendLine(ConfigErrorText,
                                device_->IsOpen() ? StepProblems[step] : openProblem_);
        }
    }
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

int SerialLine::ReadByte() {
    if (stopRequested_.load()) {
        return Stopped;
    }
    // Pace a failing port instead of spinning on it; one that is missing is retried as soon
    // as its path appears.
    const auto wait = backoff_.NextWait();
    if (wait.count() > 0) {
        const bool waited = device_->IsOpen() || openButUnusable_ ? device_->Pause(wait)
                                                                  : device_->AwaitPath(path_, wait);
        if (!waited) {
            return Stopped;
        }
    }
    if (!device_->IsOpen() && !Reopen()) {
        return Fail(problem_);
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
                const std::string why = "a line error (framing, parity or break) on " + path_;
                QUORVEL_WARNING(lcReceiver) << why;
                return Fail(why);
            }
        }
        const auto result = device_->Read(buffer_);
        switch (result.status) {
            case SerialDevice::ReadStatus::Data:
                bufferStart_ = 0;
                bufferEnd_ = result.count;
                break;
            case SerialDevice::ReadStatus::Stopped:
                return Stopped;
            case SerialDevice::ReadStatus::HungUp: {
                const std::string why = "serial port " + path_ + " hung up (unplugged?)";
                QUORVEL_WARNING(lcReceiver) << why << "; trying to reopen it";
                device_->Close();
                return Fail(why);
            }
            case SerialDevice::ReadStatus::Failed: {
                const std::string why = "reading serial port " + path_ +
                                        " failed: " + device_->DescribeReadError(result.error);
                QUORVEL_WARNING(lcReceiver) << why;
                device_->Close();
                return Fail(why);
            }
        }
    }
}

void SerialLine::RequestStop() {
    stopRequested_.store(true);
    device_->Wake();
}

int SerialLine::Fail(const std::string& why) {
    history_.AppendLine(ReadErrorText, why);
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
            LogOpenFailure(error);
        }
        problem_ = openProblem_;
        return false;
    }
    // Silent: the "Err" lines belong to the start only.
    const auto failed = RunConfigurationSteps();
    if (std::find(failed.begin(), failed.end(), true) != failed.end()) {
        problem_ = "serial port " + path_ + " was reopened but could not be configured";
        if (loggedReopenProblem_ != NotConfigurable) {
            QUORVEL_WARNING(lcReceiver) << problem_;
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

void SerialLine::LogOpenFailure(int error) {
    loggedReopenProblem_ = error;
    openProblem_ = device_->DescribeOpenError(path_, error);
    QUORVEL_WARNING(lcReceiver) << openProblem_;
}
