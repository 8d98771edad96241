// A stand-in MPRIS media player for the tests and benchmarks, run as a child process. It
// joins the bus at ADDRESS, exports /org/mpris/MediaPlayer2 and owns
// org.mpris.MediaPlayer2.NAME, then prints "ready". For every request it then prints one line,
// the time it arrived (CLOCK_MONOTONIC, ns) and what it was: a command ("PlayPause",
// "Previous", "Next", "Volume 0.5500") or "? PROPERTY" for a read of PlaybackStatus, Identity
// or Volume. The line is flushed before the reply goes, so a caller whose call has returned
// can read it at once. PlayPause turns Playing into Paused and anything else into Playing.
// Play, Pause and Stop set the status they name; Seek records its offset ("Seek 5000000").
// As a real player does, it says every status it is set to (changed or not: some players
// repeat theirs) and every Volume written in a PropertiesChanged signal, before its reply;
// the values a signal carries are not recorded as reads. With --silent it records its
// methods but never answers them. Chatter, a method of its own that is not recorded, says
// its Volume ChatterCount times in a row, stepping it up to ChatterVolume, as a chatty
// player does.
//
// Usage: quorvel_mpris_stand_in ADDRESS NAME [--identity TEXT] [--status STATUS]
//                               [--volume NUMBER] [--silent]
#include <sdbus-c++/sdbus-c++.h>
#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr const char* RootInterface = "org.mpris.MediaPlayer2";
constexpr const char* PlayerInterface = "org.mpris.MediaPlayer2.Player";
constexpr int ChatterCount = 20'000;
constexpr double ChatterVolume = 0.25;

void Record(const std::string& what) {
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    std::printf("%lld %s\n", static_cast<long long>(ts.tv_sec) * 1'000'000'000LL + ts.tv_nsec,
                what.c_str());
    std::fflush(stdout);
}

struct State {
    std::string identity = "Stand-In";
    std::string status = "Paused";
    double volume = 0.5;
    bool replies = true;
};

struct Player {
    State state;
    std::vector<sdbus::Result<>> unanswered;
    sdbus::IObject* object = nullptr;
    bool signalling = false;  // the getters called now fill a signal, not a read

    // A read of a property, recorded unless it fills a signal.
    template <typename T>
    const T& Read(const char* property, const T& value) const {
        if (!signalling) {
            Record(std::string("? ") + property);
        }
        return value;
    }

    void Changed(const char* property) {
        signalling = true;
        object->emitPropertiesChangedSignal(PlayerInterface, {property});
        signalling = false;
    }

    void Command(const std::string& name, sdbus::Result<>&& result) {
        if (name == "PlayPause" || name == "Play" || name == "Pause" || name == "Stop") {
            Changed("PlaybackStatus");
        }
        Record(name);
        if (state.replies) {
            result.returnResults();
        } else {
            unanswered.push_back(std::move(result));
        }
    }
};

int Usage() {
    std::fputs(
        "usage: quorvel_mpris_stand_in ADDRESS NAME [--identity TEXT] [--status STATUS]"
        " [--volume NUMBER] [--silent]\n",
        stderr);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        return Usage();
    }
    State setup;
    for (int i = 3; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--silent") {
            setup.replies = false;
        } else if (i + 1 == argc) {
            return Usage();
        } else if (option == "--identity") {
            setup.identity = argv[++i];
        } else if (option == "--status") {
            setup.status = argv[++i];
        } else if (option == "--volume") {
            setup.volume = std::strtod(argv[++i], nullptr);
        } else {
            return Usage();
        }
    }
    try {
        auto bus = sdbus::createSessionBusConnectionWithAddress(argv[1]);
        // Gone before the bus: the calls it never answered hold on to it.
        Player player{setup, {}};
        auto object = sdbus::createObject(*bus, "/org/mpris/MediaPlayer2");
        player.object = object.get();
        // What playerctl reads besides: it declines to command a player without them.
        for (const char* name : {"CanQuit", "CanRaise"}) {
            object->registerProperty(name).onInterface(RootInterface).withGetter([] {
                return false;
            });
        }
        for (const char* name :
             {"CanControl", "CanPlay", "CanPause", "CanGoNext", "CanGoPrevious"}) {
            object->registerProperty(name).onInterface(PlayerInterface).withGetter([] {
                return true;
            });
        }
        object->registerProperty("CanSeek").onInterface(PlayerInterface).withGetter([] {
            return false;
        });
        object->registerProperty("Identity").onInterface(RootInterface).withGetter([&] {
            return player.Read("Identity", player.state.identity);
        });
        object->registerProperty("PlaybackStatus").onInterface(PlayerInterface).withGetter([&] {
            return player.Read("PlaybackStatus", player.state.status);
        });
        object->registerProperty("Volume")
            .onInterface(PlayerInterface)
            .withGetter([&] { return player.Read("Volume", player.state.volume); })
            .withSetter([&](const double& volume) {
                player.state.volume = volume;
                player.Changed("Volume");
                char line[32];
                std::snprintf(line, sizeof line, "Volume %.4f", volume);
                Record(line);
            });
        object->registerMethod("PlayPause")
            .onInterface(PlayerInterface)
            .implementedAs([&](sdbus::Result<>&& result) {
                player.state.status = player.state.status == "Playing" ? "Paused" : "Playing";
                player.Command("PlayPause", std::move(result));
            });
        object->registerMethod("Previous")
            .onInterface(PlayerInterface)
            .implementedAs(
                [&](sdbus::Result<>&& result) { player.Command("Previous", std::move(result)); });
        object->registerMethod("Next")
            .onInterface(PlayerInterface)
            .implementedAs(
                [&](sdbus::Result<>&& result) { player.Command("Next", std::move(result)); });
        for (const auto& [method, status] :
             {std::pair{"Play", "Playing"}, std::pair{"Pause", "Paused"},
              std::pair{"Stop", "Stopped"}}) {
            object->registerMethod(method)
                .onInterface(PlayerInterface)
                .implementedAs([&, method = method, status = status](sdbus::Result<>&& result) {
                    player.state.status = status;
                    player.Command(method, std::move(result));
                });
        }
        object->registerMethod("Seek")
            .onInterface(PlayerInterface)
            .withInputParamNames("Offset")
            .implementedAs([&](sdbus::Result<>&& result, std::int64_t offset) {
                player.Command(("Seek " + std::to_string(offset)).c_str(), std::move(result));
            });
        object->registerMethod("Chatter").onInterface(PlayerInterface).implementedAs([&] {
            for (int i = 1; i <= ChatterCount; ++i) {
                player.state.volume = ChatterVolume * i / ChatterCount;
                player.Changed("Volume");
            }
        });
        object->registerMethod("Raise")
            .onInterface(RootInterface)
            .implementedAs(
                [&](sdbus::Result<>&& result) { player.Command("Raise", std::move(result)); });
        object->finishRegistration();
        bus->requestName(std::string("org.mpris.MediaPlayer2.") + argv[2]);
        std::puts("ready");
        std::fflush(stdout);
        bus->enterEventLoop();
    } catch (const sdbus::Error& e) {
        std::fprintf(stderr, "stand-in: %s\n", e.what());
        return 1;
    }
    return 0;
}
