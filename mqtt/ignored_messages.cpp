#include "mqtt/ignored_messages.h"

#include "log/untrusted_text.h"
#include "mqtt/mqtt_log.h"

void IgnoredMessages::Say(const std::string& topic, const MqttPayloadDecoder::Decoded& decoded) {
    using Ignored = MqttPayloadDecoder::Ignored;
    if (decoded.ignored == Ignored::Own || decoded.ignored == Ignored::Status) {
        return;
    }
    if (decoded.ignored == Ignored::Duplicate) {
        QUORVEL_DEBUG(lcMqtt) << "ignored another Quorvel's key delivered again on "
                              << UntrustedText(topic);
        return;
    }
    auto said = said_.find(topic);
    if (said == said_.end()) {
        if (said_.size() == Topics) {
            return;
        }
        said = said_.emplace(topic, std::set<Ignored>()).first;
        if (said_.size() == Topics) {
            QUORVEL_WARNING(lcMqtt) << "messages that are no keys came on " << Topics
                                    << " topics; those of further topics are not said";
        }
    }
    if (!said->second.insert(decoded.ignored).second) {
        return;
    }
    QUORVEL_WARNING(lcMqtt) << "ignored " << MqttPayloadDecoder::Describe(decoded.ignored)
                            << (decoded.detail.empty() ? std::string()
                                                       : " (" + UntrustedText(decoded.detail) + ")")
                            << " on " << UntrustedText(topic) << "; not said again for it";
}
