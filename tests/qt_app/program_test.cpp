// Runs the built program as the user would and checks what it says and how it ends.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <QTemporaryDir>
#include <algorithm>
#include <string>

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

// A map with a mistake stops the start with the console's words and status 2; with no
// display for a box, one no one sees (offscreen) or one Qt cannot open, nothing waits on
// one, and nothing more is said.
TEST(Program, AMapWithAMistakeStopsTheStartWithItsStatus) {
    QTemporaryDir config;
    ASSERT_TRUE(QDir(config.path()).mkpath("quorvel"));
    QFile map(config.filePath("quorvel/keys.conf"));
    ASSERT_TRUE(map.open(QIODevice::WriteOnly) && map.write("key 0x60 paly\n") > 0);
    map.close();
    const QString home = "XDG_CONFIG_HOME=" + config.path();
    for (const QStringList& set : {QStringList{home},
                                   {home, "QT_QPA_PLATFORM=offscreen"},
                                   {home, "QT_QPA_PLATFORM=nosuchplatform"}}) {
        const Outcome outcome =
            RunQuorvel({"--port", "/nonexistent/quorvel-port"}, Environment(displayVariables, set));
        EXPECT_EQ(outcome.status, 2) << outcome.err;
        const std::string said = "quorvel: " + map.fileName().toStdString() + ":1: unknown action";
        EXPECT_EQ(outcome.err.rfind(said, 0), 0u) << outcome.err;
        EXPECT_EQ(outcome.err.find("no display"), std::string::npos) << outcome.err;
    }
}

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

}  // namespace
