// Walks, recorded exception stacks and stack lines of this very program,
// named through the symbol map the build wrote beside it.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <random>
#include <regex>
#include <stdexcept>
#include <thread>

#include "TestUtil.h"
#include "diagnostics/KVDebugInfo.h"
#include "diagnostics/KVStackTrace.h"
#include "platform/Files.h"
#include "platform/Process.h"
#include "platform/StackWalk.h"
#include "platform/StackWalkImpl.h"

#ifndef _WIN32
#include <sys/resource.h>
#endif

using namespace kv;

// The frames the tests look for must exist in optimised builds too.
#define KV_FRAME __attribute__((noinline, noclone))

namespace {

// Written after calls, so that no call is a tail call its frame disappears in.
std::atomic<int> gSink{0};

// Three calls deep: ThrowLevel1 -> ThrowLevel2 -> ThrowLevel3, which raises.
const int kThrowLevel3FirstLine = __LINE__ + 1;
KV_FRAME void ThrowLevel3(int depth) {
  gSink.store(depth, std::memory_order_relaxed);
  if (depth >= 0) throw EConvertError(u"three calls deep");
  gSink.store(0, std::memory_order_relaxed);
}
const int kThrowLine = __LINE__ - 3;
KV_FRAME void ThrowLevel2(int depth) {
  ThrowLevel3(depth + 1);
  gSink.store(2, std::memory_order_relaxed);
}
KV_FRAME void ThrowLevel1(int depth) {
  ThrowLevel2(depth + 1);
  gSink.store(1, std::memory_order_relaxed);
}

KV_FRAME std::vector<String> CurrentFrom(int skip) {
  std::vector<String> lines = CurrentStackLines(skip);
  gSink.store(3, std::memory_order_relaxed);
  return lines;
}
KV_FRAME std::vector<String> CallerOfCurrentFrom(int skip) {
  std::vector<String> lines = CurrentFrom(skip);
  gSink.store(4, std::memory_order_relaxed);
  return lines;
}

volatile std::uintptr_t gBadAddress = 16;
volatile int gZero = 0;

__attribute__((no_sanitize("address", "undefined"))) KV_FRAME void WriteToBadAddress(void*) {
  *reinterpret_cast<volatile int*>(gBadAddress) = 1;
  gSink.store(5, std::memory_order_relaxed);
}
__attribute__((no_sanitize("undefined"))) KV_FRAME void DivideByZero(void*) {
  gSink.store(10 / gZero, std::memory_order_relaxed);
  gSink.store(6, std::memory_order_relaxed);
}

std::string Utf8(const String& s) { return ToUtf8(s); }

// Tracking on for one test, with both options; off again afterwards.
class Tracking : public ::testing::Test {
 protected:
  void SetUp() override {
    FSaved = StackTrackingOptions();
    StackTrackingOptions() = {stExceptFrame, stRawMode};
    StartExceptionTracking();
  }
  void TearDown() override {
    StopExceptionTracking();
    StackTrackingOptions() = FSaved;
  }
  TStackTrackingOptions FSaved;
};

std::vector<String> ThrowThreeDeep() {
  try {
    ThrowLevel1(0);
  } catch (const EConvertError& e) {
    return ExceptionStackLines(e);
  }
  return {};
}

// Runs f on a thread of its own, whose recorded stacks start empty.
template <class F>
void OnFreshThread(F f) {
  std::thread t(f);
  t.join();
}

}  // namespace

TEST(StackLines, EveryLineHasTheFailureReportsForm) {
  const std::string hex = "[0-9A-F]{" + std::to_string(2 * sizeof(void*)) + "}";
  const std::regex form("\\(" + hex + "\\)\\{.{12,}\\} \\[" + hex +
                        "\\]( .+ \\(Line [0-9]+, \".+\"( \\+ -?[0-9]+)?\\)| .+)?( [+-] \\$[0-9A-F]+)?");
  std::vector<String> lines = CallerOfCurrentFrom(0);
  ASSERT_GE(lines.size(), 3u);
  for (const String& line : lines) EXPECT_TRUE(std::regex_match(Utf8(line), form)) << Utf8(line);
}

TEST(StackLines, TheWalkLeavesOutTheFramesAskedFor) {
  std::vector<String> own = CallerOfCurrentFrom(0);
  ASSERT_GE(own.size(), 3u);
  EXPECT_NE(own[0].find(u"StackTraceTest."), String::npos) << Utf8(own[0]);
  EXPECT_NE(own[0].find(u"CurrentFrom (Line "), String::npos) << Utf8(own[0]);
  EXPECT_NE(own[1].find(u"CallerOfCurrentFrom (Line "), String::npos) << Utf8(own[1]);

  std::vector<String> skipped = CallerOfCurrentFrom(1);
  ASSERT_EQ(skipped.size() + 1, own.size());
  EXPECT_NE(skipped[0].find(u"CallerOfCurrentFrom (Line "), String::npos) << Utf8(skipped[0]);
  // Beyond the frames left out, the same stack (the addresses of the test's own frame differ).
  for (std::size_t i = 2; i < skipped.size(); ++i) EXPECT_EQ(skipped[i], own[i + 1]);
  EXPECT_TRUE(CallerOfCurrentFrom(10000).empty());
}

namespace {
std::vector<String> gFromCallback;
int CompareAndWalk(const void* a, const void* b) {
  if (gFromCallback.empty()) gFromCallback = CurrentStackLines(0);
  return *static_cast<const int*>(a) - *static_cast<const int*>(b);
}
KV_FRAME void SortWithCallback() {
  int values[] = {3, 1, 2};
  std::qsort(values, 3, sizeof(int), &CompareAndWalk);
  gSink.store(values[0], std::memory_order_relaxed);
}
}  // namespace

TEST(StackLines, AWalkGoesOnThroughTheCodeOfSystemLibraries) {
  // The C library calls the comparison back: the walk passes its frames
  // (on Windows a system library without unwind tables in the 32-bit program).
  gFromCallback.clear();
  SortWithCallback();
  bool found = false;
  for (const String& line : gFromCallback) found = found || line.find(u"SortWithCallback (Line ") != String::npos;
  std::string all;
  for (const String& line : gFromCallback) all += Utf8(line) + "\n";
  EXPECT_TRUE(found) << all;
}

TEST(StackLines, TheProgramsMapWasWrittenBesideItByTheBuild) {
  platform::ModuleInfo m;
  ASSERT_TRUE(platform::FindModule(reinterpret_cast<std::uintptr_t>(&ThrowLevel1), &m));
  EXPECT_EQ(m.FileName, platform::ModuleFileName());
  EXPECT_FALSE(m.BuildId.empty()) << "the linker wrote no build id";
  TMapFile map;
  ASSERT_TRUE(map.LoadFromFile(MapFileName(m.FileName), m.BuildId)) << Utf8(MapFileName(m.FileName));
  EXPECT_EQ(map.BuildId(), m.BuildId);
  const TMapFile::TProcedure* p = map.FindProcedure(reinterpret_cast<std::uintptr_t>(&ThrowLevel1) - m.Base);
  ASSERT_NE(p, nullptr);
  EXPECT_NE(p->Name.find("ThrowLevel1"), std::string::npos) << p->Name;
}

TEST_F(Tracking, AnExceptionThreeCallsDeepIsRecordedWithFunctionsFileAndLine) {
  std::vector<String> lines = ThrowThreeDeep();
  ASSERT_GE(lines.size(), 4u);
  const String throwLine = u"ThrowLevel3 (Line " + IntToStr(kThrowLine) + u", \"StackTraceTest.cpp\" + " +
                           IntToStr(kThrowLine - kThrowLevel3FirstLine) + u")";
  EXPECT_NE(lines[0].find(u"StackTraceTest."), String::npos) << Utf8(lines[0]);
  EXPECT_NE(lines[0].find(throwLine), String::npos) << Utf8(lines[0]) << "\nexpected " << Utf8(throwLine);
  EXPECT_NE(lines[1].find(u"ThrowLevel2 (Line "), String::npos) << Utf8(lines[1]);
  EXPECT_NE(lines[2].find(u"ThrowLevel1 (Line "), String::npos) << Utf8(lines[2]);
  EXPECT_NE(lines[3].find(u"ThrowThreeDeep (Line "), String::npos) << Utf8(lines[3]);
  EXPECT_EQ(LastExceptionStackLines(), lines);
}

TEST_F(Tracking, ARethrowKeepsTheStackAndTheExceptionsOwnStackOutlivesLaterOnes) {
  try {
    try {
      ThrowLevel1(0);
    } catch (...) {
      throw;
    }
  } catch (const EConvertError& e) {
    std::vector<String> first = LastExceptionStackLines();
    ASSERT_FALSE(first.empty());
    EXPECT_NE(first[0].find(u"ThrowLevel3"), String::npos) << Utf8(first[0]);
    // The handler raises and catches an exception of its own.
    try {
      throw std::runtime_error("inner");
    } catch (const std::exception&) {
    }
    EXPECT_EQ(LastExceptionStackLines()[0].find(u"ThrowLevel3"), String::npos);
    EXPECT_EQ(ExceptionStackLines(e), first);
  }
}

TEST_F(Tracking, NothingIsRecordedOutsideTracking) {
  StopExceptionTracking();
  EXPECT_FALSE(ExceptionTrackingActive());
  OnFreshThread([] {
    try {
      ThrowLevel1(0);
    } catch (const Exception& e) {
      EXPECT_TRUE(LastExceptionStackLines().empty());
      EXPECT_TRUE(ExceptionStackLines(e).empty());
    }
  });
  StartExceptionTracking();
  EXPECT_TRUE(ExceptionTrackingActive());
}

TEST_F(Tracking, ARecordingOnOneThreadIsNotSeenOnAnother) {
  std::vector<String> other;
  OnFreshThread([&] { other = ThrowThreeDeep(); });
  ASSERT_FALSE(other.empty());
  OnFreshThread([] { EXPECT_TRUE(LastExceptionStackLines().empty()); });

  // Threads throwing at once each find their own stack.
  std::vector<std::thread> threads;
  std::atomic<int> right{0};
  for (int i = 0; i < 4; ++i)
    threads.emplace_back([&] {
      for (int round = 0; round < 50; ++round) {
        std::vector<String> lines = ThrowThreeDeep();
        if (!lines.empty() && lines[0].find(u"ThrowLevel3") != String::npos && lines == LastExceptionStackLines())
          ++right;
      }
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(right.load(), 200);
}

TEST_F(Tracking, AnAccessViolationIsRecordedFromTheFaultingFunction) {
  OnFreshThread([] {
    EXPECT_FALSE(platform::RunGuarded(&WriteToBadAddress, nullptr));
    std::vector<String> lines = LastExceptionStackLines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_NE(lines[0].find(u"StackTraceTest."), String::npos) << Utf8(lines[0]);
    EXPECT_NE(lines[0].find(u"WriteToBadAddress (Line "), String::npos) << Utf8(lines[0]);
  });
}

TEST_F(Tracking, SystemExceptionsAreLeftOutWithoutTheExceptFrameOption) {
  StackTrackingOptions().Exclude(stExceptFrame);
  OnFreshThread([] {
    EXPECT_FALSE(platform::RunGuarded(&DivideByZero, nullptr));
    EXPECT_TRUE(LastExceptionStackLines().empty());
  });
}

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer build keeps frame pointers everywhere: there the cheaper walk
// finds the same frames.
TEST_F(Tracking, WithoutRawModeTheFramePointerChainIsWalked) {
  std::vector<String> raw = ThrowThreeDeep();
  StackTrackingOptions().Exclude(stRawMode);
  std::vector<String> chained = ThrowThreeDeep();
  ASSERT_GE(chained.size(), 3u);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(chained[i], raw[i]);
}
#endif

namespace {
struct TNoticed {
  std::vector<std::string> Messages;
  std::vector<std::uint32_t> Codes;
  int Others = 0;
};
thread_local TNoticed* tNoticed = nullptr;
void Notice(const TRaisedException& e) {
  if (!tNoticed) return;
  if (e.FrameworkException)
    tNoticed->Messages.push_back(e.FrameworkException->what());
  else if (e.Object)
    ++tNoticed->Others;
  else
    tNoticed->Codes.push_back(e.SystemCode);
}
}  // namespace

TEST_F(Tracking, NotifiersSeeEveryRaisedExceptionWithItsObject) {
  ASSERT_TRUE(RegisterExceptionNotifier(&Notice));
  EXPECT_FALSE(RegisterExceptionNotifier(&Notice));
  TNoticed noticed;
  // Room beforehand: on Linux the system exception is noticed in a signal handler.
  noticed.Messages.reserve(4);
  noticed.Codes.reserve(4);
  tNoticed = &noticed;
  ThrowThreeDeep();
  try {
    throw std::logic_error("not ours");
  } catch (...) {
  }
  EXPECT_FALSE(platform::RunGuarded(&DivideByZero, nullptr));
  tNoticed = nullptr;
  UnregisterExceptionNotifier(&Notice);
  EXPECT_EQ(noticed.Messages, std::vector<std::string>{"three calls deep"});
  EXPECT_EQ(noticed.Others, 1);
#ifdef _WIN32
  EXPECT_EQ(noticed.Codes, std::vector<std::uint32_t>{platform::kExceptionIntegerDivideByZero});
#else
  EXPECT_EQ(noticed.Codes, std::vector<std::uint32_t>{8u});  // SIGFPE
#endif
}

#ifndef _WIN32
TEST(StackWalk, TheMainThreadsStackIsFoundWithoutReadingTheMemoryMap) {
  // The quick bounds must hold what the C library's hold: the same lowest
  // address the stack may grow to, and a top at the end of the stack's
  // mapping, at or a few pages above the C library's.
  std::uintptr_t low = 0, high = 0, quickLow = 0, quickHigh = 0;
  ASSERT_TRUE(platform::walk::ThreadStackBounds(false, &low, &high));
  if (!platform::walk::ThreadStackBounds(true, &quickLow, &quickHigh)) GTEST_SKIP() << "no stack size limit";
  EXPECT_GE(quickHigh, high);
  EXPECT_LE(quickHigh - high, 256u * 1024u);
  EXPECT_EQ(quickHigh - quickLow, [] {
    rlimit r{};
    getrlimit(RLIMIT_STACK, &r);
    return static_cast<std::uintptr_t>(r.rlim_cur);
  }());
  EXPECT_LE(quickLow, low);
  // Another thread has no quick bounds; the C library's hold its stack.
  std::thread([] {
    std::uintptr_t l = 0, h = 0;
    EXPECT_FALSE(platform::walk::ThreadStackBounds(true, &l, &h));
    ASSERT_TRUE(platform::walk::ThreadStackBounds(false, &l, &h));
    const auto sp = reinterpret_cast<std::uintptr_t>(&l);
    EXPECT_TRUE(sp >= l && sp < h);
  }).join();
}
#endif

TEST(StackWalk, WalksOfDamagedStacksEndWithoutFaulting) {
  // Stacks of random words, of addresses into the code and of addresses into
  // the stack itself, walked from anywhere: every walk ends, inside its bounds.
  std::mt19937_64 rng(17);
  std::vector<std::uintptr_t> stack(512);
  const auto code = reinterpret_cast<std::uintptr_t>(&ThrowLevel2);
  const auto low = reinterpret_cast<std::uintptr_t>(stack.data());
  int frames = 0;
  for (int round = 0; round < 20000; ++round) {
    for (auto& w : stack) {
      switch (rng() % 4) {
        case 0: w = code + rng() % 256; break;
        case 1: w = low + (rng() % stack.size()) * sizeof(std::uintptr_t); break;
        case 2: w = rng() % 65536; break;
        default: w = static_cast<std::uintptr_t>(rng()); break;
      }
    }
    platform::StackStart start;
    start.Pc = round % 3 == 0 ? static_cast<std::uintptr_t>(rng()) : code + rng() % 64;
    start.Sp = low + (rng() % 64) * sizeof(std::uintptr_t) + rng() % 8;
    start.Fp = stack[rng() % stack.size()];
    start.Low = low;
    start.High = low + stack.size() * sizeof(std::uintptr_t);
    std::uintptr_t out[64];
    int n = platform::WalkStackFrom(
        start, round % 2 ? platform::StackWalkMethod::UnwindTables : platform::StackWalkMethod::FramePointers, out,
        64);
    ASSERT_GE(n, 0);
    ASSERT_LE(n, 64);
    frames += n;
  }
  EXPECT_GT(frames, 20000);  // the walks did step, not only stop at once
}

// ---------------------------------------------------------------------------
// Faults that end a process: a program of its own faults, and its report
// handler writes what it was given into a file.

namespace {

std::string RunFaultChild(const std::string& mode) {
  kvtest::TempDir dir;
  const std::string report = dir.NativeFile("report.txt");
  kvtest::SetEnv("KV_FAULT_MODE", mode);
  kvtest::SetEnv("KV_FAULT_REPORT", report);
  // The report is made inside the signal handler of a dying process, on purpose.
  kvtest::SetEnv("TSAN_OPTIONS", "report_signal_unsafe=0");
  platform::CreateProcessArgs args;
  args.applicationName = kvtest::BuildPath(KV_FAULT_CHILD_EXE);
  platform::Process p;
  bool started = platform::StartProcess(args, &p);
  kvtest::SetEnv("KV_FAULT_MODE", "");
  kvtest::SetEnv("KV_FAULT_REPORT", "");
  kvtest::SetEnv("TSAN_OPTIONS", "");
  if (!started) return "not started";
  p.Wait();
  std::uint32_t code = 0;
  p.GetExitCode(&code);
  EXPECT_NE(code, 0u) << mode << ": the fault did not end the process";
  return kvtest::ReadBytes(report);
}

}  // namespace

TEST(FatalFaults, AnAccessViolationNoHandlerTookIsReportedWithItsStack) {
  std::string report = RunFaultChild("access-violation");
  EXPECT_NE(report.find("Access violation"), std::string::npos) << report;
  EXPECT_NE(report.find("Write of address"), std::string::npos) << report;
  EXPECT_NE(report.find("FaultChild.(anonymous namespace)::FaultByWriting (Line "), std::string::npos) << report;
  EXPECT_NE(report.find("FaultChild.main (Line "), std::string::npos) << report;
}

TEST(FatalFaults, AStackOverflowIsReportedWithTheRecursingFrames) {
  std::string report = RunFaultChild("stack-overflow");
#ifdef _WIN32
  EXPECT_EQ(report.rfind("Stack overflow at address ", 0), 0u) << report;
#else
  EXPECT_EQ(report.rfind("Access violation (SIGSEGV) at address ", 0), 0u) << report;
#endif
  // The walk starts below the stack's end and climbs the recursion.
  int frames = 0;
  for (std::size_t at = report.find("FaultByRecursing (Line "); at != std::string::npos;
       at = report.find("FaultByRecursing (Line ", at + 1))
    ++frames;
  EXPECT_GE(frames, 32) << report.substr(0, 2000);
}

TEST(FatalFaults, AnUncaughtExceptionIsReportedWithTheStackOfItsRaising) {
  std::string report = RunFaultChild("uncaught");
  EXPECT_NE(report.find("Unhandled exception EConvertError: never caught"), std::string::npos) << report;
  EXPECT_NE(report.find("FaultChild.(anonymous namespace)::FaultByThrowing (Line "), std::string::npos) << report;
}
