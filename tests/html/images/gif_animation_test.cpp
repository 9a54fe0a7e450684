// Stepping an animation the way the viewer's 50 ms timer does.
#include "gif_test_writer.h"
#include "html/images/gif_animation.h"

#include <gtest/gtest.h>
#include <type_traits>

using giftest::FrameRecipe;
using giftest::GifRecipe;

namespace {

// Two 1 x 1 frames, colour 1 for 100 ms then colour 2 for 200 ms.
std::shared_ptr<const TGIFImage> twoFrames(int loopCount)
{
    GifRecipe recipe;
    recipe.width = 1;
    recipe.height = 1;
    recipe.globalPalette = giftest::rampPalette(4);
    recipe.loopCount = loopCount;
    recipe.frames = {FrameRecipe{QRect(0, 0, 1, 1), {1}, {}, false, true, -1, 10, 1},
                     FrameRecipe{QRect(0, 0, 1, 1), {2}, {}, false, true, -1, 20, 1}};
    return std::make_shared<const TGIFImage>(giftest::writeGif(recipe));
}

constexpr int kTimerMs = 50;

// A document keeps its animations in a container that moves them around.
static_assert(std::is_copy_assignable_v<TGIFAnimation> && std::is_move_assignable_v<TGIFAnimation>);

// Ticks the timer until the animation stops or `maxTicks` pass; returns the
// frames shown after each tick that changed the picture.
std::vector<int> run(TGIFAnimation& animation, int maxTicks)
{
    std::vector<int> shown;
    for (int tick = 0; tick < maxTicks && !animation.Stopped(); ++tick)
        if (animation.Advance(kTimerMs))
            shown.push_back(animation.CurrentFrame());
    return shown;
}

} // namespace

TEST(GifAnimation, StepsFramesByTheirDelays)
{
    TGIFAnimation animation(twoFrames(0));
    EXPECT_EQ(animation.CurrentFrame(), 0);
    EXPECT_EQ(animation.TimeUntilNext(), 100);
    EXPECT_FALSE(animation.Advance(kTimerMs));
    EXPECT_EQ(animation.TimeUntilNext(), 50);
    EXPECT_TRUE(animation.Advance(kTimerMs));
    EXPECT_EQ(animation.CurrentFrame(), 1);
    EXPECT_EQ(animation.TimeUntilNext(), 200);
    EXPECT_EQ(animation.CurrentImage().pixel(0, 0), giftest::rampPalette(4)[2]);
    for (int i = 0; i < 3; ++i)
        EXPECT_FALSE(animation.Advance(kTimerMs));
    EXPECT_TRUE(animation.Advance(kTimerMs));
    EXPECT_EQ(animation.CurrentFrame(), 0);
    EXPECT_EQ(animation.LoopsDone(), 1);
}

TEST(GifAnimation, PassesFollowTheLoopCount)
{
    struct Case {
        int loopCount;
        int passes; // -1: never stops
    };
    const Case cases[] = {{-1, 1}, {1, 2}, {3, 4}, {0, -1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.loopCount);
        TGIFAnimation animation(twoFrames(c.loopCount));
        const std::vector<int> shown = run(animation, 1000);
        if (c.passes < 0) {
            EXPECT_FALSE(animation.Stopped());
            continue;
        }
        ASSERT_TRUE(animation.Stopped());
        EXPECT_EQ(animation.LoopsDone(), c.passes);
        EXPECT_EQ(animation.CurrentFrame(), 1) << "the last frame stays";
        EXPECT_EQ(animation.TimeUntilNext(), -1);
        EXPECT_EQ(shown.size(), static_cast<std::size_t>(2 * c.passes - 1));
    }
}

TEST(GifAnimation, LongPauseStepsAtMostOnePass)
{
    TGIFAnimation animation(twoFrames(0));
    EXPECT_TRUE(animation.Advance(1000000));
    EXPECT_LE(animation.LoopsDone(), 1);
    EXPECT_GT(animation.TimeUntilNext(), 0);
}

TEST(GifAnimation, SingleFrameNeverRuns)
{
    GifRecipe recipe;
    recipe.width = 1;
    recipe.height = 1;
    recipe.globalPalette = giftest::rampPalette(2);
    recipe.frames = {FrameRecipe{QRect(0, 0, 1, 1), {1}, {}}};
    TGIFAnimation animation(std::make_shared<const TGIFImage>(giftest::writeGif(recipe)));
    EXPECT_TRUE(animation.Stopped());
    EXPECT_FALSE(animation.Advance(kTimerMs));
    EXPECT_EQ(animation.TimeUntilNext(), -1);
}

TEST(GifAnimation, ResetStartsOver)
{
    TGIFAnimation animation(twoFrames(-1));
    run(animation, 100);
    ASSERT_TRUE(animation.Stopped());
    animation.Reset();
    EXPECT_FALSE(animation.Stopped());
    EXPECT_EQ(animation.CurrentFrame(), 0);
    EXPECT_EQ(animation.LoopsDone(), 0);
}
