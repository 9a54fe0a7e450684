// The picture cache shared by the viewers: what survives how many loads.
#include "html/images/image_cache.h"

#include <gtest/gtest.h>

namespace {

images::LoadedImage picture(int width)
{
    images::LoadedImage loaded;
    loaded.image = QImage(width, 1, QImage::Format_RGB32);
    loaded.image.fill(Qt::white);
    return loaded;
}

} // namespace

TEST(ImageCache, NamesMatchTrimmedAndInUpperCase)
{
    EXPECT_EQ(ImageCache::KeyOf("  pics/Logo.gif\t"), "PICS/LOGO.GIF");
    EXPECT_EQ(ImageCache::KeyOf("caf\xe9.gif"), "CAF\xc9.GIF");
    EXPECT_EQ(ImageCache::KeyOf("\xf7\x9a\xff"), "\xf7\x8a\x9f");
    ImageCache cache;
    cache.Add("Logo.GIF ", picture(3));
    const auto taken = cache.Take("logo.gif");
    ASSERT_TRUE(taken);
    EXPECT_EQ(taken->image.width(), 3);
    EXPECT_FALSE(cache.Take("other.gif"));
}

// A picture no longer shown survives Limit() further loads and is dropped at
// the next; one still shown stays however many loads go by.
TEST(ImageCache, UnusedPicturesLiveForLimitLoads)
{
    ImageCache cache;
    cache.setLimit(2);
    cache.Add("a.gif", picture(1));
    cache.Add("b.gif", picture(1));
    cache.Release("a.gif");
    cache.BeginLoad();
    cache.BeginLoad();
    EXPECT_TRUE(cache.CountsOf("a.gif"));
    cache.BeginLoad();
    EXPECT_FALSE(cache.CountsOf("a.gif"));
    for (int i = 0; i < 30; ++i)
        cache.BeginLoad();
    ASSERT_TRUE(cache.CountsOf("b.gif"));
    EXPECT_EQ(cache.CountsOf("b.gif")->usage, 1);
}

TEST(ImageCache, TakingResetsIdleLoadsAndCountsTheUse)
{
    ImageCache cache;
    cache.Add("a.gif", picture(1));
    cache.Release("a.gif");
    cache.Release("a.gif"); // never below zero
    cache.BeginLoad();
    cache.BeginLoad();
    EXPECT_EQ(cache.CountsOf("a.gif")->access, 2);
    EXPECT_EQ(cache.CountsOf("a.gif")->usage, 0);
    cache.Take("A.GIF");
    EXPECT_EQ(cache.CountsOf("a.gif")->access, 0);
    EXPECT_EQ(cache.CountsOf("a.gif")->usage, 1);
}

TEST(ImageCache, LoweringTheLimitDropsLongIdleEntriesAtOnce)
{
    ImageCache cache;
    cache.Add("old.gif", picture(1));
    cache.Release("old.gif");
    cache.Add("shown.gif", picture(1));
    for (int i = 0; i < 3; ++i)
        cache.BeginLoad();
    cache.setLimit(-4);
    EXPECT_EQ(cache.Limit(), 0);
    EXPECT_EQ(cache.Count(), 1);
    EXPECT_TRUE(cache.CountsOf("shown.gif"));
    cache.setLimit(99);
    EXPECT_EQ(cache.Limit(), ImageCache::kMaxLimit);
}
