#include <gtest/gtest.h>

#include <climits>
#include <deque>
#include <vector>

#include "core/Pause.h"

namespace tazel {
namespace {

// A clock that moves only when the pause waits (by exactly the time it asked for) or when a
// test has queued explicit readings.
class FakePauseClock final : public PauseClock {
public:
    explicit FakePauseClock(std::int64_t start) : time_(start) {}

    std::deque<std::int32_t> readings; // served first, one per Now()
    int pumps = 0;
    std::vector<std::uint32_t> waits;

    std::int32_t Now() override
    {
        if (!readings.empty()) {
            const std::int32_t reading = readings.front();
            readings.pop_front();
            return reading;
        }
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(time_));
    }
    void PumpEvents() override { ++pumps; }
    void WaitForEvents(std::uint32_t milliseconds) override
    {
        waits.push_back(milliseconds);
        time_ += milliseconds;
    }

    std::int64_t time_;
};

TEST(PauseTest, EndsWhenTheCountHasPassedAndWaitsOnlyForTheRest)
{
    FakePauseClock clock(1000);
    clock.readings = {1000, 1500}; // start, then half a second gone after the first pump
    clock.time_ = 1500;

    Delay(2000, clock);

    EXPECT_EQ(clock.time_, 3000);
    EXPECT_EQ(clock.waits, std::vector<std::uint32_t>{1500});
    EXPECT_EQ(clock.pumps, 2);
}

TEST(PauseTest, ZeroOrNegativeCountPumpsOnce)
{
    for (const std::int32_t count : {0, -1, INT32_MIN}) {
        FakePauseClock clock(5000);
        Delay(count, clock);
        EXPECT_EQ(clock.pumps, 1) << count;
        EXPECT_TRUE(clock.waits.empty()) << count;
    }
}

TEST(PauseTest, ClockFallingBackFiveMillisecondsEndsThePause)
{
    FakePauseClock clock(0);
    clock.readings = {1000, 995};
    Delay(2000, clock);
    EXPECT_EQ(clock.pumps, 1);
    EXPECT_TRUE(clock.waits.empty());

    // Four milliseconds back is jitter, not a wrap: the pause goes on to its end.
    FakePauseClock jitter(0);
    jitter.readings = {1000, 996};
    jitter.time_ = 996;
    Delay(2000, jitter);
    EXPECT_EQ(jitter.pumps, 2);
    EXPECT_EQ(jitter.time_, 3000);
}

// Steps of work that note at which pump each ran, and move the clock as long as they say.
class Steps final : public PauseWork {
public:
    Steps(FakePauseClock& clock, int count, std::int64_t msEach) : clock_(clock), left_(count), msEach_(msEach) {}
    bool Step() override
    {
        pumpsAtStep.push_back(clock_.pumps);
        clock_.time_ += msEach_;
        return --left_ > 0;
    }
    std::vector<int> pumpsAtStep;

private:
    FakePauseClock& clock_;
    int left_;
    std::int64_t msEach_;
};

TEST(PauseTest, WorkRunsAStepBetweenPumpsAndNeverShortensThePause)
{
    // Quick steps: one after each pump, then the pause waits out the rest as before.
    FakePauseClock quick(0);
    Steps three(quick, 3, 0);
    Delay(2000, quick, &three);
    EXPECT_EQ(three.pumpsAtStep, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(quick.waits, std::vector<std::uint32_t>{2000});
    EXPECT_EQ(quick.time_, 2000);

    // Slow steps: the pause ends on time, after the step under way, and leaves the rest.
    FakePauseClock slow(0);
    Steps many(slow, 10, 900);
    Delay(2000, slow, &many);
    EXPECT_EQ(many.pumpsAtStep.size(), 3u);
    EXPECT_TRUE(slow.waits.empty());
    EXPECT_EQ(slow.time_, 2700);
}

TEST(PauseTest, ReadingsAtTheEndsOfTheSignedRangeDoNotOverflow)
{
    // Passing from the highest signed reading to the lowest ends the pause at once.
    FakePauseClock wrap(0);
    wrap.readings = {INT32_MAX - 10, INT32_MIN + 20};
    Delay(2000, wrap);
    EXPECT_EQ(wrap.pumps, 1);

    // The widest possible difference still counts as time gone, not as a negative one.
    FakePauseClock widest(0);
    widest.readings = {INT32_MIN, INT32_MAX};
    Delay(INT32_MAX, widest);
    EXPECT_EQ(widest.pumps, 1);
    EXPECT_TRUE(widest.waits.empty());

    // A wait that carries the clock past its highest reading ends the pause at the wrap.
    FakePauseClock nearTop(static_cast<std::int64_t>(INT32_MAX) - 1000);
    Delay(2000, nearTop);
    EXPECT_EQ(nearTop.waits, std::vector<std::uint32_t>{2000});
    EXPECT_EQ(nearTop.pumps, 2);
}

} // namespace
} // namespace tazel
