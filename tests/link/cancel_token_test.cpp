// Cancelling: one token per update shared by all its repeats, and child
// tokens so that one cancel can stop every port while a port can still be
// stopped alone.
#include "link/cancel_token.h"

#include <gtest/gtest.h>

namespace zorvik::link {
namespace {

TEST(CancelToken, CopiesShareOneCancel) {
  const CancelToken token;
  const CancelToken copy = token;  // what each repeat of an update holds
  EXPECT_FALSE(token.cancelled());
  copy.cancel();
  EXPECT_TRUE(token.cancelled());
  EXPECT_TRUE(copy.cancelled());
  EXPECT_FALSE(CancelToken().cancelled()) << "a fresh token shares nothing";
}

TEST(CancelToken, ParentCancelsItsChildrenButNotTheOtherWayRound) {
  const CancelToken all;
  const CancelToken first = all.child();
  const CancelToken second = all.child();
  const CancelToken grandChild = first.child();

  first.cancel();
  EXPECT_TRUE(first.cancelled());
  EXPECT_TRUE(grandChild.cancelled());
  EXPECT_FALSE(second.cancelled()) << "one port cancelled alone";
  EXPECT_FALSE(all.cancelled());

  all.cancel();
  EXPECT_TRUE(second.cancelled());
}

TEST(CancelToken, TheSignalFlagIsTheTokensOwnCancel) {
  const CancelToken token;
  const CancelToken child = token.child();
  token.signalFlag().store(true);  // all a signal handler may do
  EXPECT_TRUE(token.cancelled());
  EXPECT_TRUE(child.cancelled());
}

}  // namespace
}  // namespace zorvik::link
