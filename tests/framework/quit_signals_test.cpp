// A request to end from outside comes through the event loop, once; asked
// again, the process ends at once.
#include "framework/quit_signals.h"

#include <QTest>
#include <gtest/gtest.h>

#include <csignal>

TEST(QuitSignals, TheFirstComesThroughTheEventLoopASecondEndsAtOnce)
{
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        ui::QuitSignals watcher;
        int quits = 0;
        watcher.whenQuit([&] { ++quits; });
        ::raise(signal);
        EXPECT_EQ(quits, 0) << "never inside the handler";
        EXPECT_TRUE(QTest::qWaitFor([&] { return quits == 1; }, 2000)) << signal;
    }
    EXPECT_EXIT(
        {
            ui::QuitSignals watcher;
            ::raise(SIGTERM);
            ::raise(SIGINT);
            std::_Exit(0);
        },
        testing::KilledBySignal(SIGINT), "");
}
