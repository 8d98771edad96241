#include "platform/service_manager.h"

#include <gtest/gtest.h>

#include "tests/doubles/scoped_variable.h"
#include "tests/doubles/scratch_folder.h"
#include "tests/doubles/unix_socket.h"

namespace {

// What systemd's socket for a Type=notify service receives, as it would: READY=1.
TEST(ServiceManager, IsToldReadyThroughItsSocket) {
    const ScratchFolder folder;
    const std::string path = folder.FilePath("notify");
    const int fd = ListenOn(path, SOCK_DGRAM);
    ASSERT_GE(fd, 0);
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
