#include "platform/service_manager.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>

#include "tests/doubles/scoped_variable.h"
#include "tests/doubles/scratch_folder.h"

namespace {

// What systemd's socket for a Type=notify service receives, as it would: READY=1.
TEST(ServiceManager, IsToldReadyThroughItsSocket) {
    const ScratchFolder folder;
    const std::string path = folder.FilePath("notify");
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    {
        const ScopedVariable socket("NOTIFY_SOCKET", path);
        EXPECT_TRUE(TellServiceManagerReady());
    }
    char said[64] = {};
    EXPECT_EQ(::recv(fd, said, sizeof said - 1, MSG_DONTWAIT), 7);
    EXPECT_STREQ(said, "READY=1");
    ::close(fd);
    {
        const ScopedVariable socket("NOTIFY_SOCKET", std::nullopt);
        EXPECT_TRUE(TellServiceManagerReady());  // no manager: nothing to tell
    }
    const ScopedVariable socket("NOTIFY_SOCKET", "not/absolute");
    EXPECT_FALSE(TellServiceManagerReady());
}

}  // namespace
