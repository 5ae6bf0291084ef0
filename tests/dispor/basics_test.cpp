// Fetching and applying through the public operations.

#include "support.h"

namespace dispor_test {
namespace {

TEST(Basics, FetchWithoutDocumentGivesTheDefaultSetAndCreatesNothing)
{
    VirtualSet set;
    const Dispor::ConfigPtr config = fetch();
    ASSERT_TRUE(config);
    ASSERT_EQ(config->outputs().size(), 3);
    EXPECT_EQ(config->outputs().keys(), (QList<int>{1, 2, 3}));
    EXPECT_FALSE(fileExists(set.path()));
    EXPECT_FALSE(fileExists(set.path() + ".lock"));
}

TEST(Basics, ApplyWritesTheChangeAndTheNextFetchSeesIt)
{
    VirtualSet set;
    Dispor::ConfigPtr config = fetch();
    ASSERT_TRUE(config);
    byName(config, "DP-1")->setScale(2.0);
    EXPECT_EQ(apply(config), "");
    ASSERT_TRUE(fileExists(set.path()));
    const Dispor::ConfigPtr again = fetch();
    ASSERT_TRUE(again);
    EXPECT_EQ(byName(again, "DP-1")->scale(), 2.0);
    EXPECT_EQ(byName(again, "eDP-1")->scale(), 1.25);
}

} // namespace
} // namespace dispor_test
