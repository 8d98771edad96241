#include "tests/mqtt/test_authority.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509v3.h>

#include <numeric>
#include <stdexcept>

struct TestAuthority::Keys {
    EVP_PKEY* key = nullptr;
    X509* certificate = nullptr;
    ~Keys() {
        X509_free(certificate);
        EVP_PKEY_free(key);
    }
};

namespace {

constexpr long Day = 24 * 60 * 60;

template <typename Write>
std::string Pem(Write write) {
    BIO* memory = BIO_new(BIO_s_mem());
    write(memory);
    char* data = nullptr;
    const long size = BIO_get_mem_data(memory, &data);
    std::string pem(data, static_cast<std::size_t>(size));
    BIO_free(memory);
    return pem;
}

void Extend(X509* certificate, X509* issuer, int nid, const std::string& value) {
    X509V3_CTX context;
    X509V3_set_ctx(&context, issuer, certificate, nullptr, nullptr, 0);
    X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value.c_str());
    if (extension == nullptr) {
        throw std::runtime_error("no such certificate extension: " + value);
    }
    X509_add_ext(certificate, extension, -1);
    X509_EXTENSION_free(extension);
}

// A certificate of key for name and hosts, signed by the issuer's key (itself when none).
X509* Make(EVP_PKEY* key, const std::string& name, const std::vector<std::string>& hosts, long from,
           long until, X509* issuer, EVP_PKEY* issuerKey, bool authority) {
    static long serial = 1;
    X509* certificate = X509_new();
    X509_set_version(certificate, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(certificate), serial++);
    X509_gmtime_adj(X509_getm_notBefore(certificate), from * Day);
    X509_gmtime_adj(X509_getm_notAfter(certificate), until * Day);
    X509_set_pubkey(certificate, key);
    X509_NAME_add_entry_by_txt(X509_get_subject_name(certificate), "CN", MBSTRING_UTF8,
                               reinterpret_cast<const unsigned char*>(name.c_str()), -1, -1, 0);
    X509_set_issuer_name(certificate, X509_get_subject_name(issuer ? issuer : certificate));
    Extend(certificate, issuer ? issuer : certificate, NID_basic_constraints,
           authority ? "critical,CA:TRUE" : "CA:FALSE");
    if (!hosts.empty()) {
        Extend(certificate, issuer ? issuer : certificate, NID_subject_alt_name,
               std::accumulate(std::next(hosts.begin()), hosts.end(), hosts.front(),
                               [](const std::string& all, const std::string& host) {
                                   return all + "," + host;
                               }));
    }
    X509_sign(certificate, issuerKey ? issuerKey : key, EVP_sha256());
    return certificate;
}

TestAuthority::Issued Text(X509* certificate, EVP_PKEY* key) {
    return {Pem([&](BIO* out) { PEM_write_bio_X509(out, certificate); }), Pem([&](BIO* out) {
                PEM_write_bio_PrivateKey(out, key, nullptr, nullptr, 0, nullptr, nullptr);
            })};
}

}  // namespace

TestAuthority::TestAuthority(const std::string& name, const std::vector<std::string>& hosts)
    : keys_(std::make_unique<Keys>()) {
    keys_->key = EVP_EC_gen("P-256");
    keys_->certificate = Make(keys_->key, name, hosts, -1, 30, nullptr, nullptr, true);
    own_ = Text(keys_->certificate, keys_->key);
}

TestAuthority::~TestAuthority() = default;

TestAuthority::Issued TestAuthority::Issue(const std::vector<std::string>& hosts, long from,
                                           long until) const {
    EVP_PKEY* key = EVP_EC_gen("P-256");
    X509* certificate =
        Make(key, "broker", hosts, from, until, keys_->certificate, keys_->key, false);
    Issued issued = Text(certificate, key);
    X509_free(certificate);
    EVP_PKEY_free(key);
    return issued;
}
