#include <windows.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>
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
    EventLoop* loop = nullptr;
    std::filesystem::path file;
    std::vector<std::unique_ptr<Folder>> folders;
    std::vector<std::unique_ptr<EventLoop::Watch>> watches;  // each folder's event
    std::unique_ptr<EventLoop::Timer> gather;
    std::function<void()> onChange;
    std::string problem;
    std::string said;  // the last problem said
    ULONGLONG lockedSince = 0;

    // Watches the folders PlanWatch names, afresh: a folder removed or made again is
    // another folder. Why one cannot be watched, or empty.
    std::string Arm() {
        watches.clear();
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
            Folder* watched = folder.get();
            watches.push_back(
                loop->WatchHandle(folder->changed, [this, watched] { Changed(*watched); }));
            folders.push_back(std::move(folder));
        }
        return why;
    }

    // A folder's read of changes completed.
    void Changed(Folder& folder) {
        DWORD got = 0;
        const bool read = GetOverlappedResult(folder.handle, &folder.overlapped, &got, FALSE);
        ResetEvent(folder.changed);
        folder.reading = false;
        // A folder that fails (removed, say) is left alone, and watched afresh once things
        // settle.
        const bool named = !read || folder.Named(got);
        const bool again = read && folder.Read();
        if (named || !again) {
            gather->Set(EventLoop::Clock::now() + std::chrono::milliseconds(GatherMs));
        }
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

    // Quiet since the last change: the save is done.
    void Done() {
        // A program that saves it may still hold it: read once it lets go.
        if (Locked() && (lockedSince == 0 || GetTickCount64() - lockedSince < LockedWaitMs)) {
            lockedSince = lockedSince == 0 ? GetTickCount64() : lockedSince;
            gather->Set(EventLoop::Clock::now() + std::chrono::milliseconds(GatherMs));
            return;
        }
        lockedSince = 0;
        if (const std::string why = Arm(); why != said) {
            if (!why.empty()) {
                QUORVEL_WARNING(lcPlatform) << "file watch: " << why;
            }
            said = why;
        }
        onChange();
    }
};

FileWatch::FileWatch(EventLoop& loop, const std::filesystem::path& file,
                     std::function<void()> onChange)
    : state_(std::make_unique<State>()) {
    state_->loop = &loop;
    state_->file = file;
    state_->onChange = std::move(onChange);
    State* state = state_.get();
    state_->gather = loop.MakeTimer([state] { state->Done(); });
    // Armed before the constructor returns, so no save after it is missed.
    state_->problem = state_->Arm();
    state_->said = state_->problem;
}

FileWatch::~FileWatch() {
    // The watches before the folders, whose reads in flight are cancelled.
    state_->watches.clear();
    state_->folders.clear();
}

const std::string& FileWatch::Problem() const {
    return state_->problem;
}
