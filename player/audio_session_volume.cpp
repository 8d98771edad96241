#include "player/audio_session_volume.h"

#include <windows.h>

#include <audioclient.h>
#include <audiopolicy.h>
#include <mmdeviceapi.h>
#include <wrl/client.h>

#include <map>
#include <utility>
#include <vector>

#include "player/media_session_choice.h"
#include "player/window_executable.h"

using Microsoft::WRL::ComPtr;

namespace {

// Which processes are the app's, each asked once per look.
class ProcessNames {
  public:
    explicit ProcessNames(const std::string& appId) : appId_(appId) {}
    bool App(DWORD processId) {
        const auto [known, added] = apps_.try_emplace(processId, false);
        if (added) {
            known->second = AppIdNamesProgram(appId_, ProcessExecutableName(processId),
                                              ProcessAppUserModelId(processId));
        }
        return known->second;
    }

  private:
    const std::string& appId_;
    std::map<DWORD, bool> apps_;
};

void AddSessions(IMMDevice& device, ProcessNames& names,
                 std::vector<ComPtr<ISimpleAudioVolume>>& found) {
    ComPtr<IAudioSessionManager2> manager;
    ComPtr<IAudioSessionEnumerator> sessions;
    int count = 0;
    if (FAILED(device.Activate(__uuidof(IAudioSessionManager2), CLSCTX_ALL, nullptr, &manager)) ||
        FAILED(manager->GetSessionEnumerator(&sessions)) || FAILED(sessions->GetCount(&count))) {
        return;
    }
    for (int i = 0; i < count; ++i) {
        ComPtr<IAudioSessionControl> control;
        ComPtr<IAudioSessionControl2> described;
        ComPtr<ISimpleAudioVolume> volume;
        DWORD processId = 0;
        // A session of several processes, or the system's sounds (process 0), is no app's.
        if (SUCCEEDED(sessions->GetSession(i, &control)) && SUCCEEDED(control.As(&described)) &&
            described->GetProcessId(&processId) == S_OK && processId != 0 && names.App(processId) &&
            SUCCEEDED(control.As(&volume))) {
            found.push_back(std::move(volume));
        }
    }
}

// The audio sessions of the app appId names, on every active output device.
std::vector<ComPtr<ISimpleAudioVolume>> AppSessions(const std::string& appId) {
    std::vector<ComPtr<ISimpleAudioVolume>> found;
    ComPtr<IMMDeviceEnumerator> enumerator;
    ComPtr<IMMDeviceCollection> devices;
    UINT count = 0;
    if (FAILED(CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL,
                                IID_PPV_ARGS(&enumerator))) ||
        FAILED(enumerator->EnumAudioEndpoints(eRender, DEVICE_STATE_ACTIVE, &devices)) ||
        FAILED(devices->GetCount(&count))) {
        return found;
    }
    ProcessNames names(appId);
    for (UINT i = 0; i < count; ++i) {
        ComPtr<IMMDevice> device;
        if (SUCCEEDED(devices->Item(i, &device))) {
            AddSessions(*device.Get(), names, found);
        }
    }
    return found;
}

}  // namespace

std::optional<AppVolume::Level> AudioSessionVolume::Read(const std::string& appId) {
    for (const ComPtr<ISimpleAudioVolume>& session : AppSessions(appId)) {
        float volume = 0;
        BOOL muted = FALSE;
        if (SUCCEEDED(session->GetMasterVolume(&volume)) && SUCCEEDED(session->GetMute(&muted))) {
            return Level{volume, muted != FALSE};
        }
    }
    return std::nullopt;
}

bool AudioSessionVolume::Write(const std::string& appId, const Level& level) {
    bool written = false;
    for (const ComPtr<ISimpleAudioVolume>& session : AppSessions(appId)) {
        // Without an event context of our own: the mixer shows the change as any other.
        written |= SUCCEEDED(session->SetMasterVolume(static_cast<float>(level.volume), nullptr)) &&
                   SUCCEEDED(session->SetMute(level.muted, nullptr));
    }
    return written;
}
