#pragma once

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <deque>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "input/device_finder.h"
#include "input/input_device.h"

// Readable while it holds something: an eventfd set to its count.
class Readable {
  public:
    Readable() : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
    ~Readable() { ::close(fd_); }
    int Fd() const { return fd_; }
    void Set(bool readable) {
        std::uint64_t value = 0;
        [[maybe_unused]] ssize_t n = ::read(fd_, &value, sizeof value);
        value = 1;
        if (readable) {
            n = ::write(fd_, &value, sizeof value);
        }
    }

  private:
    int fd_;
};

// What the fake devices of a test share: their events, and what happened to them.
struct FakeMachine {
    std::map<std::string, std::deque<RawInputEvent>> events;
    std::set<std::string> unplugged;
    std::map<std::string, int> refusals;  // opens that fail with EACCES first
    std::map<std::string, int> grabError;
    std::map<std::string, std::set<unsigned>> down;
    std::vector<std::string> grabbed;
    std::vector<std::string> opened;
};

class FakeDevice : public InputDevice {
  public:
    FakeDevice(FakeMachine& machine, std::string path) : machine_(machine), path_(std::move(path)) {
        Refresh();
    }
    int Fd() const override { return readable_.Fd(); }
    // As libevdev, the first read takes in all there is: the descriptor is quiet from then on.
    Status Next(RawInputEvent& event, int& error) override {
        auto& queue = machine_.events[path_];
        readable_.Set(false);
        if (machine_.unplugged.count(path_) != 0) {
            error = ENODEV;
            return Status::Failed;
        }
        if (queue.empty()) {
            return Status::Again;
        }
        event = queue.front();
        queue.pop_front();
        return Status::Event;
    }
    bool Pending() override { return !machine_.events[path_].empty(); }
    std::set<unsigned> KeysDown() const override { return machine_.down[path_]; }
    int Grab() override {
        machine_.grabbed.push_back(path_);
        return machine_.grabError[path_];
    }
    void Refresh() { readable_.Set(true); }

  private:
    FakeMachine& machine_;
    std::string path_;
    Readable readable_;
};

class FakeFinder : public DeviceFinder {
  public:
    explicit FakeFinder(std::vector<InputNode> nodes) : nodes_(std::move(nodes)) {}
    std::vector<InputNode> List() override { return nodes_; }
    int Fd() const override { return readable_.Fd(); }
    std::vector<Change> Changes() override {
        readable_.Set(false);
        return std::exchange(changes_, {});
    }
    void Plug(const InputNode& node, bool added) {
        changes_.push_back({added, node});
        readable_.Set(true);
    }

  private:
    std::vector<InputNode> nodes_;
    std::vector<Change> changes_;
    Readable readable_;
};
