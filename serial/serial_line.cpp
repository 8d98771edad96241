#include "serial/serial_line.h"

#include <algorithm>
#include <utility>

#include "log/untrusted_text.h"
#include "serial/serial_log.h"

namespace {

// Why each line-setting step failed, when the port itself was open.
constexpr const char* StepProblems[] = {
    "the port's current settings could not be read",
    "the port would not take 9600 baud, 8 data bits, no parity, one stop bit",
    "the port is not a serial port",
};

// Reads a ready port takes at once; what remains waits for the loop's next round.
constexpr int ReadsAtOnce = 4;

}  // namespace

SerialLine::SerialLine(std::string path, std::unique_ptr<SerialDevice> device)
    : path_(std::move(path)),
      device_(std::move(device)),
      decoder_(path_),
      reopening_(ReadBackoff::LongestWait, [this] { Resume(); }),
      health_(lcReceiver) {}

SerialLine::~SerialLine() {
    Close();
    arrival_.reset();
}

const LogCategory& SerialLine::Log() const {
    return lcReceiver;
}

void SerialLine::Open() {
    if (const auto error = device_->Open(path_)) {
        OpenFailed(*error);
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
    if (!device_->IsOpen()) {
        health_.NotStarted(openFailure_);
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

void SerialLine::Attach(EventLoop& loop, SourceOutput& out) {
    loop_ = &loop;
    health_.Attach(out);
    reopening_.Attach(loop);
    if (device_->IsOpen()) {
        Watch();
    } else {
        // The first read of a port that did not open fails at once, as it would have.
        reopening_.Soon();
    }
}

void SerialLine::Watch() {
    ready_ = loop_->WatchHandle(device_->ReadyHandle(), [this] { ReadReady(); });
    // What came meanwhile is read now; on Windows this also starts the read that makes the
    // handle ready.
    ReadReady();
}

void SerialLine::Close() {
    ready_.reset();  // out of the loop before the handle closes
    device_->Close();
}

void SerialLine::ReadReady() {
    for (int read = 0; read < ReadsAtOnce && ready_; ++read) {
        const auto result = device_->Read(buffer_);
        switch (result.status) {
            case SerialDevice::ReadStatus::Empty:
                return;
            case SerialDevice::ReadStatus::Data: {
                items_.clear();
                decoder_.Feed(std::span(buffer_.data(), result.count), items_);
                if (!decoder_.SawLineError()) {
                    reopening_.Succeeded();
                }
                for (SourceItem& item : items_) {
                    health_.Put(std::move(item));
                }
                if (decoder_.SawLineError()) {
                    // Once, however many the read brought; reading goes on after the wait.
                    QUORVEL_WARNING(lcReceiver)
                        << "a line error (framing, parity or break) on " << UntrustedText(path_);
                    Fail({}, false);
                    return;
                }
                break;
            }
            case SerialDevice::ReadStatus::HungUp: {
                std::string why = "serial port " + UntrustedText(path_) + " hung up (unplugged?)";
                QUORVEL_WARNING(lcReceiver) << why << "; trying to reopen it";
                Fail({SourceCondition::Kind::Lost, std::move(why)}, true);
                return;
            }
            case SerialDevice::ReadStatus::Failed: {
                std::string why = "reading serial port " + UntrustedText(path_) +
                                  " failed: " + (result.error ? result.error->text : std::string());
                QUORVEL_WARNING(lcReceiver) << why;
                Fail({SourceCondition::Kind::Lost, std::move(why)}, true);
                return;
            }
        }
    }
}

void SerialLine::Fail(SourceCondition why, bool lost) {
    if (lost) {
        health_.Lost(decoder_.Fail(std::move(why)));
        Close();
    } else {
        ready_.reset();  // the port stays open; reading waits
    }
    reopening_.Failed();
}

void SerialLine::Resume() {
    if (device_->IsOpen()) {
        Watch();
        return;
    }
    if (!Reopen()) {
        // Each try is a failed read, as it was on the port that never opened.
        health_.Put(openFailure_);
        reopening_.Failed();
        return;
    }
    health_.Up("serial port " + UntrustedText(path_) + " is back");
    // Read at once: what came while the port was away is its own.
    Watch();
}

bool SerialLine::Reopen() {
    decoder_.Reset();
    if (const auto error = device_->Open(path_)) {
        OpenFailed(*error);
        // A missing port is opened as soon as its path appears.
        if (error->kind == SerialError::Kind::Absent && !arrival_) {
            arrival_ = device_->WatchArrival(*loop_, path_, [this] { reopening_.Soon(); });
        }
        return false;
    }
    arrival_.reset();
    // Silent: the configuration's conditions belong to the start only.
    const auto failed = RunConfigurationSteps();
    if (std::find(failed.begin(), failed.end(), true) != failed.end()) {
        // It is there, so a wait for it to appear would end at once: retried at the
        // back-off's pace instead.
        openFailure_ = {
            SourceCondition::Kind::CannotConfigure,
            "serial port " + UntrustedText(path_) + " was reopened but could not be configured"};
        health_.Say(openFailure_.reason, LogLevel::Warning);
        device_->Close();
        return false;
    }
    return true;
}

void SerialLine::OpenFailed(const SerialError& error) {
    openFailure_ = {error.kind == SerialError::Kind::Absent ? SourceCondition::Kind::Absent
                                                            : SourceCondition::Kind::CannotOpen,
                    error.text};
    health_.Say(openFailure_.reason, LogLevel::Warning);
}
