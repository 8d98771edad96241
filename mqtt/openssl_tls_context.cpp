#include <arpa/inet.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <ctime>

#include "log/untrusted_text.h"
#include "mqtt/tls_context.h"

namespace {

// What the verification's callback is given of its context.
struct Verification {
    std::string caFile;
    std::string host;
    std::string refusal;
};

// A certificate shows this many of the hosts it is for at most.
constexpr int HostsShown = 4;
// A name from a certificate is the broker's to choose: it is cut short.
constexpr std::size_t LongestName = 64;

// Where a context keeps its Verification.
int Slot() {
    static const int slot = SSL_CTX_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
    return slot;
}

std::string Text(const ASN1_STRING* text) {
    return UntrustedText(std::string(reinterpret_cast<const char*>(ASN1_STRING_get0_data(text)),
                                     static_cast<std::size_t>(ASN1_STRING_length(text))),
                         LongestName);
}

std::string Time(const ASN1_TIME* time) {
    std::tm when{};
    char text[32];
    if (ASN1_TIME_to_tm(time, &when) != 1 ||
        std::strftime(text, sizeof text, "%Y-%m-%d %H:%M UTC", &when) == 0) {
        return "a date it does not say plainly";
    }
    return text;
}

// An authority's name: its common name, else the whole of it.
std::string Name(const X509_NAME* name) {
    const int at = X509_NAME_get_index_by_NID(name, NID_commonName, -1);
    if (at >= 0) {
        return Text(X509_NAME_ENTRY_get_data(X509_NAME_get_entry(name, at)));
    }
    char whole[256];
    return UntrustedText(X509_NAME_oneline(name, whole, sizeof whole), LongestName);
}

// The hosts a certificate is for: its alternative names, else its common name.
std::string Hosts(X509* certificate) {
    auto* names = static_cast<GENERAL_NAMES*>(
        X509_get_ext_d2i(certificate, NID_subject_alt_name, nullptr, nullptr));
    std::string hosts;
    const int count = sk_GENERAL_NAME_num(names);
    for (int i = 0; i < count && i < HostsShown; ++i) {
        const GENERAL_NAME* name = sk_GENERAL_NAME_value(names, i);
        std::string host;
        if (name->type == GEN_DNS) {
            host = Text(name->d.dNSName);
        } else if (name->type == GEN_IPADD) {
            const ASN1_OCTET_STRING* address = name->d.iPAddress;
            char text[INET6_ADDRSTRLEN] = "";
            inet_ntop(ASN1_STRING_length(address) == 4 ? AF_INET : AF_INET6,
                      ASN1_STRING_get0_data(address), text, sizeof text);
            host = text;
        }
        hosts += (hosts.empty() || host.empty() ? "" : ", ") + host;
    }
    hosts += count > HostsShown ? ", …" : "";
    GENERAL_NAMES_free(names);
    return hosts.empty() ? Name(X509_get_subject_name(certificate)) : hosts;
}

// Why OpenSSL refused certificate, depth links from the broker's own, as error says it.
std::string Refused(int error, int depth, X509* certificate, const std::string& caFile,
                    const std::string& host) {
    const std::string whose =
        depth == 0 ? "its certificate"
                   : "the certificate of its authority " + Name(X509_get_subject_name(certificate));
    const std::string trusted = caFile.empty() ? "the authorities this machine trusts (give the "
                                                 "authority's certificate with --mqtt-ca)"
                                               : "the certificates in " + UntrustedText(caFile);
    switch (error) {
        case X509_V_ERR_CERT_HAS_EXPIRED:
            return whose + " expired on " + Time(X509_get0_notAfter(certificate));
        case X509_V_ERR_CERT_NOT_YET_VALID:
            return whose + " is not valid before " + Time(X509_get0_notBefore(certificate)) +
                   " (is this machine's clock right?)";
        case X509_V_ERR_HOSTNAME_MISMATCH:
        case X509_V_ERR_IP_ADDRESS_MISMATCH:
            return "its certificate is for " + Hosts(certificate) + ", not for " +
                   UntrustedText(host);
        case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
            return "its certificate is self-signed, and not among " + trusted;
        case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
            return "its certificate comes from " + Name(X509_get_subject_name(certificate)) +
                   ", an authority not among " + trusted;
        case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
        case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
        case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
            return "its certificate comes from " + Name(X509_get_issuer_name(certificate)) +
                   ", an authority not among " + trusted;
        default:
            return whose + " was refused: " + X509_verify_cert_error_string(error);
    }
}

// OpenSSL's verdict on each certificate of the chain: the first refusal is kept, in words.
int Verify(int ok, X509_STORE_CTX* store) {
    if (ok == 1) {
        return 1;
    }
    const auto* ssl = static_cast<const SSL*>(
        X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
    auto* verification =
        ssl == nullptr
            ? nullptr
            : static_cast<Verification*>(SSL_CTX_get_ex_data(SSL_get_SSL_CTX(ssl), Slot()));
    if (verification != nullptr && verification->refusal.empty()) {
        verification->refusal = Refused(
            X509_STORE_CTX_get_error(store), X509_STORE_CTX_get_error_depth(store),
            X509_STORE_CTX_get_current_cert(store), verification->caFile, verification->host);
    }
    return 0;
}

}  // namespace

struct TlsContext::Native {
    SSL_CTX* context = nullptr;
    std::string problem;
    Verification verification;
};

TlsContext::TlsContext(const std::string& caFile) : native_(std::make_unique<Native>()) {
    native_->verification.caFile = caFile;
    SSL_CTX* context = SSL_CTX_new(TLS_client_method());
    if (context == nullptr) {
        native_->problem = "cannot set TLS up";
        ERR_clear_error();
        return;
    }
    native_->context = context;
    SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION);
    SSL_CTX_set_mode(context, SSL_MODE_RELEASE_BUFFERS);
    const int loaded = caFile.empty()
                           ? SSL_CTX_set_default_verify_paths(context)
                           : SSL_CTX_load_verify_locations(context, caFile.c_str(), nullptr);
    if (loaded != 1) {
        native_->problem = caFile.empty()
                               ? "cannot read the certificates this machine trusts"
                               : "cannot read the certificates in " + UntrustedText(caFile);
    }
    ERR_clear_error();  // else libmosquitto would print them with the next failure
    SSL_CTX_set_verify(context, SSL_VERIFY_PEER, Verify);
    SSL_CTX_set_ex_data(context, Slot(), &native_->verification);
}

TlsContext::~TlsContext() {
    SSL_CTX_free(native_->context);  // libmosquitto holds a reference of its own
}

void* TlsContext::Handle() const {
    return native_->problem.empty() ? native_->context : nullptr;
}

const std::string& TlsContext::Problem() const {
    return native_->problem;
}

void TlsContext::Expect(const std::string& host) {
    native_->verification.host = host;
    native_->verification.refusal.clear();
    if (native_->context == nullptr) {
        return;
    }
    X509_VERIFY_PARAM* expected = SSL_CTX_get0_param(native_->context);
    X509_VERIFY_PARAM_set_hostflags(expected, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
    if (X509_VERIFY_PARAM_set1_ip_asc(expected, host.c_str()) != 1) {
        X509_VERIFY_PARAM_set1_host(expected, host.c_str(), host.size());
    }
    ERR_clear_error();
}

const std::string& TlsContext::Refusal() const {
    return native_->verification.refusal;
}
