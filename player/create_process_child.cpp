#include <windows.h>

#include "player/child_command.h"

namespace {

class CreateProcessChild : public ChildCommand {
  public:
    explicit CreateProcessChild(HANDLE process) : process_(process) {}
    ~CreateProcessChild() override { CloseHandle(process_); }
    CreateProcessChild(const CreateProcessChild&) = delete;
    CreateProcessChild& operator=(const CreateProcessChild&) = delete;

    bool Running(std::string& ended) override {
        if (WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) {
            return true;
        }
        DWORD code = 0;
        ended.clear();
        if (GetExitCodeProcess(process_, &code) && code != 0) {
            ended = "ended with status " + std::to_string(code);
        }
        return false;
    }

  private:
    HANDLE process_;
};

}  // namespace

std::unique_ptr<ChildCommand> StartChildCommand(const std::string& command, std::string& error) {
    std::string line = command;  // CreateProcessA may write into it
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    // Detached: no console, so no standard handles of ours.
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE,
                        DETACHED_PROCESS | CREATE_NEW_PROCESS_GROUP, nullptr, nullptr, &startup,
                        &process)) {
        error = "Windows error " + std::to_string(GetLastError());
        return nullptr;
    }
    CloseHandle(process.hThread);
    return std::make_unique<CreateProcessChild>(process.hProcess);
}
