#pragma once

#include <systemd/sd-bus.h>

#include <string>
#include <vector>

#include "actions/player_action.h"
#include "player/mpris_bus.h"
#include "player/mpris_value.h"

// The MPRIS calls the link makes on one player's object, typed: the interfaces, members and
// signatures are named only in mpris_player_proxy.cpp. A call goes out at once without
// waiting (MprisBus::Call); its outcome reaches its callback when it arrives, with error
// empty on success. Used on the loop's thread.
class MprisPlayerProxy {
  public:
    MprisPlayerProxy(MprisBus& bus, std::string busName)
        : bus_(bus), busName_(std::move(busName)) {}

    // The MPRIS member that carries out an action in one call without a value (PlayPause,
    // Play, Pause, Stop, Previous, Next, Seek, Raise); null for the others.
    static const char* Member(PlayerAction action);
    // Sends Member(request.action), Seek with request.seconds forward or back; false, and
    // nothing sent, when there is no such member.
    bool Send(const PlayerRequest& request, MprisBus::Done done);

    // Every property of the player interface; the answer tells the bus who owns the name.
    void ReadPlayer(MprisBus::Read done);
    // One property each, handed on under its name.
    void ReadIdentity(MprisBus::Read done);
    void ReadVolume(MprisBus::Read done);
    void WriteVolume(double volume, MprisBus::Done done);

    // What the bus's own messages carry: false for a message not of that shape.
    static bool ReadStrings(sd_bus_message* message, std::vector<std::string>& strings);
    static bool ReadOwnerChange(sd_bus_message* message, std::string& name, std::string& oldOwner,
                                std::string& newOwner);
    static bool ReadChanges(sd_bus_message* message, MprisProperties& changed,
                            std::vector<std::string>& invalidated);

  private:
    void Call(const char* interface, const char* member, MprisBus::Done done);
    void Get(const char* interface, const char* property, MprisBus::Read done);

    MprisBus& bus_;
    std::string busName_;
};
