#include <windows.h>

#include <optional>

#include "platform/child_command.h"
#include "platform/windows_command_line.h"
#include "text/wide_text.h"
#include "text/win32_error_text.h"

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

    // Signalled once it has ended, and stays so.
    EventLoop::Handle EndHandle() const override { return process_; }

  private:
    HANDLE process_;
};

std::optional<std::string> Variable(const std::string& name) {
    const std::wstring wideName = Widen(name);
    const DWORD size = GetEnvironmentVariableW(wideName.c_str(), nullptr, 0);
    if (size == 0) {
        return std::nullopt;
    }
    std::wstring value(size, L'\0');
    value.resize(GetEnvironmentVariableW(wideName.c_str(), value.data(), size));
    return Narrow(value);
}

WindowsCommandLine::Found Look(const std::string& path) {
    using Found = WindowsCommandLine::Found;
    const DWORD attributes = GetFileAttributesW(Widen(path).c_str());
    return attributes == INVALID_FILE_ATTRIBUTES          ? Found::Nothing
           : (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? Found::Folder
                                                          : Found::File;
}

}  // namespace

std::string ChildCommandProblem(const std::string& command) {
    return WindowsCommandLine::Prepare(command, Variable, Look).problem;
}

std::unique_ptr<ChildCommand> StartChildCommand(const std::string& command, std::string& error) {
    const WindowsCommandLine prepared = WindowsCommandLine::Prepare(command, Variable, Look);
    if (!prepared.problem.empty()) {
        error = prepared.problem;
        return nullptr;
    }
    std::wstring line = Widen(prepared.line);  // CreateProcessW may write into it
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    // Detached: no console, so no standard handles of ours.
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE,
                        DETACHED_PROCESS | CREATE_NEW_PROCESS_GROUP, nullptr, nullptr, &startup,
                        &process)) {
        error = Win32ErrorText(GetLastError());
        return nullptr;
    }
    CloseHandle(process.hThread);
    return std::make_unique<CreateProcessChild>(process.hProcess);
}
