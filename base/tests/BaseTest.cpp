#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "orvane/base/Endian.h"
#include "orvane/base/Logger.h"
#include "orvane/base/SysTime.h"

namespace orvane {
namespace {

std::filesystem::path tempFile(const char* name)
{
    auto dir = std::filesystem::temp_directory_path() / ("orvane_base_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    return dir / name;
}

TEST(Logger, ManyThreadsWriteWholeMessagesAndLoseNone)
{
    const auto path = tempFile("log.txt");
    std::filesystem::remove(path);
    ASSERT_TRUE(Logger::Instance().setOutputFile(path.string()));
    Logger::Instance().setMinLevel(LOG_LEVEL_DETAIL);

    constexpr int kThreads = 8, kMessages = 2000;
    // A long body makes a torn write visible: every line must carry its whole padding.
    const std::string pad(300, 'x');
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &pad] {
            for (int i = 0; i < kMessages; ++i) ORVANE_LOG_INFO("thread %d message %d %s end", t, i, pad.c_str());
        });
    }
    for (auto& th : threads) th.join();
    Logger::Instance().setOutputFile("");
    Logger::Instance().setMinLevel(LOG_LEVEL_INFO);

    std::ifstream in(path);
    const std::regex shape(R"(^\d\d:\d\d:\d\d\.\d{3} \[INFO\] BaseTest\.cpp:\d+: thread (\d+) message (\d+) x{300} end$)");
    std::set<std::pair<int, int>> seen;
    std::string line;
    while (std::getline(in, line)) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(line, m, shape)) << line;
        seen.emplace(std::stoi(m[1]), std::stoi(m[2]));
    }
    EXPECT_EQ(seen.size(), size_t{kThreads * kMessages});
}

TEST(Logger, LevelBelowTheMinimumIsDroppedAndLongMessagesAreKeptWhole)
{
    const auto path = tempFile("levels.txt");
    std::filesystem::remove(path);
    ASSERT_TRUE(Logger::Instance().setOutputFile(path.string()));
    Logger::Instance().setMinLevel(LOG_LEVEL_WARNING);
    ORVANE_LOG_INFO("hidden");
    ORVANE_LOG_DETAIL("hidden");
    const std::string big(5000, 'y');
    ORVANE_LOG_ERROR("%s", big.c_str());
    ORVANE_LOG_WARNING("Mp4 offset: %lld", 42LL);
    Logger::Instance().setOutputFile("");
    Logger::Instance().setMinLevel(LOG_LEVEL_INFO);

    std::ifstream in(path);
    std::string first, second, third;
    std::getline(in, first);
    std::getline(in, second);
    EXPECT_FALSE(std::getline(in, third));
    EXPECT_NE(first.find("[ERROR] BaseTest.cpp:"), std::string::npos);
    EXPECT_NE(first.find(big), std::string::npos);
    EXPECT_NE(second.find("[WARNING]"), std::string::npos);
    EXPECT_NE(second.find("Mp4 offset: 42"), std::string::npos);
}

TEST(Logger, ErrorCaptureKeepsTheLastErrorOfItsThreadOnlyEvenWhenLoggingIsOff)
{
    Logger::Instance().setMinLevel(static_cast<LogLevelType>(5));
    {
        LogErrorCapture outer;
        ORVANE_LOG_ERROR("first %d", 1);
        {
            LogErrorCapture inner;
            ORVANE_LOG_WARNING("not an error");
            ORVANE_LOG_ERROR("inner %s", "reason");
            EXPECT_EQ(inner.lastError(), "inner reason");
        }
        // Another thread's errors are not this caller's reason.
        std::thread([] { ORVANE_LOG_ERROR("elsewhere"); }).join();
        EXPECT_EQ(outer.lastError(), "first 1");
    }
    Logger::Instance().setMinLevel(LOG_LEVEL_INFO);
}

TEST(Endian, SwapsEveryWordAndKeepsTheSize)
{
    std::vector<uint8_t> buffer;
    for (int i = 0; i < 23; ++i) buffer.push_back(static_cast<uint8_t>(i));
    std::vector<uint8_t> swapped = buffer;
    convertEndian(swapped);
    ASSERT_EQ(swapped.size(), buffer.size());
    for (size_t i = 0; i + 1 < buffer.size(); i += 2) {
        EXPECT_EQ(swapped[i], buffer[i + 1]);
        EXPECT_EQ(swapped[i + 1], buffer[i]);
    }
    EXPECT_EQ(swapped.back(), buffer.back());  // the odd byte stays
    convertEndian(swapped);
    EXPECT_EQ(swapped, buffer);
}

TEST(SysTime, IsOneLineOfDateAndTime)
{
    const std::string t = getSysTime();
    EXPECT_TRUE(std::regex_match(t, std::regex(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d)"))) << t;
}

}  // namespace
}  // namespace orvane
