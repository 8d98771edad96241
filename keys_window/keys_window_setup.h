#pragma once

#include <filesystem>
#include <functional>

#include "receiver/key_capture.h"

// What the keys window needs from the running program, on either platform.
struct KeysWindowSetup {
    std::filesystem::path keysOption;  // as --keys gave it; empty: the default map
    KeyCapture* capture = nullptr;     // the running receiver's; none: no learning
    std::function<bool()> reload;      // puts the map saved in force
    std::filesystem::path statePath;   // where its size is kept; empty: nowhere
};
