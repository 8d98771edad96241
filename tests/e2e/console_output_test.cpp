// quorvel --console as a user sees it: on a terminal the last history line is rewritten
// in place; into a pipe each line is printed once, when it is final.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <string>

#include "tests/e2e/port_writing.h"
#include "tests/e2e/program_process.h"
#include "tests/receiver/pty.h"

namespace {

const std::string Erase = "\r\033[K";
const std::string W = "Waiting for new signal...";

// A terminal for quorvel's standard output: the child writes the slave, the test reads the
// master. Output processing is off, so the bytes read are exactly the bytes written.
class Terminal {
  public:
    Terminal() {
        if (::openpty(&master_, &slave_, nullptr, nullptr, nullptr) != 0) {
            throw std::system_error(errno, std::generic_category(), "openpty");
        }
        ::fcntl(master_, F_SETFD, FD_CLOEXEC);
        ::fcntl(slave_, F_SETFD, FD_CLOEXEC);
        termios settings{};
        ::tcgetattr(slave_, &settings);
        settings.c_oflag &= ~OPOST;
        ::tcsetattr(slave_, TCSANOW, &settings);
    }
    ~Terminal() {
        ::close(master_);
        ::close(slave_);
    }
    Terminal(const Terminal&) = delete;
    Terminal& operator=(const Terminal&) = delete;

    // In the child: standard output onto the terminal.
    std::function<void()> AsStandardOutput() const {
        return [fd = slave_] { ::dup2(fd, STDOUT_FILENO); };
    }

    // Reads until output holds at least size bytes or the deadline passed. The slave stays
    // open here, so what a finished child wrote is still there to read.
    void ReadAtLeast(std::string& output, std::size_t size) const {
        const QDeadlineTimer deadline(DeadlineMs);
        while (output.size() < size && !deadline.hasExpired()) {
            pollfd fd{master_, POLLIN, 0};
            if (::poll(&fd, 1, 100) > 0) {
                char buffer[256];
                const ssize_t n = ::read(master_, buffer, sizeof buffer);
                if (n > 0) {
                    output.append(buffer, static_cast<std::size_t>(n));
                }
            }
        }
    }

    // Whatever is there now, without waiting.
    void ReadAvailable(std::string& output) const {
        pollfd fd{master_, POLLIN, 0};
        char buffer[256];
        ssize_t n = 0;
        while (::poll(&fd, 1, 0) > 0 && (n = ::read(master_, buffer, sizeof buffer)) > 0) {
            output.append(buffer, static_cast<std::size_t>(n));
        }
    }

  private:
    int master_ = -1;
    int slave_ = -1;
};

struct OutputCase {
    const char* name;
    bool terminal;
    // Before the first byte, after a key press and a stray byte, and after SIGTERM.
    std::string waiting;
    std::string session;
    std::string atExit;
};

void PrintTo(const OutputCase& c, std::ostream* os) {
    *os << c.name;
}

class ConsoleOutput : public ::testing::TestWithParam<OutputCase> {};

TEST_P(ConsoleOutput, ShowsTheHistoryOfAShortSession) {
    const OutputCase& c = GetParam();
    PrepareQtWithoutSessionBus();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    Pty port;
    Terminal terminal;

    QProcess quorvel;
    ASSERT_TRUE(StartChild(
        quorvel, QStringLiteral(QUORVEL_BINARY),
        {"--console", "--port", QString::fromStdString(port.SlavePath())},
        ProgramEnvironment(QStringLiteral("unix:path=") + dir.filePath(QStringLiteral("no-bus"))),
        c.terminal ? terminal.AsStandardOutput() : std::function<void()>()));

    std::string output;
    auto read = [&](std::size_t size) {
        if (c.terminal) {
            terminal.ReadAtLeast(output, size);
        } else {
            QByteArray piped = QByteArray::fromStdString(output);
            ReadOutputUntil(quorvel, piped, [&](const QByteArray& o) {
                return static_cast<std::size_t>(o.size()) >= size;
            });
            output = piped.toStdString();
        }
    };

    ASSERT_TRUE(WaitForRawReader(port));
    read(c.waiting.size());
    EXPECT_EQ(output, c.waiting);

    port.Write({0x91, 0x60, 0x05});
    read(c.waiting.size() + c.session.size());
    EXPECT_EQ(output, c.waiting + c.session);

    ASSERT_TRUE(Terminate(quorvel)) << "quorvel did not end on SIGTERM";
    EXPECT_EQ(quorvel.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(quorvel.exitCode(), 0);
    read(c.waiting.size() + c.session.size() + c.atExit.size());
    if (c.terminal) {
        terminal.ReadAvailable(output);  // nothing more
    }
    EXPECT_EQ(output, c.waiting + c.session + c.atExit);
}

INSTANTIATE_TEST_SUITE_P(Cases, ConsoleOutput,
                         ::testing::Values(
                             // The waiting line is rewritten with the key's text; the stray byte's
                             // waiting line stays, with the number below it.
                             OutputCase{"Terminal", true, Erase + W,
                                        Erase + Erase + "PLAY!" + "\n" + Erase + W + "\n" + Erase +
                                            "5" + "\n" + Erase + W,
                                        "\n"},
                             // Nothing until a line is final; the last waiting line never is.
                             OutputCase{"Pipe", false, "", "PLAY!\n" + W + "\n5\n", ""}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
