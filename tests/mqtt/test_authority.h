#pragma once

#include <memory>
#include <string>
#include <vector>

// A certificate authority made for a test with OpenSSL, and the certificates it issues, each
// with its key, as PEM text: a broker's certificates of every kind a client may refuse.
class TestAuthority {
  public:
    struct Issued {
        std::string certificate;
        std::string key;
    };

    // Named name; its own certificate is also for hosts ("DNS:NAME", "IP:ADDRESS"), so that a
    // broker may present it as a self-signed one of its own.
    explicit TestAuthority(const std::string& name, const std::vector<std::string>& hosts = {});
    ~TestAuthority();

    const Issued& Own() const { return own_; }
    // A certificate for hosts, valid from `from` days from now until `until` days from now.
    Issued Issue(const std::vector<std::string>& hosts, long from = -1, long until = 30) const;

  private:
    struct Keys;
    std::unique_ptr<Keys> keys_;
    Issued own_;
};
