// A stand-in for Windows' media session manager, for the tests under Wine, which has none:
// a DLL registered as the class's activatable DLL (stand_in_sessions.h), serving the
// sessions its script names and recording each call to them. Its calls answer at once,
// but a hung session's, which never end. The script, read again at each look, is a line
// per session: "APP_ID playing|paused|stopped [current] [hung]".
#include <windows.h>

#include <activation.h>
#include <winstring.h>

#include <atomic>
#include <fstream>
#include <sstream>
#include <string>
#include <type_traits>
#include <vector>

#include "player/media_session_api.h"

using namespace MediaControl;

namespace {

struct Scripted {
    std::string appId;
    PlaybackStatus status = PlaybackStatus::Stopped;
    bool current = false;
    bool hung = false;
};

std::string ScriptPath() {
    char path[MAX_PATH];
    const DWORD length = GetEnvironmentVariableA("QUORVEL_STAND_IN_SESSIONS", path, MAX_PATH);
    return std::string(path, length < MAX_PATH ? length : 0);
}

std::vector<Scripted> ReadScript() {
    std::vector<Scripted> sessions;
    std::ifstream script(ScriptPath());
    for (std::string line; std::getline(script, line);) {
        std::istringstream words(line);
        Scripted session;
        std::string word;
        words >> session.appId;
        while (words >> word) {
            session.status = word == "playing"  ? PlaybackStatus::Playing
                             : word == "paused" ? PlaybackStatus::Paused
                                                : session.status;
            session.current |= word == "current";
            session.hung |= word == "hung";
        }
        if (!session.appId.empty()) {
            sessions.push_back(session);
        }
    }
    return sessions;
}

void Record(const std::string& line) {
    std::ofstream(ScriptPath() + ".calls", std::ios::app) << line << '\n';
}

// IUnknown and IInspectable once for every interface an object has; the first is the one
// it is made as.
template <class Main, class... More>
class Object : public Main, public More... {
  public:
    virtual ~Object() = default;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        *out = iid == __uuidof(IUnknown) || iid == __uuidof(IInspectable) ? static_cast<Main*>(this)
                                                                          : nullptr;
        ((*out = *out == nullptr && iid == __uuidof(More) ? static_cast<More*>(this) : *out), ...);
        if (*out == nullptr) {
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --refs_;
        if (left == 0) {
            delete this;
        }
        return left;
    }
    HRESULT STDMETHODCALLTYPE GetIids(ULONG*, IID**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetRuntimeClassName(HSTRING*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTrustLevel(TrustLevel*) override { return E_NOTIMPL; }

  private:
    std::atomic<ULONG> refs_{1};
};

// A method the link never calls; a getter answering value.
#define QUORVEL_UNUSED(name, ...)                          \
    HRESULT STDMETHODCALLTYPE name(__VA_ARGS__) override { \
        return E_NOTIMPL;                                  \
    }
#define QUORVEL_UNUSED_EVENT(name)                                 \
    QUORVEL_UNUSED(add_##name, IUnknown*, EventRegistrationToken*) \
    QUORVEL_UNUSED(remove_##name, EventRegistrationToken)
#define QUORVEL_GET(name, type, value)                   \
    HRESULT STDMETHODCALLTYPE name(type* out) override { \
        return *out = (value), S_OK;                     \
    }
#define QUORVEL_TRY(name)                                         \
    HRESULT STDMETHODCALLTYPE name(IAsyncBoolean** op) override { \
        return Call(#name, op);                                   \
    }

// A call's operation: ended at once with result, or, hung, never.
template <class Result>
class Operation : public Object<IAsyncOperation<Result>, IAsyncInfo> {
  public:
    Operation(Result result, bool hung, std::string name)
        : result_(result), hung_(hung), name_(std::move(name)) {}
    ~Operation() override {
        if constexpr (std::is_pointer_v<Result>) {
            result_->Release();
        }
    }
    QUORVEL_UNUSED(put_Completed, IUnknown*)
    QUORVEL_UNUSED(get_Completed, IUnknown**)
    HRESULT STDMETHODCALLTYPE GetResults(Result* result) override {
        if constexpr (std::is_pointer_v<Result>) {
            result_->AddRef();
        }
        return *result = result_, hung_ ? E_FAIL : S_OK;
    }
    QUORVEL_GET(get_Id, UINT32, 1)
    QUORVEL_GET(get_Status, AsyncStatus, hung_ ? Started : Completed)
    QUORVEL_GET(get_ErrorCode, HRESULT, S_OK)
    HRESULT STDMETHODCALLTYPE Cancel() override { return Record(name_ + " canceled"), S_OK; }
    HRESULT STDMETHODCALLTYPE Close() override { return S_OK; }

  private:
    Result result_;
    bool hung_;
    std::string name_;
};

// One session, serving as its playback info and its timeline too: a minute into two
// minutes, seekable throughout, as of no particular time.
class Session : public Object<IGlobalSystemMediaTransportControlsSession,
                              IGlobalSystemMediaTransportControlsSessionPlaybackInfo,
                              IGlobalSystemMediaTransportControlsSessionTimelineProperties> {
  public:
    static constexpr Ticks Second = 10'000'000;
    explicit Session(Scripted scripted) : scripted_(std::move(scripted)) {}
    HRESULT STDMETHODCALLTYPE get_SourceAppUserModelId(HSTRING* id) override {
        const std::wstring wide(scripted_.appId.begin(), scripted_.appId.end());
        return WindowsCreateString(wide.c_str(), static_cast<UINT32>(wide.size()), id);
    }
    QUORVEL_UNUSED(TryGetMediaPropertiesAsync, IInspectable**)
    QUORVEL_GET(GetTimelineProperties,
                IGlobalSystemMediaTransportControlsSessionTimelineProperties*, (AddRef(), this))
    QUORVEL_GET(GetPlaybackInfo, IGlobalSystemMediaTransportControlsSessionPlaybackInfo*,
                (AddRef(), this))
    QUORVEL_TRY(TryPlayAsync)
    QUORVEL_TRY(TryPauseAsync)
    QUORVEL_TRY(TryStopAsync)
    QUORVEL_TRY(TryRecordAsync)
    QUORVEL_TRY(TryFastForwardAsync)
    QUORVEL_TRY(TryRewindAsync)
    QUORVEL_TRY(TrySkipNextAsync)
    QUORVEL_TRY(TrySkipPreviousAsync)
    QUORVEL_TRY(TryChangeChannelUpAsync)
    QUORVEL_TRY(TryChangeChannelDownAsync)
    QUORVEL_TRY(TryTogglePlayPauseAsync)
    QUORVEL_UNUSED(TryChangeAutoRepeatModeAsync, INT32, IAsyncBoolean**)
    QUORVEL_UNUSED(TryChangePlaybackRateAsync, DOUBLE, IAsyncBoolean**)
    QUORVEL_UNUSED(TryChangeShuffleActiveAsync, boolean, IAsyncBoolean**)
    HRESULT STDMETHODCALLTYPE TryChangePlaybackPositionAsync(Ticks at,
                                                             IAsyncBoolean** op) override {
        return Call("TryChangePlaybackPositionAsync " + std::to_string(at), op);
    }
    QUORVEL_UNUSED_EVENT(TimelinePropertiesChanged)
    QUORVEL_UNUSED_EVENT(PlaybackInfoChanged)
    QUORVEL_UNUSED_EVENT(MediaPropertiesChanged)

    QUORVEL_UNUSED(get_Controls, IInspectable**)
    QUORVEL_GET(get_PlaybackStatus, PlaybackStatus, scripted_.status)
    QUORVEL_UNUSED(get_PlaybackType, IInspectable**)
    QUORVEL_UNUSED(get_AutoRepeatMode, IInspectable**)
    QUORVEL_UNUSED(get_PlaybackRate, IInspectable**)
    QUORVEL_UNUSED(get_IsShuffleActive, IInspectable**)

    QUORVEL_GET(get_StartTime, Ticks, 0)
    QUORVEL_GET(get_EndTime, Ticks, 120 * Second)
    QUORVEL_GET(get_MinSeekTime, Ticks, 0)
    QUORVEL_GET(get_MaxSeekTime, Ticks, 120 * Second)
    QUORVEL_GET(get_Position, Ticks, 60 * Second)
    QUORVEL_GET(get_LastUpdatedTime, Ticks, 0)

  private:
    HRESULT Call(const std::string& what, IAsyncBoolean** op) {
        Record(scripted_.appId + " " + what);
        return *op = new Operation<boolean>(true, scripted_.hung, scripted_.appId + " " + what),
               S_OK;
    }

    Scripted scripted_;
};

// The class's factory, its manager, and the manager's list of sessions, read at each look.
class Manager
    : public Object<IActivationFactory, IGlobalSystemMediaTransportControlsSessionManagerStatics,
                    IGlobalSystemMediaTransportControlsSessionManager, ISessionList> {
    QUORVEL_UNUSED(ActivateInstance, IInspectable**)
    HRESULT STDMETHODCALLTYPE RequestAsync(IAsyncSessionManager** op) override {
        Record("RequestAsync");
        AddRef();
        return *op = new Operation<IGlobalSystemMediaTransportControlsSessionManager*>(
                   this, false, "RequestAsync"),
               S_OK;
    }

    HRESULT STDMETHODCALLTYPE
    GetCurrentSession(IGlobalSystemMediaTransportControlsSession** session) override {
        *session = nullptr;
        for (const Scripted& scripted : ReadScript()) {
            *session = *session == nullptr && scripted.current ? new Session(scripted) : *session;
        }
        return S_OK;
    }
    QUORVEL_GET(GetSessions, ISessionList*, (sessions_ = ReadScript(), AddRef(), this))
    QUORVEL_UNUSED_EVENT(CurrentSessionChanged)
    QUORVEL_UNUSED_EVENT(SessionsChanged)

    HRESULT STDMETHODCALLTYPE GetAt(UINT32 index,
                                    IGlobalSystemMediaTransportControlsSession** item) override {
        return index < sessions_.size() ? (*item = new Session(sessions_[index]), S_OK)
                                        : E_INVALIDARG;
    }
    QUORVEL_GET(get_Size, UINT32, static_cast<UINT32>(sessions_.size()))
    QUORVEL_UNUSED(IndexOf, IGlobalSystemMediaTransportControlsSession*, UINT32*, boolean*)
    QUORVEL_UNUSED(GetMany, UINT32, UINT32, IGlobalSystemMediaTransportControlsSession**, UINT32*)

    std::vector<Scripted> sessions_;
};

}  // namespace

extern "C" __declspec(dllexport) HRESULT WINAPI
    DllGetActivationFactory(HSTRING, IActivationFactory** out) {
    // Kept loaded while its objects live, whatever the loader's count says.
    HMODULE self = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                       reinterpret_cast<LPCWSTR>(&ReadScript), &self);
    *out = new Manager;
    return S_OK;
}
