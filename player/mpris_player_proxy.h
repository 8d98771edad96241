#pragma once

#include <sdbus-c++/sdbus-c++.h>

#include <functional>
#include <map>
#include <memory>
#include <string>

#include "actions/player_action.h"

// The MPRIS calls the link makes on one player's object, typed: the interfaces and members
// are named only in mpris_player_proxy.cpp. A call goes out at once without waiting and
// carries no time-out of its own (the caller decides how long to wait); its outcome reaches
// its callback when the connection is next read, however late, with error empty on
// success. Dropping the proxy drops the calls still open. Used under the bus's lock.
class MprisPlayerProxy {
  public:
    using Properties = std::map<std::string, sdbus::Variant>;
    using Done = std::function<void(const std::string& error)>;
    // What a read gave, by property name; sender is the unique name of the connection that
    // answered.
    using Read = std::function<void(const std::string& error, const Properties& properties,
                                    const std::string& sender)>;

    MprisPlayerProxy(sdbus::IConnection& connection, const std::string& busName);

    // The MPRIS member that carries out an action in one call without a value (PlayPause,
    // Play, Pause, Stop, Previous, Next, Seek, Raise); null for the others.
    static const char* Member(PlayerAction action);
    // Sends Member(request.action), Seek with request.seconds forward or back; false, and
    // nothing sent, when there is no such member.
    bool Send(const PlayerRequest& request, Done done);

    // Every property of the player interface.
    void ReadPlayer(Read done);
    // One property each, handed on under its name.
    void ReadIdentity(Read done);
    void ReadVolume(Read done);
    void WriteVolume(double volume, Done done);

  private:
    void Call(const char* interface, const char* member, Done done);
    void Get(const char* interface, const char* property, Read done);

    std::unique_ptr<sdbus::IProxy> proxy_;
};
