#include "program/key_source_choice.h"

#include <gtest/gtest.h>

#include "program/program_start.h"
#include "tests/doubles/files.h"
#include "tests/doubles/log_capture.h"
#include "tests/doubles/scratch_folder.h"
#include "tools/virtual_port.h"

namespace {

// A port named twice, or by a link to it, would fight itself: it is read once, and that is
// said.
TEST(MakeKeySources, ReadsEachPortOnce) {
    const auto pty = VirtualPort::CreatePty();
    const ScratchFolder folder;
    const std::string link = folder.FilePath("ttyUSB0");
    PointLink(link, pty->readerPath());
    const std::string port = pty->readerPath();
    LogCapture log;
    const auto sources = MakeKeySources(ParseCommandLine(
        {"--port", port, "--port", link, "--port", port, "--port", folder.FilePath("ttyUSB1")}));
    EXPECT_EQ(sources.size(), 2u);
    EXPECT_EQ(log.Count("--port " + link + " names the same device as " + port), 1);
    EXPECT_EQ(log.Count("--port " + port + " is named twice; it is read once"), 1);
}

}  // namespace
