#include "hid/media_keys.h"

namespace {

// One usage or virtual key, one name: both platforms must name a key alike.
constexpr bool EachOnce() {
    for (auto a = MediaKeys.begin(); a != MediaKeys.end(); ++a) {
        for (auto b = a + 1; b != MediaKeys.end(); ++b) {
            if (a->hid == b->hid || (a->virtualKey != 0 && a->virtualKey == b->virtualKey)) {
                return false;
            }
        }
    }
    return true;
}
static_assert(EachOnce(), "a usage or a virtual key in two rows of MediaKeys");

}  // namespace

const MediaKey* FindMediaKey(HidUsage usage) {
    for (const MediaKey& key : MediaKeys) {
        if (key.hid == usage) {
            return &key;
        }
    }
    return nullptr;
}

const MediaKey* FindMediaKeyByVirtualKey(unsigned virtualKey) {
    for (const MediaKey& key : MediaKeys) {
        if (virtualKey != 0 && key.virtualKey == virtualKey) {
            return &key;
        }
    }
    return nullptr;
}
