#include "player/mpris_player_proxy.h"

#include <cstdint>
#include <limits>
#include <utility>

namespace {

constexpr const char* PlayerPath = "/org/mpris/MediaPlayer2";
constexpr const char* RootInterface = "org.mpris.MediaPlayer2";
constexpr const char* PlayerInterface = "org.mpris.MediaPlayer2.Player";
constexpr const char* PropertiesInterface = "org.freedesktop.DBus.Properties";
constexpr const char* Identity = "Identity";
constexpr const char* Volume = "Volume";
constexpr const char* Seek = "Seek";
constexpr const char* Raise = "Raise";
// sd-bus's way to say a call has no time-out of its own.
constexpr std::uint64_t NoTimeout = std::numeric_limits<std::uint64_t>::max();

std::string Describe(const sdbus::Error* error) {
    return error == nullptr ? std::string() : error->getName() + ": " + error->getMessage();
}

}  // namespace

MprisPlayerProxy::MprisPlayerProxy(sdbus::IConnection& connection, const std::string& busName)
    : proxy_(sdbus::createProxy(connection, busName, PlayerPath)) {}

const char* MprisPlayerProxy::Member(PlayerAction action) {
    switch (action) {
        case PlayerAction::PlayPause:
            return "PlayPause";
        case PlayerAction::Previous:
            return "Previous";
        case PlayerAction::Next:
            return "Next";
        case PlayerAction::Play:
            return "Play";
        case PlayerAction::Pause:
            return "Pause";
        case PlayerAction::Stop:
            return "Stop";
        case PlayerAction::SeekForward:
        case PlayerAction::SeekBackward:
            return Seek;
        case PlayerAction::Raise:
            return Raise;
        default:
            return nullptr;
    }
}

bool MprisPlayerProxy::Send(const PlayerRequest& request, Done done) {
    const char* member = Member(request.action);
    if (member == nullptr) {
        return false;
    }
    if (member == Raise) {
        Call(RootInterface, Raise, std::move(done));
    } else if (member == Seek) {
        // Seek's Offset is in microseconds, back when negative.
        const std::int64_t microseconds = std::int64_t{request.seconds} * 1'000'000;
        proxy_->callMethodAsync(Seek)
            .onInterface(PlayerInterface)
            .withTimeout(NoTimeout)
            .withArguments(request.action == PlayerAction::SeekForward ? microseconds
                                                                       : -microseconds)
            .uponReplyInvoke(
                [done = std::move(done)](const sdbus::Error* error) { done(Describe(error)); });
    } else {
        Call(PlayerInterface, member, std::move(done));
    }
    return true;
}

void MprisPlayerProxy::Call(const char* interface, const char* member, Done done) {
    proxy_->callMethodAsync(member).onInterface(interface).withTimeout(NoTimeout).uponReplyInvoke(
        [done = std::move(done)](const sdbus::Error* error) { done(Describe(error)); });
}

void MprisPlayerProxy::ReadPlayer(Read done) {
    sdbus::MethodCall call = proxy_->createMethodCall(PropertiesInterface, "GetAll");
    call << std::string(PlayerInterface);
    // The reply itself, not only its values: its sender is the name's owner.
    proxy_->callMethod(
        call,
        [done = std::move(done)](sdbus::MethodReply& reply, const sdbus::Error* error) {
            Properties properties;
            if (error != nullptr) {
                done(Describe(error), properties, {});
                return;
            }
            try {
                reply >> properties;
            } catch (const sdbus::Error& malformed) {
                done(Describe(&malformed), {}, {});
                return;
            }
            done({}, properties, reply.getSender());
        },
        NoTimeout);
}

void MprisPlayerProxy::ReadIdentity(Read done) {
    Get(RootInterface, Identity, std::move(done));
}

void MprisPlayerProxy::ReadVolume(Read done) {
    Get(PlayerInterface, Volume, std::move(done));
}

void MprisPlayerProxy::Get(const char* interface, const char* property, Read done) {
    proxy_->callMethodAsync("Get")
        .onInterface(PropertiesInterface)
        .withTimeout(NoTimeout)
        .withArguments(std::string(interface), std::string(property))
        .uponReplyInvoke(
            [property, done = std::move(done)](const sdbus::Error* error, sdbus::Variant value) {
                done(Describe(error),
                     error == nullptr ? Properties{{property, value}} : Properties(), {});
            });
}

void MprisPlayerProxy::WriteVolume(double volume, Done done) {
    proxy_->callMethodAsync("Set")
        .onInterface(PropertiesInterface)
        .withTimeout(NoTimeout)
        .withArguments(std::string(PlayerInterface), std::string(Volume), sdbus::Variant(volume))
        .uponReplyInvoke(
            [done = std::move(done)](const sdbus::Error* error) { done(Describe(error)); });
}
