#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <thread>
#include <vector>

#include "log/untrusted_text.h"
#include "platform/file_watch.h"
#include "platform/platform_log.h"
#include "platform/utf8_path.h"
#include "platform/watch_plan.h"
#include "text/win32_error_text.h"

namespace {

// The changes of one save (a write, then a rename, say) come within this.
constexpr DWORD GatherMs = 50;
// How long a file another program holds locked is waited for before it is read anyway.
constexpr ULONGLONG LockedWaitMs = 5000;

bool SameName(std::wstring_view a, std::wstring_view b) {
    // File names on Windows are compared without case.
    return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

// One folder of the plan, with its read of changes in flight.
struct Folder {
    HANDLE handle = INVALID_HANDLE_VALUE;
    HANDLE changed = nullptr;  // set when a read of changes completes
    OVERLAPPED overlapped{};
    std::vector<std::wstring> names;
    bool reading = false;
    alignas(DWORD) DWORD buffer[4096];

    ~Folder() {
        if (reading) {
            CancelIoEx(handle, &overlapped);
            DWORD got = 0;
            GetOverlappedResult(handle, &overlapped, &got, TRUE);
        }
        if (handle != INVALID_HANDLE_VALUE) {
            CloseHandle(handle);
        }
        if (changed != nullptr) {
            CloseHandle(changed);
        }
    }

    // Starts one overlapped read of the folder's changes into buffer.
    bool Read() {
        overlapped = OVERLAPPED{};
        overlapped.hEvent = changed;
        reading = ReadDirectoryChangesW(handle, buffer, sizeof buffer, FALSE,
                                        FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME |
                                            FILE_NOTIFY_CHANGE_LAST_WRITE,
                                        nullptr, &overlapped, nullptr) != 0;
        return reading;
    }

    // Whether the changes read name what is watched here.
    bool Named(DWORD got) const {
        const auto* bytes = reinterpret_cast<const char*>(buffer);
        for (DWORD at = 0; at < got;) {
            const auto* info = reinterpret_cast<const FILE_NOTIFY_INFORMATION*>(bytes + at);
            const std::wstring_view changedName(info->FileName,
                                                info->FileNameLength / sizeof(wchar_t));
            if (std::any_of(names.begin(), names.end(), [&](const std::wstring& name) {
                    return SameName(changedName, name);
                })) {
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
};

}  // namespace

struct FileWatch::State {
    HANDLE stop = nullptr;  // the destructor's wake-up
    std::filesystem::path file;
    std::vector<std::unique_ptr<Folder>> folders;
    std::function<void()> onChange;
    std::string problem;
    std::thread thread;

    // Watches the folders PlanWatch names, afresh: a folder removed or made again is
    // another folder. Why one cannot be watched, or empty.
    std::string Arm() {
        folders.clear();
        std::string why;
        for (const WatchedFolder& wanted : PlanWatch(file)) {
            auto folder = std::make_unique<Folder>();
            for (const std::filesystem::path& name : wanted.names) {
                folder->names.push_back(name.wstring());
            }
            folder->changed = CreateEventW(nullptr, TRUE, FALSE, nullptr);
            // Shared for deleting, so the folder can still be removed while watched.
            folder->handle = CreateFileW(
                wanted.folder.c_str(), FILE_LIST_DIRECTORY,
                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr);
            if (folder->changed == nullptr || folder->handle == INVALID_HANDLE_VALUE ||
                !folder->Read()) {
                if (why.empty()) {
                    why = "cannot watch " + UntrustedText(Utf8FromPath(wanted.folder)) + ": " +
                          Win32ErrorText(GetLastError());
                }
                continue;
            }
            folders.push_back(std::move(folder));
        }
        return why;
    }

    // Whether another program holds the file so that it cannot be read yet.
    bool Locked() const {
        const HANDLE handle = CreateFileW(file.c_str(), GENERIC_READ,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                          nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle != INVALID_HANDLE_VALUE) {
            CloseHandle(handle);
            return false;
        }
        const DWORD error = GetLastError();
        return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
    }

    void Run() {
        bool pending = false;
        ULONGLONG lockedSince = 0;
        std::string said = problem;
        for (;;) {
            std::vector<HANDLE> waits = {stop};
            std::vector<Folder*> waited;
            for (const auto& folder : folders) {
                if (folder->reading) {
                    waits.push_back(folder->changed);
                    waited.push_back(folder.get());
                }
            }
            const DWORD woke =
                WaitForMultipleObjects(static_cast<DWORD>(waits.size()), waits.data(), FALSE,
                                       pending ? GatherMs : INFINITE);
            if (woke > WAIT_OBJECT_0 && woke < WAIT_OBJECT_0 + waits.size()) {
                Folder& folder = *waited[woke - WAIT_OBJECT_0 - 1];
                DWORD got = 0;
                folder.reading = false;
                // A folder that fails (removed, say) is left out of the waits, and watched
                // afresh once things settle.
                if (!GetOverlappedResult(folder.handle, &folder.overlapped, &got, FALSE)) {
                    pending = true;
                } else {
                    pending = folder.Named(got) || pending;
                    pending = !folder.Read() || pending;
                }
            } else if (woke == WAIT_TIMEOUT) {  // quiet since the last change: the save is done
                // A program that saves it may still hold it: read once it lets go.
                if (Locked() &&
                    (lockedSince == 0 || GetTickCount64() - lockedSince < LockedWaitMs)) {
                    lockedSince = lockedSince == 0 ? GetTickCount64() : lockedSince;
                    continue;
                }
                pending = false;
                lockedSince = 0;
                if (const std::string why = Arm(); why != said) {
                    if (!why.empty()) {
                        QUORVEL_WARNING(lcPlatform) << "file watch: " << why;
                    }
                    said = why;
                }
                onChange();
            } else {
                folders.clear();  // cancels the reads in flight
                return;
            }
        }
    }
};

FileWatch::FileWatch(const std::filesystem::path& file, std::function<void()> onChange)
    : state_(std::make_unique<State>()) {
    state_->file = file;
    state_->onChange = std::move(onChange);
    state_->stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (state_->stop == nullptr) {
        state_->problem = "cannot watch files: " + Win32ErrorText(GetLastError());
        return;
    }
    // Armed before the constructor returns, so no save after it is missed.
    state_->problem = state_->Arm();
    state_->thread = std::thread([state = state_.get()] { state->Run(); });
}

FileWatch::~FileWatch() {
    if (state_->thread.joinable()) {
        SetEvent(state_->stop);
        state_->thread.join();
    }
    state_->folders.clear();
    if (state_->stop != nullptr) {
        CloseHandle(state_->stop);
    }
}

const std::string& FileWatch::Problem() const {
    return state_->problem;
}
