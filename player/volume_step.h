#pragma once

#include <string>

#include "actions/player_feedback.h"

// The volume one key step leads to, on the MPRIS scale where 1.0 is full volume and a
// player may go above it (mpv and VLC amplify up to 1.3 or more). The volume is taken
// within 0.0..1.0 first, then up (step > 0) adds step and stops at 1.0, down subtracts and
// stops at 0.0. A step never moves the volume the wrong way: up from above 1.0, or down
// from below 0.0, leaves it where it is. A volume that is no finite number is left as it
// is (the caller writes nothing then).
double SteppedVolume(double volume, double step);

// What a volume key's news (kind Volume) or a mute key's (kind Mute) says of the volume it
// left, 1.0 being full: "Volume 55%"; "Muted" at 0, else "Unmuted: volume 55%".
std::string VolumeNewsText(PlayerNews::Kind kind, double volume);
