#include <gtest/gtest.h>

#include <future>
#include <string>

#include "log/log_line.h"
#include "log/log_rules.h"
#include "log/scoped_log_sink.h"

namespace {

struct RulesCase {
    const char* rules;
    LogLevel start;
    LogLevel threshold;
};

void PrintTo(const RulesCase& c, std::ostream* os) {
    *os << '"' << c.rules << '"';
}

class LogRules : public ::testing::TestWithParam<RulesCase> {};

TEST_P(LogRules, SetTheThreshold) {
    LogCategory category("quorvel.test", GetParam().start);
    ApplyLogRules(GetParam().rules);
    EXPECT_TRUE(category.IsEnabled(GetParam().threshold));
    if (GetParam().threshold != LogLevel::Debug) {
        EXPECT_FALSE(
            category.IsEnabled(static_cast<LogLevel>(static_cast<int>(GetParam().threshold) - 1)));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, LogRules,
    ::testing::Values(RulesCase{"quorvel.*.debug=true", LogLevel::Info, LogLevel::Debug},
                      RulesCase{"*.debug=true", LogLevel::Info, LogLevel::Debug},
                      RulesCase{"quorvel.test=true", LogLevel::Warning, LogLevel::Debug},
                      RulesCase{"quorvel.test.info=false", LogLevel::Info, LogLevel::Warning},
                      RulesCase{"*test.debug=true;quorvel.*=false", LogLevel::Info,
                                LogLevel::Warning},
                      RulesCase{"other.*.debug=true\nnonsense", LogLevel::Info, LogLevel::Info},
                      RulesCase{"", LogLevel::Info, LogLevel::Info}));

// A sink that logs is not waited on by its own thread; what it logs is not lost.
TEST(LogSink, ASinkThatLogsDoesNotDeadlock) {
    LogCategory category("quorvel.test");
    int calls = 0;
    const ScopedLogSink sink([&](const LogCategory& c, LogLevel, const std::string&) {
        ++calls;
        QUORVEL_WARNING(c) << "from the sink";
    });
    auto done = std::async(std::launch::async, [&] { QUORVEL_WARNING(category) << "hello"; });
    ASSERT_EQ(done.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    EXPECT_EQ(calls, 1);
}

}  // namespace
