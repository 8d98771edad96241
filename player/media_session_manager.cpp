#include "player/media_session_manager.h"

#include <roapi.h>
#include <winstring.h>

#include <cstdio>
#include <utility>

#include "player/media_session_seek.h"
#include "text/wide_text.h"
#include "text/win32_error_text.h"

using Microsoft::WRL::ComPtr;
using namespace MediaControl;

namespace {

std::string TakeString(HSTRING text) {
    UINT32 length = 0;
    const wchar_t* raw = WindowsGetStringRawBuffer(text, &length);
    std::string narrow = Narrow(std::wstring_view(raw, length));
    WindowsDeleteString(text);
    return narrow;
}

bool Playing(IGlobalSystemMediaTransportControlsSession& session) {
    ComPtr<IGlobalSystemMediaTransportControlsSessionPlaybackInfo> info;
    PlaybackStatus status = PlaybackStatus::Closed;
    return SUCCEEDED(session.GetPlaybackInfo(&info)) && info &&
           SUCCEEDED(info->get_PlaybackStatus(&status)) && status == PlaybackStatus::Playing;
}

std::string AppId(IGlobalSystemMediaTransportControlsSession* session) {
    HSTRING id = nullptr;
    return session != nullptr && SUCCEEDED(session->get_SourceAppUserModelId(&id)) ? TakeString(id)
                                                                                   : std::string();
}

// The seek's call, from where the session's timeline stands now.
HRESULT StartSeek(IGlobalSystemMediaTransportControlsSession& session, int seconds,
                  IAsyncBoolean** operation) {
    ComPtr<IGlobalSystemMediaTransportControlsSessionTimelineProperties> properties;
    HRESULT result = session.GetTimelineProperties(&properties);
    if (FAILED(result)) {
        return result;
    }
    MediaTimeline timeline;
    for (const auto& [get, value] :
         {std::pair{&IGlobalSystemMediaTransportControlsSessionTimelineProperties::get_StartTime,
                    &timeline.start},
          {&IGlobalSystemMediaTransportControlsSessionTimelineProperties::get_EndTime,
           &timeline.end},
          {&IGlobalSystemMediaTransportControlsSessionTimelineProperties::get_MinSeekTime,
           &timeline.minSeek},
          {&IGlobalSystemMediaTransportControlsSessionTimelineProperties::get_MaxSeekTime,
           &timeline.maxSeek},
          {&IGlobalSystemMediaTransportControlsSessionTimelineProperties::get_Position,
           &timeline.position},
          {&IGlobalSystemMediaTransportControlsSessionTimelineProperties::get_LastUpdatedTime,
           &timeline.updated}}) {
        if (FAILED(result = (properties.Get()->*get)(value))) {
            return result;
        }
    }
    FILETIME now;
    GetSystemTimePreciseAsFileTime(&now);
    const auto ticks =
        static_cast<std::int64_t>((std::uint64_t{now.dwHighDateTime} << 32) | now.dwLowDateTime);
    return session.TryChangePlaybackPositionAsync(
        SeekTarget(timeline, seconds, Playing(session), ticks), operation);
}

}  // namespace

MediaSessionCall::MediaSessionCall(ComPtr<IAsyncBoolean> operation)
    : operation_(std::move(operation)) {
    operation_.As(&info_);
}

MediaSessionCall::~MediaSessionCall() {
    AsyncStatus status = Started;
    if (info_ && SUCCEEDED(info_->get_Status(&status))) {
        if (status == Started) {
            info_->Cancel();
        }
        info_->Close();
    }
}

MediaSessionCall::State MediaSessionCall::Poll(HRESULT& error) {
    AsyncStatus status = Started;
    error = info_ ? info_->get_Status(&status) : E_NOINTERFACE;
    if (FAILED(error)) {
        return State::Failed;
    }
    switch (status) {
        case Started:
            return State::Running;
        case Completed: {
            boolean taken = false;
            error = operation_->GetResults(&taken);
            return FAILED(error) ? State::Failed : taken ? State::Done : State::Refused;
        }
        case Canceled:
            error = E_ABORT;
            return State::Failed;
        default:
            if (FAILED(info_->get_ErrorCode(&error)) || SUCCEEDED(error)) {
                error = E_FAIL;
            }
            return State::Failed;
    }
}

MediaSessionManager::~MediaSessionManager() {
    listed_.clear();
    manager_.Reset();
    request_.Reset();
    if (joined_) {
        RoUninitialize();
    }
}

std::string MediaSessionManager::Describe(HRESULT result) {
    char number[16];
    std::snprintf(number, sizeof number, "0x%08lX", static_cast<unsigned long>(result));
    // The one a user meets most, named where the system has no words for it (Wine).
    const std::string text = result == REGDB_E_CLASSNOTREG
                                 ? "Class not registered"
                                 : Win32ErrorText(static_cast<unsigned long>(result));
    return text.rfind("error ", 0) == 0 ? "error " + std::string(number)
                                        : text + " (" + number + ")";
}

MediaSessionManager::Readiness MediaSessionManager::Request(std::string& why) {
    // Already in an apartment (RPC_E_CHANGED_MODE): that one serves, and is not ours to leave.
    joined_ = SUCCEEDED(RoInitialize(RO_INIT_MULTITHREADED));
    HSTRING name = nullptr;
    ComPtr<IGlobalSystemMediaTransportControlsSessionManagerStatics> statics;
    HRESULT result =
        WindowsCreateString(ManagerClass, static_cast<UINT32>(wcslen(ManagerClass)), &name);
    if (SUCCEEDED(result)) {
        result = RoGetActivationFactory(
            name, __uuidof(IGlobalSystemMediaTransportControlsSessionManagerStatics), &statics);
        WindowsDeleteString(name);
    }
    if (SUCCEEDED(result)) {
        result = statics->RequestAsync(&request_);
    }
    if (FAILED(result)) {
        why = Describe(result);
        return Readiness::Missing;
    }
    return Poll(why);
}

MediaSessionManager::Readiness MediaSessionManager::Poll(std::string& why) {
    if (manager_) {
        return Readiness::Ready;
    }
    if (!request_) {
        return Readiness::Missing;
    }
    ComPtr<IAsyncInfo> info;
    AsyncStatus status = Started;
    HRESULT result = request_.As(&info);
    if (SUCCEEDED(result)) {
        result = info->get_Status(&status);
    }
    if (SUCCEEDED(result) && status == Started) {
        return Readiness::Requesting;
    }
    if (SUCCEEDED(result) && status == Completed) {
        result = request_->GetResults(&manager_);
    } else if (SUCCEEDED(result) && (FAILED(info->get_ErrorCode(&result)) || SUCCEEDED(result))) {
        result = E_FAIL;
    }
    if (info) {
        info->Close();
    }
    request_.Reset();
    if (SUCCEEDED(result) && manager_) {
        return Readiness::Ready;
    }
    why = "the manager was not given: " + Describe(FAILED(result) ? result : E_POINTER);
    manager_.Reset();
    return Readiness::Missing;
}

std::vector<MediaSessionCandidate> MediaSessionManager::List() {
    listed_.clear();
    ComPtr<ISessionList> sessions;
    UINT32 count = 0;
    if (!manager_ || FAILED(manager_->GetSessions(&sessions)) || !sessions ||
        FAILED(sessions->get_Size(&count))) {
        return {};
    }
    ComPtr<IGlobalSystemMediaTransportControlsSession> current;
    const std::string currentId =
        SUCCEEDED(manager_->GetCurrentSession(&current)) ? AppId(current.Get()) : std::string();
    std::vector<MediaSessionCandidate> listed;
    for (UINT32 i = 0; i < count; ++i) {
        ComPtr<IGlobalSystemMediaTransportControlsSession> session;
        if (FAILED(sessions->GetAt(i, &session)) || !session) {
            continue;
        }
        MediaSessionCandidate candidate{.appId = AppId(session.Get())};
        candidate.playing = Playing(*session.Get());
        candidate.current = !currentId.empty() && candidate.appId == currentId;
        listed.push_back(std::move(candidate));
        listed_.push_back(std::move(session));
    }
    return listed;
}

std::optional<MediaSessionCall> MediaSessionManager::Start(std::size_t index,
                                                           const PlayerRequest& request,
                                                           std::string& why) {
    if (index >= listed_.size()) {
        return std::nullopt;
    }
    IGlobalSystemMediaTransportControlsSession& session = *listed_[index].Get();
    using Try =
        HRESULT (STDMETHODCALLTYPE IGlobalSystemMediaTransportControlsSession::*)(IAsyncBoolean**);
    Try call = nullptr;
    switch (request.action) {
        case PlayerAction::PlayPause:
            call = &IGlobalSystemMediaTransportControlsSession::TryTogglePlayPauseAsync;
            break;
        case PlayerAction::Play:
            call = &IGlobalSystemMediaTransportControlsSession::TryPlayAsync;
            break;
        case PlayerAction::Pause:
            call = &IGlobalSystemMediaTransportControlsSession::TryPauseAsync;
            break;
        case PlayerAction::Stop:
            call = &IGlobalSystemMediaTransportControlsSession::TryStopAsync;
            break;
        case PlayerAction::Next:
            call = &IGlobalSystemMediaTransportControlsSession::TrySkipNextAsync;
            break;
        case PlayerAction::Previous:
            call = &IGlobalSystemMediaTransportControlsSession::TrySkipPreviousAsync;
            break;
        case PlayerAction::SeekForward:
        case PlayerAction::SeekBackward:
            break;
        default:
            return std::nullopt;
    }
    ComPtr<IAsyncBoolean> operation;
    const int seconds =
        request.action == PlayerAction::SeekBackward ? -request.seconds : request.seconds;
    const HRESULT result =
        call != nullptr ? (session.*call)(&operation) : StartSeek(session, seconds, &operation);
    if (FAILED(result) || !operation) {
        why = Describe(FAILED(result) ? result : E_POINTER);
        return std::nullopt;
    }
    return MediaSessionCall(std::move(operation));
}
