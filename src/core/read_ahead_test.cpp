#include "core/read_ahead.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

namespace chatterwick {
namespace {

// Items that take uneven times to make, so that with several workers a
// later one is often ready before an earlier one.
bool Square(size_t index, size_t* slot) {
  if (index >= 500) return false;
  if (index % 7 == 0) std::this_thread::sleep_for(std::chrono::microseconds(200));
  *slot = index * index;
  return true;
}

TEST(ReadAheadTest, ItemsComeInOrderWithAnyNumberOfWorkers) {
  for (int workers : {0, 1, 2, 3}) {
    ReadAhead<size_t> items(Square, workers, 3);
    std::vector<size_t> got;
    while (size_t* i = items.Take()) got.push_back(*i);
    ASSERT_EQ(got.size(), 500u) << workers;
    for (size_t i = 0; i < got.size(); ++i) ASSERT_EQ(got[i], i * i) << workers;
    EXPECT_EQ(items.Take(), nullptr);
  }
}

TEST(ReadAheadTest, WorkersStayAtMostDepthItemsAhead) {
  for (int workers : {1, 2}) {
    std::atomic<size_t> highest{0};
    ReadAhead<size_t> items(
        [&](size_t index, size_t* slot) {
          size_t seen = highest.load();
          while (index > seen && !highest.compare_exchange_weak(seen, index)) {
          }
          *slot = index;
          return index < 100;
        },
        workers, 3);
    for (size_t taken = 0; taken < 50; ++taken) {
      size_t* i = items.Take();
      ASSERT_NE(i, nullptr);
      EXPECT_EQ(*i, taken);
      // The one held, and two more at most in the three slots.
      EXPECT_LE(highest.load(), taken + 2) << workers;
    }
  }
}

TEST(ReadAheadTest, ATakerThatLeavesEarlyEndsTheWorkers) {
  std::atomic<int> made{0};
  {
    ReadAhead<int> items([&](size_t, int* slot) { return (*slot = made++), true; }, 2, 2);
    EXPECT_NE(items.Take(), nullptr);
  }  // endless workers, cancelled and joined here
  EXPECT_LE(made.load(), 4);
}

TEST(ReadAheadTest, WhatAStepThrowsComesAfterTheItemsBeforeIt) {
  for (int workers : {0, 1, 2}) {
    ReadAhead<size_t> items(
        [](size_t index, size_t* slot) {
          if (index == 2) throw std::runtime_error("no memory");
          *slot = index;
          return true;
        },
        workers);
    EXPECT_EQ(*items.Take(), 0u);
    EXPECT_EQ(*items.Take(), 1u);
    EXPECT_THROW(items.Take(), std::runtime_error) << workers;
    EXPECT_EQ(items.Take(), nullptr);
  }
}

}  // namespace
}  // namespace chatterwick
