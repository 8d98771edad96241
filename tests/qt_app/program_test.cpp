// Runs the built program as the user would and checks what it says and how it ends.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <QTemporaryDir>
#include <algorithm>
#include <cstring>
#include <string>

#include "tools/virtual_port.h"

namespace {

struct Outcome {
    int status = -1;
    bool crashed = false;
    std::string out;
    std::string err;
};

QProcessEnvironment Environment(const QStringList& remove, const QStringList& set) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const QString& name : remove) {
        environment.remove(name);
    }
    for (const QString& pair : set) {
        const auto split = pair.indexOf('=');
        environment.insert(pair.left(split), pair.mid(split + 1));
    }
    return environment;
}

Outcome Finish(QProcess& process) {
    Outcome outcome;
    EXPECT_TRUE(process.waitForFinished(30000)) << "still running";
    outcome.status = process.exitCode();
    outcome.crashed = process.exitStatus() == QProcess::CrashExit;
    outcome.out = process.readAllStandardOutput().toStdString();
    outcome.err = process.readAllStandardError().toStdString();
    return outcome;
}

Outcome RunQuorvel(const QStringList& args, const QProcessEnvironment& environment) {
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(QUORVEL_BINARY), args);
    EXPECT_TRUE(process.waitForStarted());
    return Finish(process);
}

const QStringList displayVariables = {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"};

int LineCount(const std::string& text) {
    return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

struct NoDisplayCase {
    const char* name;
    QStringList set;
    const char* says;
};

void PrintTo(const NoDisplayCase& c, std::ostream* os) {
    *os << c.name;
}

class NoDisplay : public ::testing::TestWithParam<NoDisplayCase> {};

TEST_P(NoDisplay, OnePlainLineAndStatusOne) {
    const Outcome outcome = RunQuorvel({"--port", "/nonexistent/quorvel-port"},
                                       Environment(displayVariables, GetParam().set));
    EXPECT_FALSE(outcome.crashed);
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.out, "");
    EXPECT_EQ(LineCount(outcome.err), 1) << outcome.err;
    EXPECT_EQ(outcome.err.rfind("quorvel: no display available (", 0), 0u) << outcome.err;
    EXPECT_NE(outcome.err.find(GetParam().says), std::string::npos) << outcome.err;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NoDisplay,
    ::testing::Values(NoDisplayCase{"NothingSet", {}, "DISPLAY"},
                      NoDisplayCase{"UnreachableServer", {"DISPLAY=:4711"}, ":4711"},
                      NoDisplayCase{
                          "UnknownPlatform", {"QT_QPA_PLATFORM=nosuchplatform"}, "nosuchplatform"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Program, TerminationSignalEndsItCleanly) {
    QProcess process;
    process.setProcessEnvironment(
        Environment(displayVariables,
                    {"QT_QPA_PLATFORM=offscreen", "QT_LOGGING_RULES=quorvel.app.debug=true"}));
    process.setReadChannel(QProcess::StandardError);
    process.start(QStringLiteral(QUORVEL_BINARY), {"--port", "/nonexistent/quorvel-port"});
    ASSERT_TRUE(process.waitForStarted());
    // The loop is running (and the signals handled) once the window says it is shown.
    QByteArray err;
    while (!err.contains("window: shown")) {
        ASSERT_TRUE(process.waitForReadyRead(30000)) << err.toStdString();
        err += process.readAllStandardError();
    }
    process.terminate();
    const Outcome outcome = Finish(process);
    EXPECT_FALSE(outcome.crashed);
    EXPECT_EQ(outcome.status, 0);
}

// A misspelt action refuses the whole key map, naming its line.
TEST(Program, ABadKeyMapIsRefusedByLine) {
    QTemporaryDir dir;
    const QString keys = dir.filePath(QStringLiteral("keys.conf"));
    QFile file(keys);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("key 42 stop\nkey 43 stpo\n");
    file.close();
    const Outcome outcome = RunQuorvel(
        {"--console", "--keys", keys, "--port", "/nonexistent/quorvel-port"}, Environment({}, {}));
    EXPECT_EQ(outcome.status, 2);
    EXPECT_EQ(outcome.err, "quorvel: " + keys.toStdString() +
                               ":2: unknown action \"stpo\" (did you mean \"stop\"?)\n");
}

// The remote's keys learnt over a pseudo-terminal: a toggle bit's second code bound with
// the first, a taken code refused, Enter skipping, a held volume key made a repeating one,
// and the old key map kept.
TEST(Program, LearnsARemotesKeys) {
    QTemporaryDir dir;
    const QString keys = dir.filePath(QStringLiteral("quorvel/keys.conf"));
    ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("quorvel")));
    QFile old(keys);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("key 1 stop\n");
    old.close();
    auto port = VirtualPort::CreatePty();

    QProcess learn;
    learn.start(QStringLiteral(QUORVEL_BINARY),
                {"--learn", "--keys", keys, "--port", QString::fromStdString(port->readerPath())});
    ASSERT_TRUE(learn.waitForStarted());
    QByteArray said;
    qsizetype from = 0;  // what was asked before is not asked again
    const auto asked = [&](const char* text) {
        for (;;) {
            if (const qsizetype at = said.indexOf(text, from); at >= 0) {
                from = at + qsizetype(std::strlen(text));
                return true;
            }
            if (!learn.waitForReadyRead(30000)) {
                return false;
            }
            said += learn.readAllStandardOutput();
        }
    };
    ASSERT_TRUE(asked("key for play-pause"));
    port->Write({0x91, 42});
    ASSERT_TRUE(asked("Press it again"));
    port->Write({0x91, 42 | 0x80});
    ASSERT_TRUE(asked("bind both? [Y/n]"));
    learn.write("\n");
    ASSERT_TRUE(asked("key for previous"));
    learn.write("\n");
    ASSERT_TRUE(asked("key for next"));
    port->Write({0x91, 42});
    ASSERT_TRUE(asked("taken already"));
    port->Write({0x91, 43});
    ASSERT_TRUE(asked("Press it again"));
    port->Write({0x91, 43});
    ASSERT_TRUE(asked("the same code"));
    ASSERT_TRUE(asked("key for volume-up"));
    port->Write({0x91, 0x50, 0x0D, 0x50, 0x0D, 0x50});
    ASSERT_TRUE(asked("Press it again"));
    learn.write("\n");
    ASSERT_TRUE(asked("key for volume-down"));
    learn.closeWriteChannel();  // no more typing: the rest is skipped
    const Outcome outcome = Finish(learn);
    EXPECT_EQ(outcome.status, 0) << outcome.err;

    QFile learnt(keys);
    ASSERT_TRUE(learnt.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(learnt.readAll());
    EXPECT_TRUE(text.endsWith(QStringLiteral(
        "key  42,170 play-pause\nkey  43 next\nkey  80 volume-up\nheld 80 volume-up\n")))
        << text.toStdString();
    QFile kept(keys + QStringLiteral(".bak"));
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), QByteArray("key 1 stop\n"));
}

// Unplugged while a key is awaited: said as a lost port, once, and nothing written.
TEST(Program, LearningSaysALostPortOnce) {
    QTemporaryDir dir;
    const QString keys = dir.filePath(QStringLiteral("keys.conf"));
    auto port = VirtualPort::CreatePty();
    QProcess learn;
    learn.start(QStringLiteral(QUORVEL_BINARY),
                {"--learn", "--keys", keys, "--port", QString::fromStdString(port->readerPath())});
    ASSERT_TRUE(learn.waitForStarted());
    QByteArray said;
    while (!said.contains("key for play-pause")) {
        ASSERT_TRUE(learn.waitForReadyRead(30000));
        said += learn.readAllStandardOutput();
    }
    port->Write({0x91});  // a key's first byte, then the line hangs up
    port->Drain();
    port.reset();
    const Outcome outcome = Finish(learn);
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.err.find("taken"), std::string::npos) << outcome.err;
    EXPECT_EQ(outcome.out.find("taken"), std::string::npos) << outcome.out;
    EXPECT_NE(outcome.err.find("quorvel: lost the receiver on "), std::string::npos) << outcome.err;
    EXPECT_EQ(LineCount(outcome.err), 1) << outcome.err;
    EXPECT_FALSE(QFile::exists(keys));
}

// A port that is not there is said once, and a key map that cannot be written is refused
// with exit 2 before the port is even opened.
TEST(Program, LearningRefusesOnceAndBeforeAsking) {
    QTemporaryDir dir;
    const QString keys = dir.filePath(QStringLiteral("keys.conf"));
    const Outcome absent =
        RunQuorvel({"--learn", "--keys", keys, "--port", dir.filePath(QStringLiteral("absent"))},
                   Environment({}, {}));
    EXPECT_EQ(absent.status, 1);
    EXPECT_EQ(LineCount(absent.err), 1) << absent.err;
    const Outcome folder =
        RunQuorvel({"--learn", "--keys", dir.path(), "--port", dir.filePath(QStringLiteral("x"))},
                   Environment({}, {}));
    EXPECT_EQ(folder.status, 2);
    EXPECT_EQ(folder.out, "");
    EXPECT_NE(folder.err.find("it is a folder"), std::string::npos) << folder.err;
    EXPECT_TRUE(QDir(dir.path()).exists());
}

}  // namespace
