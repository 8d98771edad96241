#include "player/choice_report.h"

#include "player/player_log.h"

void ChoiceReport::Say(std::string line, bool warning) {
    if (line == last_) {
        return;
    }
    last_ = std::move(line);
    if (warning) {
        QUORVEL_WARNING(lcPlayer) << last_;
    } else {
        QUORVEL_INFO(lcPlayer) << last_;
    }
}
