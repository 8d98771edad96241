#pragma once

#include <string>

#include "player/app_volume.h"

// The audio sessions of Windows' volume mixer: on every active output device
// (IMMDeviceEnumerator), each session (IAudioSessionManager2) whose process is the app's
// (AppIdNamesProgram, by the process's file name or packaged app id), its level and mute
// (ISimpleAudioVolume). A process's sessions go by its own level, whatever the system's
// volume is. Looked up afresh at each call, as an app makes its sessions when it first
// plays. Every audio session call of the program is in audio_session_volume.cpp. The
// calling thread must be in COM's multithreaded apartment.
class AudioSessionVolume : public AppVolume {
  public:
    std::optional<Level> Read(const std::string& appId) override;
    bool Write(const std::string& appId, const Level& level) override;
};
