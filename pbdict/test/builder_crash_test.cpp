// The builder under bad luck: killed at any moment of a build over a good
// dictionary, stopped by a full disk, or racing a second builder on the same
// output. After each, the output answers every probed key as one complete
// build does (the one before, or the new one), never a mix; only a kill in
// the moment between the files' renames leaves a pair that is refused.
//
// PBDICT_HARNESS_KILLS and PBDICT_HARNESS_PAIRS set the number of random
// kills and of builder pairs (40 and 15 by default, so the suite stays
// quick; 200 and 50 for a long run).
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "pbdict.h"
#include "schema_fixture.h"
#include "support/support.h"

namespace {

using kavo::pbdict::PbDict;
using testsupport::CaptureFd;
using testsupport::ReadFile;
using testsupport::WriteFile;

int Runs(const char* name, int fallback) {
  const char* e = std::getenv(name);
  const int n = e != nullptr ? std::atoi(e) : 0;
  return n > 0 ? n : fallback;
}

// What a started builder runs under.
struct RunLimits {
  rlim_t file_size = RLIM_INFINITY;      // the largest file it may write (SIGXFSZ ignored)
  rlim_t address_space = RLIM_INFINITY;  // the most address space it may take
  bool one_core = false;                 // on the first core the test may use
  std::string output;                    // file for what it prints ("": /dev/null)
};

// Starts the builder with env added to the environment; returns its process
// id.
pid_t StartBuilder(const std::vector<std::string>& args, const std::vector<std::string>& env = {},
                   const RunLimits& limits = {}) {
  std::vector<std::string> argv = {testsupport::BinaryDir() + "/pbdict/pbdict-build"};
  argv.insert(argv.end(), args.begin(), args.end());
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid != 0) return pid;
  const int null = ::open("/dev/null", O_RDWR);
  const int out = limits.output.empty()
                      ? null
                      : ::open(limits.output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  dup2(null, 0);
  dup2(out, 1);
  dup2(out, 2);
  if (limits.file_size != RLIM_INFINITY) {
    signal(SIGXFSZ, SIG_IGN);
    struct rlimit lim = {limits.file_size, limits.file_size};
    if (setrlimit(RLIMIT_FSIZE, &lim) != 0) _exit(125);
  }
  if (limits.address_space != RLIM_INFINITY) {
    struct rlimit lim = {limits.address_space, limits.address_space};
    if (setrlimit(RLIMIT_AS, &lim) != 0) _exit(125);
  }
  // Kept through the exec (the program never returns here to undo it).
  if (limits.one_core) new testsupport::PinnedTo(1);
  for (const auto& e : env) putenv(const_cast<char*>(e.c_str()));
  std::vector<char*> raw;
  for (auto& a : argv) raw.push_back(&a[0]);
  raw.push_back(nullptr);
  execv(raw[0], raw.data());
  _exit(127);
}

// Waits for the child; its exit status, or 128 + the signal that killed it.
int Wait(pid_t pid) {
  int st = 0;
  while (waitpid(pid, &st, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
}

class BuilderCrash : public pbdict_test::DictTest {
 protected:
  void SetUp() override {
    DictTest::SetUp();
    WriteFile(dir_.file("s.proto"), pbdict_test::kSchema);
    ASSERT_EQ(0, mkdir(dir_.file("out").c_str(), 0755));
    // Two builds that differ in every answer and in their sizes both ways:
    // "small" has 1500 entries, "large" 2500 with other values.
    std::string small, large;
    for (int i = 0; i < 2500; ++i) {
      const std::string k = "k" + std::to_string(i);
      if (i < 1500) small += k + "\t{\"n\":" + std::to_string(i) + "}\n";
      large += k + "\t{\"n\":" + std::to_string(100000 + i) + ",\"s\":\"" + k + "\"}\n";
    }
    WriteFile(dir_.file("small.txt"), small);
    WriteFile(dir_.file("large.txt"), large);
    for (int i = 0; i < 2600; i += 13) probes_.push_back("k" + std::to_string(i));
  }

  std::vector<std::string> Args(const std::string& text) {
    return {"-p", dir_.path(), "-n", text, "-B", dir_.file("s.proto"), "-b", "t.V",
            "-P", dir_.file("out"), "-N", "d"};
  }

  // The answers of the output for the probe keys, or {} when it does not
  // load.
  std::vector<std::string> Answers() {
    PbDict d(schema_.Prototype("t.V"), nullptr);
    CaptureFd err(2);
    if (d.binary_load(dir_.file("out").c_str(), "d") != 0) return {};
    std::vector<std::string> out;
    for (const auto& k : probes_) out.push_back(Lookup(&d, k));
    return out;
  }

  // Names in the output folder other than the dictionary's two files (and,
  // once a builder was killed, its lock file, which stays as any file that
  // stands at the lock's name).
  std::vector<std::string> Leftovers() {
    std::vector<std::string> out;
    DIR* d = opendir(dir_.file("out").c_str());
    while (const dirent* e = d != nullptr ? readdir(d) : nullptr) {
      const std::string n = e->d_name;
      if (n != "." && n != ".." && n != "d.pbd" && n != "d.ht" && (n != "d.pbd.lock" || !killed_)) {
        out.push_back(n);
      }
    }
    if (d != nullptr) closedir(d);
    return out;
  }

  // Builds text to completion; the answers must then be want.
  void BuildWhole(const std::string& text, const std::vector<std::string>& want) {
    ASSERT_EQ(0, Wait(StartBuilder(Args(text))));
    ASSERT_EQ(want, Answers());
    ASSERT_EQ(std::vector<std::string>{}, Leftovers());
  }

  // Builds large.txt, then small.txt, each to completion; their answers.
  void BuildBoth(std::vector<std::string>* large, std::vector<std::string>* small) {
    ASSERT_EQ(0, Wait(StartBuilder(Args("large.txt"))));
    *large = Answers();
    ASSERT_EQ(0, Wait(StartBuilder(Args("small.txt"))));
    *small = Answers();
  }

  bool killed_ = false;  // a builder of the output was killed

  std::vector<std::string> probes_;
};

// A builder killed at a random moment of its run, 40 (PBDICT_HARNESS_KILLS)
// times, each over the other build: the output answers as the build before
// or the new one, or (killed between its renames) is refused; it never
// answers wrongly. A later whole build leaves nothing beside it.
TEST_F(BuilderCrash, KilledAtRandomMomentsLeavesOneWholeBuild) {
  // Reference answers, and how long a whole build takes.
  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(0, Wait(StartBuilder(Args("large.txt"))));
  const auto took = std::chrono::steady_clock::now() - start;
  const std::vector<std::string> large = Answers();
  ASSERT_EQ(probes_.size(), large.size());
  ASSERT_EQ(0, Wait(StartBuilder(Args("small.txt"))));
  const std::vector<std::string> small = Answers();
  ASSERT_NE(small, large);

  killed_ = true;
  const auto span = std::chrono::duration_cast<std::chrono::microseconds>(took).count() * 5 / 4;
  std::mt19937 rng(20261207);
  const int runs = Runs("PBDICT_HARNESS_KILLS", 40);
  int killed = 0, as_new = 0, refused = 0;
  bool now_large = false;
  for (int run = 0; run < runs; ++run) {
    const pid_t pid = StartBuilder(Args(now_large ? "small.txt" : "large.txt"));
    const long wait_us = static_cast<long>(rng() % static_cast<unsigned>(span + 1));
    struct timespec ts = {wait_us / 1000000, (wait_us % 1000000) * 1000};
    nanosleep(&ts, nullptr);
    kill(pid, SIGKILL);
    killed += Wait(pid) == 128 + SIGKILL;
    const std::vector<std::string> got = Answers();
    const auto& before = now_large ? large : small;
    const auto& after = now_large ? small : large;
    // A kill in the microseconds between the renames may leave a pair the
    // loader refuses; never one that answers wrongly.
    if (got.empty()) {
      ++refused;
      // The next run starts from a whole build again.
      ASSERT_NO_FATAL_FAILURE(BuildWhole(now_large ? "large.txt" : "small.txt", before));
      continue;
    }
    ASSERT_TRUE(got == before || got == after) << "run " << run << " after " << wait_us << " us: a mix";
    if (got == after) {
      ++as_new;
      now_large = !now_large;
    }
  }
  std::printf("%d runs: %d killed, %d left the new build, %d a refused pair\n", runs, killed,
              as_new, refused);
  EXPECT_GT(killed, 0);
  EXPECT_LE(refused * 20, runs);  // rare: only between two renames
  ASSERT_NO_FATAL_FAILURE(BuildWhole(now_large ? "small.txt" : "large.txt", now_large ? small : large));
}

// The same, killed by a preloaded hook just before each file open and each
// rename the build makes, in turn, until a build runs through. Only the two
// kills between the three renames that install the files may leave a
// refused pair.
TEST_F(BuilderCrash, KilledAtEveryFileOpenLeavesOneWholeBuild) {
#ifndef PBDICT_CRASH_HOOK
  GTEST_SKIP() << "the preloaded hook is not built with sanitizers";
#else
  std::vector<std::string> large, small;
  ASSERT_NO_FATAL_FAILURE(BuildBoth(&large, &small));
  ASSERT_NE(small, large);
  killed_ = true;
  // Each way: the larger build over the smaller, then the smaller over the
  // larger (where new keys beside old values could answer wrongly).
  for (const bool from_large : {false, true}) {
    const auto& before = from_large ? large : small;
    const auto& after = from_large ? small : large;
    const char* text = from_large ? "small.txt" : "large.txt";
    int points = 0, refused = 0;
    for (int at = 1; at < 1000; ++at) {
      ASSERT_NO_FATAL_FAILURE(BuildWhole(from_large ? "large.txt" : "small.txt", before));
      const int status = Wait(StartBuilder(Args(text), {std::string("LD_PRELOAD=") + PBDICT_CRASH_HOOK,
                                                        "PBDICT_KILL_AT_OPEN=" + std::to_string(at)}));
      const std::vector<std::string> got = Answers();
      if (status != 128 + SIGKILL) {
        ASSERT_EQ(0, status) << "at " << at;
        ASSERT_EQ(after, got);
        break;  // the build made fewer opens and renames than at: each was tried
      }
      ++points;
      refused += got.empty();
      ASSERT_TRUE(got.empty() || got == before || got == after) << "killed at point " << at << ": a mix";
    }
    std::printf("%s: killed at each of %d file opens and renames, %d left a refused pair\n", text,
                points, refused);
    EXPECT_GT(points, 5);
    EXPECT_LE(refused, 2);
  }
  ASSERT_NO_FATAL_FAILURE(BuildWhole("small.txt", small));
#endif
}

// An install refused at each of its renames in turn (a preloaded hook
// refuses it, as a sticky folder refuses to replace another user's file),
// over a previous build: the run ends with status 255 and leaves the
// previous pair byte for byte and nothing beside it. When the putting back
// is refused too, the run says so and the log names the files that keep
// the previous pair; they stay through later runs that fail, and go with
// the first run that puts its own pair in place.
TEST_F(BuilderCrash, RefusedRenameKeepsThePreviousPair) {
#ifndef PBDICT_CRASH_HOOK
  GTEST_SKIP() << "the preloaded hook is not built with sanitizers";
#else
  std::vector<std::string> large, small;
  ASSERT_NO_FATAL_FAILURE(BuildBoth(&large, &small));
  const std::string pbd = ReadFile(dir_.file("out/d.pbd")), ht = ReadFile(dir_.file("out/d.ht"));
  const std::string hook = std::string("LD_PRELOAD=") + PBDICT_CRASH_HOOK;
  RunLimits limits;
  limits.output = dir_.file("run.out");
  int at = 1;
  for (;; ++at) {
    ASSERT_LT(at, 20) << "no run completed";
    SCOPED_TRACE("rename " + std::to_string(at) + " refused");
    const int status = Wait(StartBuilder(Args("large.txt"), {hook, "PBDICT_REFUSE_RENAMES=" + std::to_string(at)},
                                         limits));
    if (status == 0) {
      ASSERT_EQ(large, Answers());
      break;
    }
    const std::string out = ReadFile(limits.output);
    EXPECT_EQ(255, status);
    EXPECT_NE(std::string::npos, out.find("[2] dump binary dict d failure!\n[5] Return:-1\n")) << out;
    EXPECT_TRUE(pbd == ReadFile(dir_.file("out/d.pbd")) && ht == ReadFile(dir_.file("out/d.ht")));
    EXPECT_EQ(std::vector<std::string>{}, Leftovers());
  }
  EXPECT_EQ(4, at);  // three renames: the barrier, the key table, the values

  ASSERT_NO_FATAL_FAILURE(BuildWhole("small.txt", small));
  const std::string pbd2 = ReadFile(dir_.file("out/d.pbd")), ht2 = ReadFile(dir_.file("out/d.ht"));
  // The values refused, then the putting back of the key table.
  EXPECT_EQ(255, Wait(StartBuilder(Args("large.txt"), {hook, "PBDICT_REFUSE_RENAMES=3,4"}, limits)));
  const std::string out = ReadFile(limits.output);
  EXPECT_NE(std::string::npos,
            out.find("[2] dump binary dict d failure!\nFATAL: the previous binary dict d could not be put "
                     "back, the log says where its files are kept.\n[5] Return:-1\n"))
      << out;
  EXPECT_TRUE(Answers().empty());  // the barrier stands beside the new key table
  std::map<std::string, std::string> kept;
  const std::regex line("The old file (\\S+) of d could not be put back, it is kept as (\\S+)!");
  for (std::sregex_iterator m(out.begin(), out.end(), line), end; m != end; ++m) kept[(*m)[1]] = (*m)[2];
  ASSERT_EQ(2u, kept.size()) << out;
  EXPECT_TRUE(ReadFile(kept[dir_.file("out/d.pbd")]) == pbd2);
  EXPECT_TRUE(ReadFile(kept[dir_.file("out/d.ht")]) == ht2);
  EXPECT_EQ(2u, Leftovers().size());
  // They are the only copy of the previous pair: a next run that fails too
  // (a full disk as it writes, its first rename refused) keeps them.
  RunLimits full_disk = limits;
  full_disk.file_size = 1024;
  for (const auto& [env, run_limits] : {std::make_pair(std::vector<std::string>{}, full_disk),
                                        std::make_pair(std::vector<std::string>{hook, "PBDICT_REFUSE_RENAMES=1"},
                                                       limits)}) {
    SCOPED_TRACE(env.empty() ? "a full disk" : "the first rename refused");
    EXPECT_EQ(255, Wait(StartBuilder(Args("large.txt"), env, run_limits)));
    EXPECT_TRUE(Answers().empty());
    EXPECT_TRUE(ReadFile(kept[dir_.file("out/d.pbd")]) == pbd2) << "the kept values file went";
    EXPECT_TRUE(ReadFile(kept[dir_.file("out/d.ht")]) == ht2) << "the kept key table went";
    EXPECT_EQ(2u, Leftovers().size());
  }
  // The run that puts its own pair in place removes them.
  ASSERT_NO_FATAL_FAILURE(BuildWhole("small.txt", small));
#endif
}

// A full disk (a file-size limit in the builder) fails the run and leaves
// the previous dictionary loading with its answers.
TEST_F(BuilderCrash, FullDiskFailsAndKeepsThePreviousBuild) {
  ASSERT_EQ(0, Wait(StartBuilder(Args("small.txt"))));
  const std::vector<std::string> small = Answers();
  ASSERT_FALSE(small.empty());
  for (rlim_t limit : {rlim_t{0}, rlim_t{1024}, rlim_t{20000}}) {
    RunLimits limits;
    limits.file_size = limit;
    EXPECT_EQ(255, Wait(StartBuilder(Args("large.txt"), {}, limits))) << limit;
    EXPECT_EQ(small, Answers()) << limit;
  }
  ASSERT_NO_FATAL_FAILURE(BuildWhole("small.txt", small));
}

// Memory running out anywhere in a build (an address-space limit, from
// one that the run outgrows early to one it fits in, on one core and on
// all) ends the run with status 255 and "out of memory" in what it prints,
// never with a signal; the previous build stays.
TEST_F(BuilderCrash, OutOfMemoryFailsAndKeepsThePreviousBuild) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "a sanitizer's runtime reserves more address space than any limit here allows";
#endif
  std::string big;
  for (int i = 0; i < 100000; ++i) {
    const std::string k = "k" + std::to_string(i);
    big += k + "\t{\"n\":" + std::to_string(200000 + i) + ",\"s\":\"" + k + " of the larger build\"," +
           "\"list\":[" + std::to_string(i) + ",2,3],\"inner\":{\"s\":\"" + k + "\",\"r\":[1]}}\n";
  }
  WriteFile(dir_.file("big.txt"), big);
  ASSERT_EQ(0, Wait(StartBuilder(Args("big.txt"))));
  const std::vector<std::string> built = Answers();
  ASSERT_EQ(0, Wait(StartBuilder(Args("small.txt"))));
  const std::vector<std::string> small = Answers();
  ASSERT_NE(small, built);
  for (const bool one_core : {true, false}) {
    int failed = 0;
    for (const rlim_t mb : {24, 40, 64, 128, 256}) {
      SCOPED_TRACE(std::to_string(mb) + " MiB" + (one_core ? ", one core" : ""));
      RunLimits limits;
      limits.address_space = mb << 20;
      limits.one_core = one_core;
      limits.output = dir_.file("run.out");
      const int status = Wait(StartBuilder(Args("big.txt"), {}, limits));
      const std::string out = ReadFile(limits.output);
      ASSERT_TRUE(status == 0 || status == 255) << status << "\n" << out;
      if (status == 0) {
        ASSERT_EQ(built, Answers());
        ASSERT_NO_FATAL_FAILURE(BuildWhole("small.txt", small));
        continue;
      }
      ++failed;
      EXPECT_NE(std::string::npos, out.find("out of memory")) << out;
      EXPECT_NE(std::string::npos, out.find("[5] Return:-1\n")) << out;
      ASSERT_EQ(small, Answers());
    }
    EXPECT_GT(failed, 0);
  }
}

// Memory running out at each allocation in turn, from the opening of the
// schema to the end of a run (a preloaded allocator fails every allocation
// past a budget of 0, 1, 2, ... until a run completes): each run ends with
// status 255 and "out of memory" naming its step, never with a signal,
// also where protobuf throws out of a destructor while it parses the schema
// or leaves a half-made prototype behind; the previous build stays.
TEST_F(BuilderCrash, MemoryRunningOutAtEachAllocationFailsTheRun) {
#ifndef PBDICT_ALLOC_HOOK
  GTEST_SKIP() << "the preloaded allocator is not built with sanitizers";
#else
  ASSERT_EQ(0, Wait(StartBuilder(Args("small.txt"))));
  const std::vector<std::string> small = Answers();
  WriteFile(dir_.file("one.txt"), "k0\t{\"n\":1,\"s\":\"x\",\"m\":{\"a\":\"wrong\"},\"inner\":{\"r\":[1]}}\n");
  std::vector<std::string> args = Args("one.txt");
  args.insert(args.end(), {"-m", "10"});  // a small entry array
  const std::string import_failed = "FATAL: out of memory while importing the schema.\n[5] Return:-1\n";
  int importing = 0, later = 0;
  int budget = 0;
  for (;; ++budget) {
    ASSERT_LT(budget, 100000) << "no run completed";
    SCOPED_TRACE("budget " + std::to_string(budget));
    RunLimits limits;
    limits.output = dir_.file("run.out");
    const int status = Wait(StartBuilder(args, {std::string("LD_PRELOAD=") + PBDICT_ALLOC_HOOK,
                                                "PBDICT_ALLOC_ARM_AT=.proto",
                                                "PBDICT_ALLOC_BUDGET=" + std::to_string(budget)},
                                         limits));
    const std::string out = ReadFile(limits.output);
    if (status == 0) break;
    ASSERT_EQ(255, status) << out;
    ASSERT_NE(std::string::npos, out.find("out of memory while ")) << out;
    ASSERT_NE(std::string::npos, out.find("[5] Return:-1\n")) << out;
    if (out.find(import_failed) != std::string::npos) {
      ++importing;
    } else {
      ++later;
    }
    if (budget % 100 == 0) {
      ASSERT_EQ(small, Answers());
    }
  }
  std::printf("%d budgets: %d ran out importing the schema, %d later\n", budget, importing, later);
  EXPECT_GT(importing, 100);
  EXPECT_GT(later, 20);
  // The run that completed built the one entry.
  const std::vector<std::string> got = Answers();
  ASSERT_EQ(probes_.size(), got.size());
  EXPECT_NE("<absent>", got[0]);
  EXPECT_EQ(static_cast<long>(got.size()) - 1, std::count(got.begin(), got.end(), "<absent>"));
#endif
}

// A run with memory running out at each allocation in turn (every budget
// on a 12-line text; on 3,000 lines every 128th, then each of the last 400
// before the first run that completes), over a previous pair: each run
// ends 0 with the new pair in place, as a whole run writes it, or 255 with
// the previous pair byte for byte, and leaves no temporary behind.
TEST_F(BuilderCrash, MemoryRunningOutLeavesThePreviousPairOrTheNew) {
#ifndef PBDICT_ALLOC_HOOK
  GTEST_SKIP() << "the preloaded allocator is not built with sanitizers";
#else
  killed_ = true;  // a lock file made just before memory ran out stays
  ASSERT_EQ(0, mkdir(dir_.file("ref").c_str(), 0755));
  ASSERT_EQ(0, Wait(StartBuilder(Args("small.txt"))));
  const std::vector<std::string> small = Answers();
  std::string old_pbd, old_ht;  // the previous pair, byte for byte
  auto build_previous = [&] {
    ASSERT_NO_FATAL_FAILURE(BuildWhole("small.txt", small));
    old_pbd = ReadFile(dir_.file("out/d.pbd"));
    old_ht = ReadFile(dir_.file("out/d.ht"));
  };
  const struct {
    int lines, stride, dense;  // the last `dense` budgets before completion are all run
  } sweeps[] = {{12, 1, 0}, {3000, 128, 400}};
  for (const auto& sweep : sweeps) {
    SCOPED_TRACE(std::to_string(sweep.lines) + " lines");
    std::string text;
    for (int i = 0; i < sweep.lines; ++i) {
      text += "n" + std::to_string(i) + "\t{\"n\":" + std::to_string(7 * i) + ",\"s\":\"v" +
              std::to_string(i) + "\",\"list\":[1,2],\"inner\":{\"r\":[3]}}\n";
    }
    WriteFile(dir_.file("new.txt"), text);
    // The new pair as a whole run writes it (into another folder).
    std::vector<std::string> ref_args = Args("new.txt");
    ref_args[ref_args.size() - 3] = dir_.file("ref");
    ASSERT_EQ(0, Wait(StartBuilder(ref_args)));
    const std::string new_pbd = ReadFile(dir_.file("ref/d.pbd")), new_ht = ReadFile(dir_.file("ref/d.ht"));
    ASSERT_NO_FATAL_FAILURE(build_previous());

    // Runs the build with the budget over the previous pair; true when it
    // completed. The previous pair is built again where the run left
    // another.
    int runs = 0, failed = 0, broken = 0;
    auto run = [&](int budget) {
      SCOPED_TRACE("budget " + std::to_string(budget));
      RunLimits limits;
      limits.output = dir_.file("run.out");
      const int status = Wait(StartBuilder(Args("new.txt"), {std::string("LD_PRELOAD=") + PBDICT_ALLOC_HOOK,
                                                              "PBDICT_ALLOC_ARM_AT=.proto",
                                                              "PBDICT_ALLOC_BUDGET=" + std::to_string(budget)},
                                           limits));
      ++runs;
      const std::string pbd = ReadFile(dir_.file("out/d.pbd")), ht = ReadFile(dir_.file("out/d.ht"));
      EXPECT_EQ(std::vector<std::string>{}, Leftovers());
      if (status == 0) {
        EXPECT_TRUE(pbd.size() > 16 && pbd.substr(16) == new_pbd.substr(16) && ht == new_ht);
        build_previous();
        return true;
      }
      const std::string out = ReadFile(limits.output);
      EXPECT_EQ(255, status) << out;
      // A write that ran out of memory read nothing back.
      if (out.find("out of memory while writing") != std::string::npos) {
        EXPECT_EQ(std::string::npos, out.find("[3]")) << out;
      }
      ++failed;
      if (pbd != old_pbd || ht != old_ht) {
        ++broken;
        build_previous();
      }
      return false;
    };
    int completed = 0;
    while (!run(completed)) {
      completed += sweep.stride;
      ASSERT_LT(completed, 1000000) << "no run completed";
    }
    for (int budget = std::max(0, completed - sweep.dense); budget < completed; ++budget) {
      if (budget % sweep.stride != 0) run(budget);
    }
    std::printf("%d lines: %d runs, the first complete at budget %d; %d failed, %d of them "
                "leaving another pair than the previous\n",
                sweep.lines, runs, completed, failed, broken);
    EXPECT_EQ(0, broken);
  }
#endif
}

// Two builders started together on one output: each ends as a whole run or
// a clear refusal, and the output is always one complete build.
TEST_F(BuilderCrash, TwoBuildersAtOnceLeaveOneWholeBuild) {
  std::vector<std::string> large, small;
  ASSERT_NO_FATAL_FAILURE(BuildBoth(&large, &small));
  const int runs = Runs("PBDICT_HARNESS_PAIRS", 15);
  int refused = 0;
  for (int run = 0; run < runs; ++run) {
    const pid_t a = StartBuilder(Args("small.txt"));
    const pid_t b = StartBuilder(Args("large.txt"));
    const int sa = Wait(a), sb = Wait(b);
    ASSERT_TRUE(sa == 0 || sa == 255) << sa;
    ASSERT_TRUE(sb == 0 || sb == 255) << sb;
    ASSERT_TRUE(sa == 0 || sb == 0) << "both refused in run " << run;
    refused += (sa != 0) + (sb != 0);
    const std::vector<std::string> got = Answers();
    ASSERT_TRUE(got == small || got == large) << "run " << run;
    if (sa != 0) {
      ASSERT_EQ(large, got);
    }
    if (sb != 0) {
      ASSERT_EQ(small, got);
    }
    ASSERT_EQ(std::vector<std::string>{}, Leftovers());
  }
  std::printf("%d builder pairs: %d refused as a second writer\n", runs, refused);
}

}  // namespace
