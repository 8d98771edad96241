// The Windows build's libmosquitto has no TLS, and mqtts:// is refused at the start: no
// context is ever made.
#include "mqtt/tls_context.h"

struct TlsContext::Native {
    std::string problem = "this build of Quorvel has no TLS";
    std::string refusal;
};

TlsContext::TlsContext(const std::string& /*caFile*/) : native_(std::make_unique<Native>()) {}

TlsContext::~TlsContext() = default;

void* TlsContext::Handle() const {
    return nullptr;
}

const std::string& TlsContext::Problem() const {
    return native_->problem;
}

void TlsContext::Expect(const std::string& /*host*/) {}

const std::string& TlsContext::Refusal() const {
    return native_->refusal;
}
