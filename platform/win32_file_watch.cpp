#include <windows.h>

#include <cwctype>
#include <filesystem>
#include <thread>

#include "log/untrusted_text.h"
#include "log/win32_error_text.h"
#include "platform/file_watch.h"
#include "platform/platform_log.h"
#include "platform/utf8_path.h"

namespace {

// The changes of one save (a write, then a rename, say) come within this.
constexpr DWORD GatherMs = 50;

bool SameName(std::wstring_view a, std::wstring_view b) {
    // File names on Windows are compared without case.
    return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

}  // namespace

struct FileWatch::State {
    HANDLE folder = INVALID_HANDLE_VALUE;
    HANDLE stop = nullptr;     // the destructor's wake-up
    HANDLE changed = nullptr;  // set when a read of changes completes
    std::wstring name;
    std::function<void()> onChange;
    std::string problem;
    std::thread thread;
    OVERLAPPED overlapped{};
    alignas(DWORD) DWORD buffer[4096];

    // Starts one overlapped read of the folder's changes into buffer.
    bool Arm() {
        overlapped = OVERLAPPED{};
        overlapped.hEvent = changed;
        return ReadDirectoryChangesW(folder, buffer, sizeof buffer, FALSE,
                                     FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_LAST_WRITE,
                                     nullptr, &overlapped, nullptr) != 0;
    }

    // Whether the changes read name the file (written, created, or renamed into place).
    bool Named(DWORD got) const {
        const auto* bytes = reinterpret_cast<const char*>(buffer);
        for (DWORD at = 0; at < got;) {
            const auto* info = reinterpret_cast<const FILE_NOTIFY_INFORMATION*>(bytes + at);
            const std::wstring_view changedName(info->FileName,
                                                info->FileNameLength / sizeof(wchar_t));
            if (info->Action != FILE_ACTION_REMOVED &&
                info->Action != FILE_ACTION_RENAMED_OLD_NAME && SameName(changedName, name)) {
                return true;
            }
            if (info->NextEntryOffset == 0) {
                break;
            }
            at += info->NextEntryOffset;
        }
        // More changes than the buffer holds: the file may be among them.
        return got == 0;
    }

    void Run() {
        bool pending = false;
        for (;;) {
            const HANDLE waits[2] = {stop, changed};
            const DWORD woke =
                WaitForMultipleObjects(2, waits, FALSE, pending ? GatherMs : INFINITE);
            if (woke == WAIT_OBJECT_0 + 1) {
                DWORD got = 0;
                if (!GetOverlappedResult(folder, &overlapped, &got, FALSE)) {
                    QUORVEL_WARNING(lcPlatform) << "file watch: " << Win32ErrorText(GetLastError());
                    return;
                }
                pending = Named(got) || pending;
                if (!Arm()) {
                    QUORVEL_WARNING(lcPlatform) << "file watch: " << Win32ErrorText(GetLastError());
                    return;
                }
            } else if (woke == WAIT_TIMEOUT) {  // quiet since the last change: the save is done
                pending = false;
                onChange();
            } else {
                CancelIoEx(folder, &overlapped);  // the read in flight may be another thread's
                DWORD got = 0;
                GetOverlappedResult(folder, &overlapped, &got, TRUE);
                return;
            }
        }
    }
};

FileWatch::FileWatch(const std::filesystem::path& file, std::function<void()> onChange)
    : state_(std::make_unique<State>()) {
    std::filesystem::path folder = file.parent_path();
    if (folder.empty()) {
        folder = ".";
    }
    state_->name = file.filename().wstring();
    state_->onChange = std::move(onChange);
    state_->stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    state_->changed = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    state_->folder = CreateFileW(
        folder.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr);
    // Armed before the constructor returns, so no save after it is missed.
    if (state_->stop == nullptr || state_->changed == nullptr ||
        state_->folder == INVALID_HANDLE_VALUE || !state_->Arm()) {
        state_->problem = "cannot watch " + UntrustedText(Utf8FromPath(folder)) + ": " +
                          Win32ErrorText(GetLastError());
        return;
    }
    state_->thread = std::thread([state = state_.get()] { state->Run(); });
}

FileWatch::~FileWatch() {
    if (state_->thread.joinable()) {
        SetEvent(state_->stop);
        state_->thread.join();
    }
    if (state_->folder != INVALID_HANDLE_VALUE) {
        CloseHandle(state_->folder);
    }
    for (const HANDLE event : {state_->stop, state_->changed}) {
        if (event != nullptr) {
            CloseHandle(event);
        }
    }
}

const std::string& FileWatch::Problem() const {
    return state_->problem;
}
