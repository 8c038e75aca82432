#include "core/read_ahead.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <vector>

namespace chatterwick {
namespace {

TEST(ReadAheadTest, ItemsComeInTheOrderMadeEitherWay) {
  for (bool threaded : {false, true}) {
    int next = 0;
    ReadAhead<int> items([&](int* slot) { return next < 1000 && (*slot = next++, true); }, threaded,
                         3);
    std::vector<int> got;
    while (int* i = items.Take()) got.push_back(*i);
    ASSERT_EQ(got.size(), 1000u) << threaded;
    for (int i = 0; i < 1000; ++i) ASSERT_EQ(got[i], i) << threaded;
    EXPECT_EQ(items.Take(), nullptr);
  }
}

TEST(ReadAheadTest, TheWorkerStaysAtMostDepthItemsAhead) {
  std::atomic<int> made{0};
  ReadAhead<int> items([&](int* slot) { return (*slot = made++) < 100; }, true, 3);
  for (int taken = 0; taken < 50; ++taken) {
    int* i = items.Take();
    ASSERT_NE(i, nullptr);
    EXPECT_EQ(*i, taken);
    // The one held, and three made ahead of it at most.
    EXPECT_LE(made.load(), taken + 1 + 3);
  }
}

TEST(ReadAheadTest, ATakerThatLeavesEarlyEndsTheWorker) {
  std::atomic<int> made{0};
  {
    ReadAhead<int> items([&](int* slot) { return (*slot = made++), true; }, true, 2);
    EXPECT_EQ(*items.Take(), 0);
  }  // an endless worker, cancelled and joined here
  EXPECT_LE(made.load(), 4);
}

TEST(ReadAheadTest, WhatAStepThrowsComesAfterTheItemsBeforeIt) {
  for (bool threaded : {false, true}) {
    int next = 0;
    ReadAhead<int> items(
        [&](int* slot) {
          if (next == 2) throw std::runtime_error("no memory");
          *slot = next++;
          return true;
        },
        threaded);
    EXPECT_EQ(*items.Take(), 0);
    EXPECT_EQ(*items.Take(), 1);
    EXPECT_THROW(items.Take(), std::runtime_error) << threaded;
  }
}

}  // namespace
}  // namespace chatterwick
