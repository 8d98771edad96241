#pragma once

#include <memory>
#include <string>

// A symbolic link to the virtual receiver's port, made for the life of the program: it
// never replaces anything already at its path, and it is removed when the program ends,
// by a signal too, unless something else has taken its place meanwhile. One at a time.
class ReceiverLink {
  public:
    // Null, with error set, when path is taken or cannot be made.
    static std::unique_ptr<ReceiverLink> Make(const std::string& path, const std::string& target,
                                              std::string& error);
    ~ReceiverLink();
    ReceiverLink(const ReceiverLink&) = delete;
    ReceiverLink& operator=(const ReceiverLink&) = delete;

  private:
    ReceiverLink() = default;
    static void RemoveOnSignal(int signal);
};
