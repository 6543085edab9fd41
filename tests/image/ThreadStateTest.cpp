#include "ThreadState.h"
#include "Status.h"
#include "imgcore.h"

#include <gtest/gtest.h>
#include <thread>
#include <vector>

using namespace img;

TEST(ThreadState, FreshThreadStartsWithTheDefaults) {
    int code = -1;
    ThreadState seen{};
    std::thread([&] {
        code = getLastError();
        seen = *getThreadState();
    }).join();
    EXPECT_EQ(code, 0);
    EXPECT_DOUBLE_EQ(seen.pngScreenGamma, 2.9);
    EXPECT_EQ(seen.pngBackground.red, 0);
    EXPECT_EQ(seen.pngBackground.grey, 0);
}

TEST(ThreadState, LastErrorIsPerThread) {
    setLastError(kBadArgument);
    int other = -1;
    std::thread([&] {
        setLastError(kReadFailed);
        other = getLastError();
    }).join();
    EXPECT_EQ(other, kReadFailed);
    EXPECT_EQ(getLastError(), kBadArgument);
    EXPECT_EQ(getThreadState(), getThreadState());
}

TEST(ThreadState, RegistryFreesTheRecordsOfEveryThreadAtShutdown) {
    auto* registry = new ThreadStateRegistry();
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i)
        threads.emplace_back([registry] { ASSERT_NE(registry->stateOfThisThread(), nullptr); });
    for (auto& t : threads)
        t.join();
    ASSERT_NE(registry->stateOfThisThread(), nullptr);
    EXPECT_EQ(registry->stateOfThisThread(), registry->stateOfThisThread());
    EXPECT_EQ(registry->recordCount(), 5u);
    delete registry; // the sanitizer build reports any record left behind
}

TEST(ThreadState, DeleteLibraryLockWithoutALockDoesNothing) {
    deleteLibraryLock();
    deleteLibraryLock();
    EXPECT_EQ(getLastError(), getLastError());
}
