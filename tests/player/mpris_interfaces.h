#pragma once

#include <QString>

// The part of the MPRIS interfaces our stand-in players export.
inline QString MprisInterfaceXml() {
    return QStringLiteral(
        "<interface name=\"org.mpris.MediaPlayer2\">"
        "<property name=\"Identity\" type=\"s\" access=\"read\"/></interface>"
        "<interface name=\"org.mpris.MediaPlayer2.Player\">"
        "<method name=\"PlayPause\"/><method name=\"Previous\"/><method name=\"Next\"/>"
        "<property name=\"PlaybackStatus\" type=\"s\" access=\"read\"/>"
        "<property name=\"Volume\" type=\"d\" access=\"readwrite\"/></interface>");
}
