#pragma once

#include <windows.h>

#include <wrl/client.h>

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "actions/player_action.h"
#include "player/media_session_api.h"
#include "player/media_session_choice.h"

// One call made to a media session (a Try…Async), looked at without ever waiting for it.
// Destroying one still running cancels it.
class MediaSessionCall {
  public:
    enum class State {
        Running,
        Done,     // the session took it
        Refused,  // the session answered no: it has no such command now
        Failed,   // the call failed; Poll's error says why
    };

    explicit MediaSessionCall(Microsoft::WRL::ComPtr<MediaControl::IAsyncBoolean> operation);
    ~MediaSessionCall();
    MediaSessionCall(MediaSessionCall&&) = default;
    MediaSessionCall& operator=(MediaSessionCall&&) = default;

    State Poll(HRESULT& error);

  private:
    Microsoft::WRL::ComPtr<MediaControl::IAsyncBoolean> operation_;
    Microsoft::WRL::ComPtr<IAsyncInfo> info_;
};

// The system's media sessions, through GlobalSystemMediaTransportControlsSessionManager:
// the class activated by name and the manager asked for (RequestAsync), the sessions listed
// afresh whenever asked (GetSessions, GetCurrentSession, each one's PlaybackStatus: the
// manager keeps them current in this process, so a list asks no player anything), and
// commanded. Every call of the Windows Runtime is in media_session_manager.cpp. Used on one
// thread, which Request joins to the multithreaded apartment until the manager goes (the
// audio sessions' calls need it too); nothing here waits.
class MediaSessionManager {
  public:
    enum class Readiness { Requesting, Ready, Missing };

    MediaSessionManager() = default;
    ~MediaSessionManager();
    MediaSessionManager(const MediaSessionManager&) = delete;
    MediaSessionManager& operator=(const MediaSessionManager&) = delete;

    // Activates the class and asks for the manager. Missing, with why, when there is none:
    // Windows before 10 1809, Wine, a service without a desktop.
    Readiness Request(std::string& why);
    // How the request stands now; Missing, with why, when it failed.
    Readiness Poll(std::string& why);
    // The sessions now, in the system's order; none before Ready, or when the list fails.
    std::vector<MediaSessionCandidate> List();
    // Starts request's action on the session at index in the last List: play-pause, play,
    // pause, stop, next, previous, or a seek of request.seconds through the session's
    // timeline. None when the action has no such call, or the call could not be made (why).
    std::optional<MediaSessionCall> Start(std::size_t index, const PlayerRequest& request,
                                          std::string& why);

    // An HRESULT for the log: the system's words and the number.
    static std::string Describe(HRESULT result);

  private:
    bool joined_ = false;  // RoInitialize succeeded, so RoUninitialize is ours to call
    Microsoft::WRL::ComPtr<MediaControl::IAsyncSessionManager> request_;
    Microsoft::WRL::ComPtr<MediaControl::IGlobalSystemMediaTransportControlsSessionManager>
        manager_;
    std::vector<Microsoft::WRL::ComPtr<MediaControl::IGlobalSystemMediaTransportControlsSession>>
        listed_;
};
