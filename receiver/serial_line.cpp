#include "receiver/serial_line.h"

#include <utility>

#include "receiver/receiver_log.h"

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
    for (int failed = RunConfigurationSteps(); failed > 0; --failed) {
        history_.AppendLine(ConfigErrorText);
    }
}

int SerialLine::RunConfigurationSteps() {
    // A closed port fails every step, as the steps on an invalid handle would.
    const bool open = device_->IsOpen();
    int failed = 0;
    failed += open && device_->ReadSettings() ? 0 : 1;
    failed += open && device_->WriteLineSettings() ? 0 : 1;
    failed += open && device_->PrepareQueues() ? 0 : 1;
    if (open) {
        device_->WriteTimeouts();
    }
    return failed;
}

int SerialLine::ReadByte() {
    if (stopRequested_.load()) {
        return Stopped;
    }
    // Pace a failing port instead of spinning on it.
    const auto wait = backoff_.NextWait();
    if (wait.count() > 0 && !device_->Pause(wait)) {
        return Stopped;
    }
    if (!device_->IsOpen() && !Reopen()) {
        return Fail();
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
                QUORVEL_WARNING(lcReceiver) << "line error (framing, parity or break) on " << path_;
                return Fail();
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
            case SerialDevice::ReadStatus::HungUp:
                QUORVEL_WARNING(lcReceiver)
                    << "serial port " << path_ << " hung up; trying to reopen it";
                device_->Close();
                return Fail();
            case SerialDevice::ReadStatus::Failed:
                QUORVEL_WARNING(lcReceiver)
                    << "reading serial port " << path_
                    << " failed: " << device_->DescribeReadError(result.error);
                device_->Close();
                return Fail();
        }
    }
}

void SerialLine::RequestStop() {
    stopRequested_.store(true);
    device_->Wake();
}

int SerialLine::Fail() {
    history_.AppendLine(ReadErrorText);
    backoff_.RecordFailure();
    return ReadFailed;
}

bool SerialLine::Reopen() {
    bufferStart_ = bufferEnd_ = 0;
    decoder_.Reset();
    const int error = device_->Open(path_);
    if (error != 0) {
        if (error != loggedReopenProblem_) {
            LogOpenFailure(error);
        }
        return false;
    }
    // Silent: the "Err" lines belong to the start only.
    if (RunConfigurationSteps() > 0) {
        if (loggedReopenProblem_ != NotConfigurable) {
            QUORVEL_WARNING(lcReceiver)
                << "serial port " << path_ << " reopened but could not be configured";
            loggedReopenProblem_ = NotConfigurable;
        }
        device_->Close();
        return false;
    }
    QUORVEL_INFO(lcReceiver) << "serial port " << path_ << " is back";
    loggedReopenProblem_ = 0;
    return true;
}

void SerialLine::LogOpenFailure(int error) {
    loggedReopenProblem_ = error;
    QUORVEL_WARNING(lcReceiver) << device_->DescribeOpenError(path_, error);
}
