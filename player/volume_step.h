#pragma once

// The volume one key step leads to, on the MPRIS scale where 1.0 is full volume and a
// player may go above it (mpv and VLC amplify up to 1.3 or more). Up (step > 0) adds step
// and stops at 1.0, but a volume already above 1.0 stays where it is; down subtracts and
// stops at 0.0, and a volume below 0.0 stays. A step never moves the volume the wrong way.
double SteppedVolume(double volume, double step);
