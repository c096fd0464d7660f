#include "search/parallel_search.h"

#include <gtest/gtest.h>

#ifdef ZELVAR_HAVE_PIPE
#include <unistd.h>
#endif

#include <algorithm>
#include <array>
#include <cstdio>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "platform/output.h"
#include "platform/thread.h"
#include "search/prepared_databases.h"
#include "search/reference_search.h"
#include "search/solve_report.h"

namespace {

struct Start {
  std::string name;
  reference::Position position;
};

// Scrambles from one move up, then random positions of the benchmark's list that solve in
// well under a million nodes, the last two of 51 and 52 moves.
std::vector<Start> starts() {
  std::vector<Start> result;
  std::mt19937 rng(20'261'209);
  for (int trial = 0; trial < 240; ++trial) {
    const int length = 1 + trial % 48;
    result.push_back({"scramble " + std::to_string(trial) + " of " + std::to_string(length),
                      reference::scramble(rng, length)});
  }
  const std::array<int, 16> kRandom[] = {
      {11, 2, 15, 8, 13, 1, 14, 7, 4, 10, 9, 3, 0, 5, 6, 12},
      {2, 10, 7, 0, 1, 11, 6, 13, 5, 9, 4, 8, 14, 12, 3, 15},
      {8, 6, 1, 12, 13, 3, 7, 2, 4, 15, 11, 14, 0, 5, 10, 9},
      {10, 2, 13, 1, 14, 9, 8, 5, 0, 12, 11, 4, 15, 6, 7, 3},
  };
  for (const auto& tiles : kRandom)
    result.push_back({"random", reference::positionFromRows(tiles)});
  return result;
}

struct Outcome {
  bool solved;
  std::uint64_t nodes;
  std::vector<Direction> path;
  bool operator==(const Outcome&) const = default;
};

}  // namespace

// Every bound of every start, split at several depths and run on pools of several sizes, must
// give the one-thread search's result, count and path: frontiers from one move down to ones
// the bound cannot fill, and ones cut short by the nodes they may count.
TEST(ParallelSearch, EveryBoundMatchesTheOneThreadSearch) {
  const PreparedDatabases& built = preparedDatabases();
  ASSERT_TRUE(built.built);
  // Each search keeps its units from bound to bound and start to start.
  std::vector<std::unique_ptr<WorkerPool>> pools;
  std::vector<std::unique_ptr<ParallelSearch>> searches;
  // Their workers sleep as soon as they wait: spinning ones take turns with each other and
  // with other programs on a busy machine, milliseconds for each of the thousands of runs
  // (30 s instead of 2 s with two busy CPUs). The pool's own tests spin.
  for (unsigned workers : {1u, 2u, 3u, 7u}) {
    pools.push_back(std::make_unique<WorkerPool>(workers, &platform::startThread, 0));
    searches.push_back(std::make_unique<ParallelSearch>(*pools.back()));
  }
  constexpr std::uint64_t kUnlimited = std::numeric_limits<std::uint64_t>::max();
  // Besides these, on one worker, every depth the frontier reaches: each run wants one
  // unit more than the last had, until the bound has no more to give.
  const struct {
    unsigned units;
    std::uint64_t frontierNodesAllowed;
  } kPlans[] = {{2, kUnlimited}, {600, kUnlimited}, {20'000, 3'000}};
  constexpr std::size_t kEveryDepthPool = 0;
  constexpr unsigned kMostUnitsDeepened = 1'000;

  bool solvedInFirstUnit = false, solvedInLateUnit = false, tooSmallToSplit = false;
  bool fewerUnitsThanWanted = false, moreThanTwiceWanted = false, cutShort = false;
  for (const Start& start : starts()) {
    SCOPED_TRACE(start.name);
    const reference::ViewIndices at = reference::viewIndices(start.position);
    const std::array<unsigned, 4> terms =
        reference::DatabaseSearch(built.topLeft.distanceTable.get(),
                                  built.bottomRight.distanceTable.get())
            .terms(start.position);
    bool solved = false;
    for (unsigned bound = terms[0] + terms[1] + terms[2] + terms[3]; !solved; bound += 2) {
      ASSERT_LE(bound, kMaxBound);
      SearchContext alone = contextOf(built);
      solved = search(alone, bound, kNoDirection, at.topLeft, at.topRight, at.bottomLeft,
                      at.bottomRight);
      const Outcome expected{solved, alone.nodeCount,
                             solved ? std::vector<Direction>(alone.path, alone.path + bound)
                                    : std::vector<Direction>()};
      for (std::size_t pool = 0; pool < pools.size(); ++pool) {
        ParallelSearch& parallel = *searches[pool];
        const auto check = [&](unsigned units, std::uint64_t frontierNodesAllowed) {
          SearchContext context = contextOf(built);
          const bool found = parallel.run(context, bound, at.topLeft, at.topRight, at.bottomLeft,
                                          at.bottomRight, units, frontierNodesAllowed);
          const Outcome got{found, context.nodeCount,
                            found ? std::vector<Direction>(context.path, context.path + bound)
                                  : std::vector<Direction>()};
          EXPECT_EQ(got, expected) << "bound " << bound << ", " << pools[pool]->size()
                                   << " workers, " << units << " units wanted";
          const ParallelSearch::Split split = parallel.lastSplit();
          tooSmallToSplit |= split.depth == 0;
          if (split.depth == 0) return split;
          if (found) {
            solvedInFirstUnit |= split.solvedIn == 0;
            solvedInLateUnit |= split.solvedIn >= 100;
          }
          fewerUnitsThanWanted |= split.units < units;
          moreThanTwiceWanted |= split.units > 2 * units;
          // Beyond the first move down, a deeper frontier is tried only within the allowance.
          EXPECT_LE(split.frontierNodes, std::max<std::uint64_t>(frontierNodesAllowed, 5));
          cutShort |= split.units < units && split.frontierNodes <= frontierNodesAllowed &&
                      split.frontierNodes + 3 * split.units > frontierNodesAllowed;
          // Each depth grows from the one above, so the frontier counts no node twice.
          if (!found) {
            EXPECT_LE(split.frontierNodes, expected.nodes);
          }
          return split;
        };
        for (const auto& plan : kPlans)
          check(plan.units, plan.frontierNodesAllowed);
        for (unsigned units = 3; pool == kEveryDepthPool && units <= kMostUnitsDeepened;) {
          const ParallelSearch::Split split = check(units, kUnlimited);
          if (split.units < units) break;
          units = static_cast<unsigned>(split.units) + 1;
        }
        ASSERT_FALSE(HasFailure());
      }
    }
  }
  EXPECT_TRUE(solvedInFirstUnit);
  EXPECT_TRUE(solvedInLateUnit);
  EXPECT_TRUE(tooSmallToSplit);
  EXPECT_TRUE(fewerUnitsThanWanted);
  // The room for the frontier must hold the last depth tried, up to three times the units
  // wanted; a room of two would overflow here.
  EXPECT_TRUE(moreThanTwiceWanted);
  EXPECT_TRUE(cutShort);
}

// The benchmark plans the split for more workers than it runs on: the report keeps every count
// and move, and the trace holds what each bound did. The start's last bound (of 52 moves, 1.4
// million nodes) is the first large enough to split.
TEST(Solve, PlansForOtherWorkerCountsWithTheSameReport) {
  const PreparedDatabases& built = preparedDatabases();
  ASSERT_TRUE(built.built);
  const Board start = reference::toBoard(
      reference::positionFromRows({13, 6, 3, 2, 9, 4, 12, 7, 1, 11, 15, 14, 8, 0, 10, 5}));
  const SolveRun alone = runSolve(start);
  const Report expected = parseReport(alone.text);
  ASSERT_EQ(expected.error, "");
  ASSERT_GE(expected.nodes.size(), 2u);

  for (unsigned poolSize : {1u, 3u}) {
    WorkerPool workers(poolSize);
    for (unsigned planned : {1u, 64u}) {
      SCOPED_TRACE(std::to_string(planned) + " planned on " + std::to_string(poolSize));
      SplitTrace trace{planned, {}};
      SearchContext context;
      Board position = start;
      const std::string text = captureOutput([&](std::FILE* out) {
        solve(context, built.topLeft, built.bottomRight, position, workers, out, &trace);
      });
      const Report got = parseReport(text);
      ASSERT_EQ(got.error, "");
      EXPECT_EQ(got.nodes, expected.nodes);
      EXPECT_EQ(got.moves, expected.moves);
      ASSERT_EQ(trace.bounds.size(), expected.nodes.size());
      for (std::size_t i = 0; i < trace.bounds.size(); ++i) {
        const BoundTrace& bound = trace.bounds[i];
        EXPECT_EQ(bound.nodes, expected.nodes[i]);
        // Only the last bound is split, and only when planned for several workers.
        const bool split = planned > 1 && i + 1 == trace.bounds.size();
        EXPECT_EQ(bound.unitNodes.empty(), !split);
        if (!split) continue;
        std::uint64_t below = 0;
        for (std::uint64_t nodes : bound.unitNodes)
          below += nodes;
        // The count is the units up to the solving one and part of the frontier's nodes.
        EXPECT_LT(below, bound.nodes);
        EXPECT_LE(bound.nodes, below + bound.frontierNodes);
      }
    }
  }

  // Planned for 64 workers, a bound that is split and does not solve (bound 56 here, of 8.4
  // million nodes) runs all its units: enough for every worker to take many, so that none
  // waits long at the end.
  const Board larger = reference::toBoard(
      reference::positionFromRows({14, 13, 9, 1, 5, 3, 6, 12, 7, 11, 0, 8, 4, 2, 15, 10}));
  WorkerPool one(1);
  SplitTrace trace{64, {}};
  SearchContext context;
  Board position = larger;
  captureOutput([&](std::FILE* out) {
    solve(context, built.topLeft, built.bottomRight, position, one, out, &trace);
  });
  ASSERT_GE(trace.bounds.size(), 2u);
  const BoundTrace& unsolved = trace.bounds[trace.bounds.size() - 2];
  EXPECT_EQ(unsolved.nodes, 8'381'734u);
  EXPECT_GE(unsolved.unitNodes.size(), 16u * 64);
}

// Units after a solution are given up at the first watched node; units before it run to the end.
TEST(WalkBelow, GivesUpAtOnceWhenItsUnitComesAfterASolution) {
  const PreparedDatabases& built = preparedDatabases();
  ASSERT_TRUE(built.built);
  const reference::ViewIndices at = reference::viewIndices(
      reference::positionFromRows({10, 2, 13, 1, 14, 9, 8, 5, 0, 12, 11, 4, 15, 6, 7, 3}));
  const unsigned bound = 52;  // its solving bound
  SearchContext alone = contextOf(built);
  ASSERT_TRUE(
      search(alone, bound, kNoDirection, at.topLeft, at.topRight, at.bottomLeft, at.bottomRight));

  const SearchContext context = contextOf(built);
  const WalkNode root =
      rootNode(at.topLeft, at.topRight, at.bottomLeft, at.bottomRight, bound, kNoDirection);
  const std::atomic<std::int64_t> abandonAfter{4};
  Direction path[kMaxBound + 1] = {};
  std::uint64_t nodes = 0;
  EXPECT_EQ(walkBelow(context, root, path, nodes, &abandonAfter, 4), WalkResult::kSolved);
  EXPECT_EQ(nodes + 1, alone.nodeCount);  // the root is counted by its parent
  EXPECT_TRUE(std::equal(path, path + bound, alone.path));

  nodes = 0;
  EXPECT_EQ(walkBelow(context, root, path, nodes, &abandonAfter, 5), WalkResult::kAbandoned);
  EXPECT_LE(nodes, 4u);
}

// A walk that was abandoned leaves nothing behind on its thread: the next walk, watched or
// not, solves and counts as if it were the first.
TEST(WalkBelow, SolvesAfterAnAbandonedWalkOnTheSameThread) {
  const PreparedDatabases& built = preparedDatabases();
  ASSERT_TRUE(built.built);
  const reference::ViewIndices at = reference::viewIndices(
      reference::positionFromRows({10, 2, 13, 1, 14, 9, 8, 5, 0, 12, 11, 4, 15, 6, 7, 3}));
  const unsigned bound = 52;
  const SearchContext context = contextOf(built);
  const WalkNode root =
      rootNode(at.topLeft, at.topRight, at.bottomLeft, at.bottomRight, bound, kNoDirection);
  const std::atomic<std::int64_t> abandonAfter{4};
  Direction path[kMaxBound + 1] = {};
  std::uint64_t nodes = 0;
  ASSERT_EQ(walkBelow(context, root, path, nodes, &abandonAfter, 5), WalkResult::kAbandoned);

  SearchContext alone = contextOf(built);
  EXPECT_TRUE(
      search(alone, bound, kNoDirection, at.topLeft, at.topRight, at.bottomLeft, at.bottomRight));
  EXPECT_EQ(alone.nodeCount, 108'608u);  // the bound's line in the report

  ASSERT_EQ(walkBelow(context, root, path, nodes, &abandonAfter, 5), WalkResult::kAbandoned);
  nodes = 0;
  EXPECT_EQ(walkBelow(context, root, path, nodes, &abandonAfter, 4), WalkResult::kSolved);
  EXPECT_EQ(nodes + 1, alone.nodeCount);
  EXPECT_TRUE(std::equal(path, path + bound, alone.path));
}

// A split bound watches its output: while the pipe is read it runs as ever and, once solved,
// gives up the units after the solving one; once the reader has left it gives up every unit
// and says why. The first unit taken asks, so one run is enough to see it.
TEST(ParallelSearch, GivesUpTheBoundOnceNobodyReadsItsOutput) {
#ifndef ZELVAR_HAVE_PIPE
  GTEST_SKIP() << "no POSIX pipe(): the system cannot tell that a reader left";
#else
  const PreparedDatabases& built = preparedDatabases();
  ASSERT_TRUE(built.built);
  const reference::ViewIndices at = reference::viewIndices(
      reference::positionFromRows({10, 2, 13, 1, 14, 9, 8, 5, 0, 12, 11, 4, 15, 6, 7, 3}));
  const unsigned bound = 52;
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  std::FILE* output = fdopen(ends[1], "w");
  ASSERT_NE(output, nullptr);
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> closer(output, &std::fclose);
  EXPECT_FALSE(platform::outputReaderGone(output));
  EXPECT_FALSE(platform::outputReaderGone(nullptr));

  constexpr std::uint64_t kAnyFrontier = std::numeric_limits<std::uint64_t>::max();
  WorkerPool pool(3);
  ParallelSearch read(pool, output);
  SearchContext context = contextOf(built);
  ASSERT_TRUE(read.run(context, bound, at.topLeft, at.topRight, at.bottomLeft, at.bottomRight, 40,
                       kAnyFrontier));
  EXPECT_EQ(context.nodeCount, 108'608u);
  ParallelSearch::Split split = read.lastSplit();
  ASSERT_GT(split.depth, 0u);
  EXPECT_FALSE(split.stopped);
  EXPECT_EQ(split.abandonAfter, static_cast<std::int64_t>(split.solvedIn));

  close(ends[0]);
  EXPECT_TRUE(platform::outputReaderGone(output));
  ParallelSearch unread(pool, output);
  context.nodeCount = 0;
  EXPECT_FALSE(unread.run(context, bound, at.topLeft, at.topRight, at.bottomLeft, at.bottomRight,
                          40, kAnyFrontier));
  split = unread.lastSplit();
  ASSERT_GT(split.depth, 0u);
  EXPECT_TRUE(split.stopped);
  EXPECT_LT(split.abandonAfter, 0);
  EXPECT_LT(context.nodeCount, 108'608u);

  // Too small to split: searched whole, whoever reads.
  context.nodeCount = 0;
  EXPECT_TRUE(unread.run(context, bound, at.topLeft, at.topRight, at.bottomLeft, at.bottomRight, 1,
                         kAnyFrontier));
  EXPECT_EQ(context.nodeCount, 108'608u);
  EXPECT_FALSE(unread.lastSplit().stopped);
#endif
}
