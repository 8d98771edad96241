#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "player/detached_command.h"

bool StartDetachedCommand(const std::string& command, std::string& error) {
    const char* argv[] = {"/bin/sh", "-c", command.c_str(), nullptr};
    // Forked twice, so the command is the init process's child, not a zombie of ours; only
    // async-signal-safe calls between fork and exec, as the program has other threads.
    const pid_t child = ::fork();
    if (child < 0) {
        error = std::strerror(errno);
        return false;
    }
    if (child == 0) {
        const pid_t command = ::fork();
        if (command == 0) {
            // Its own session, and no share of our terminal's input.
            ::setsid();
            const int nothing = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
            if (nothing >= 0) {
                ::dup2(nothing, STDIN_FILENO);
            }
            ::execv(argv[0], const_cast<char* const*>(argv));
            ::_exit(127);
        }
        ::_exit(command < 0 ? 1 : 0);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        error = "no process could be made for it";
        return false;
    }
    return true;
}
