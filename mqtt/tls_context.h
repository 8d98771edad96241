#pragma once

#include <memory>
#include <string>

// The TLS side of one client's connections, handed to libmosquitto whole (MOSQ_OPT_SSL_CTX,
// without its defaults): TLS 1.2 or later, the broker's certificate verified against the
// certificates of a file, or the system's, and against the host's name or address. Where a
// handshake refuses the certificate it keeps why, in words (expired, not yet valid, for
// another host, from an authority not trusted, self-signed), which OpenSSL's error, all
// libmosquitto reports, does not say. OpenSSL on Linux (openssl_tls_context.cpp); the Windows
// build has no TLS (no_tls_context.cpp makes none). Used on one thread at a time, with its
// client.
class TlsContext {
  public:
    // Trusts the certificates in caFile, or the system's when it is empty.
    explicit TlsContext(const std::string& caFile);
    ~TlsContext();
    TlsContext(const TlsContext&) = delete;
    TlsContext& operator=(const TlsContext&) = delete;

    // The SSL_CTX for libmosquitto; null when none could be made, with Problem() saying why.
    void* Handle() const;
    const std::string& Problem() const;
    // The handshakes from now on expect host's certificate (a name, or a literal address);
    // the last refusal is forgotten.
    void Expect(const std::string& host);
    // Why the last handshake refused the broker's certificate; empty when none was refused.
    const std::string& Refusal() const;

  private:
    struct Native;
    std::unique_ptr<Native> native_;
};
