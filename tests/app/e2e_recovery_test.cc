// End-to-end: nothing lost, nothing doubled. The real packvault executable,
// killed at random moments while plantsim feeds the plant tables, restarted
// in later intervals, and run through faults of the destination, the plant
// tables and the store; afterwards every member of every day archive holds
// exactly its interval's plant records and nothing temporary is left.
//
// The store clocks run fast (an hour of plant time in seconds), so each
// restart finds intervals to catch up and the kills land in every phase of a
// run: copying, zipping, writing the journal.
#include <map>
#include <random>

#include "tests/app/app_test_util.h"

namespace {

using e2e::Installation;
using Buckets = std::map<uint32_t, std::vector<std::string>>;  // interval start -> records

uint32_t Pc(int y, int mo, int d, int h) {
  uint32_t pc = 0;
  ZrDateAndTime2PcTime(pc, y, mo, d, h, 0, 0);
  return pc;
}

uint32_t TimeOf(const DcLogDbf& r) { return static_cast<uint32_t>(r.ut.GetPcTime()); }
uint32_t TimeOf(const EntryDbf& r) { return r.time; }
uint32_t TimeOf(const EventLogDbf& r) { return r.utc; }

// The records of a table, by one-hour interval, sorted.
template <class Table>
void AddByHour(const std::string& dir, const char* name, const char* tag, Buckets* out) {
  plantrec::Read<Table>(dir, name, tag, [&](const Table& r) {
    (*out)[TimeOf(r) - TimeOf(r) % 3600].push_back(plantrec::Line(r));
    return false;
  });
  for (auto& b : *out) std::sort(b.second.begin(), b.second.end());
}

// Every member of every day archive of a kind holds exactly the plant
// records of its interval (from all project directories of the kind), and
// every interval with plant records has its member. Returns the number of
// records archived.
template <class Table>
size_t CheckArchives(Installation& inst, const std::vector<std::string>& projects,
                     const char* kind, const char* tag) {
  SCOPED_TRACE(kind);
  Buckets plant, archived;
  for (const std::string& p : projects) AddByHour<Table>(p, kind, tag, &plant);
  const std::string dir = inst.Dir("archive") + "/" + kind + "/";
  const std::string out = inst.Dir("extract") + "/" + kind + "/";
  std::filesystem::create_directories(out);
  for (const auto& e : std::filesystem::directory_iterator(dir)) {
    const std::string zip = e.path().filename().string();
    if (e.path().extension() != ".zip") continue;
    const int y = std::stoi(zip.substr(0, 4));
    for (const std::string& member : pvtest::ZipMembers(e.path().string(), e2e::kProjectCode)) {
      const int mo = std::stoi(member.substr(0, 2)), d = std::stoi(member.substr(2, 2));
      const int h = std::stoi(member.substr(5, 2));
      const uint32_t start = Pc(y, mo, d, h);
      EXPECT_EQ(archived.count(start), 0u) << member;
      pvtest::WriteFileBytes(out + member,
                             pvtest::ZipMemberBytes(e.path().string(), member, e2e::kProjectCode));
      AddByHour<Table>(out, member.substr(0, 8).c_str(), tag, &archived);
      EXPECT_EQ(archived.count(start), 1u) << member << " holds records of another interval";
    }
  }
  for (const auto& [start, records] : plant) {
    const auto it = archived.find(start);
    const size_t got = it == archived.end() ? 0 : it->second.size();
    EXPECT_TRUE(got == records.size() && it->second == records)
        << "interval from " << start << ": " << got << " records archived, plant has " << records.size();
  }
  EXPECT_EQ(archived.size(), plant.size());
  size_t n = 0;
  for (const auto& b : archived) n += b.second.size();
  return n;
}

// The end of the last interval archived whole for one project directory,
// from a kind's journal; 0 when it names none.
uint32_t JournalMark(Installation& inst, const char* kind, const std::string& project) {
  const std::string path = inst.Dir("archive") + "/" + kind + "/ArchivedIntervals.txt";
  if (!std::filesystem::exists(path)) return 0;
  const std::string text = pvtest::ReadFileBytes(path);
  const size_t at = text.find(" " + project + "\r\n");
  if (at == std::string::npos || at < 17) return 0;
  const std::string line = text.substr(at - 17, 17);  // "YYYYMMDD MMDD_HHh"
  return Pc(std::stoi(line.substr(0, 4)), std::stoi(line.substr(4, 2)), std::stoi(line.substr(6, 2)),
            std::stoi(line.substr(14, 2))) + 3600;
}

// Waits until every kind's journal marks `until` for project; false after timeout_s.
bool WaitForMarks(Installation& inst, const std::string& project, uint32_t until, int timeout_s) {
  return e2e::WaitUntil([&] {
    for (const char* kind : {"_DCLOG", "_ARCHIVE", "_EVENTLOG"}) {
      if (JournalMark(inst, kind, project) < until) return false;
    }
    return true;
  }, timeout_s);
}

// The latest record time of the three plant tables in dir.
uint32_t LastRecord(const std::string& dir) {
  Buckets b;
  AddByHour<DcLogDbf>(dir, "_DCLOG", "UTC", &b);
  AddByHour<EntryDbf>(dir, "_ARCHIVE", "TIME", &b);
  AddByHour<EventLogDbf>(dir, "_EVENTLOG", "UTC", &b);
  return b.empty() ? 0 : b.rbegin()->first + 3599;
}

// 30 runs on a live feed, each ended at a random moment (seeded, logged):
// killed, every fifth stopped through "$SHUTDOWN" instead (its forced run
// writes the interval in progress so far). Then the feed stops, one more run
// catches everything up and stops. Intervals are an hour, 6 s of real time.
TEST(E2eRecoveryTest, KilledAtRandomMomentsLosesAndDoublesNothing) {
  constexpr unsigned kSeed = 20261206;
  constexpr int kRuns = 30;
  Installation inst;
  inst.WriteIni("CatchUpHours=96\r\n");
  inst.WriteStore("2024-01-01T00:20:00Z", 600);
  // The feed reads a store of its own on the same clock, so a stop of
  // packvault through "$SHUTDOWN" does not end the feed.
  const std::string feed_store = inst.Dir("feed.do");
  pvtest::CopyFile(inst.Store(), feed_store);
  pvtest::Child feed(e2e::Tool("plantsim", {inst.Dir("project"), "--store", feed_store}, "--rate 150 --seed 5"),
                     inst.Dir("plantsim.txt"), inst.Dir("plantsim.txt"));

  std::mt19937 rng(kSeed);
  std::uniform_int_distribution<int> delay_ms(100, 2000);
  std::uniform_int_distribution<int> copy_ms(0, 400);
  std::string history = "seed " + std::to_string(kSeed) + "\n";
  for (int run = 0; run < kRuns; ++run) {
    inst.ClearRun();
    inst.Start();
    // Every other run ends while it catches up (copying, zipping, writing
    // the journal), the others at any moment.
    const bool stop = run % 5 == 4, in_copy = run % 2 == 1;
    int ms = in_copy ? copy_ms(rng) : delay_ms(rng);
    if (in_copy) inst.ConsoleHas("Catching up", 5);
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    if (stop) {
      ASSERT_TRUE(inst.SetObject("$SHUTDOWN", "1"));
    } else {
      inst.Process().Kill();
    }
    const std::optional<int> rc = inst.Process().Wait(60000);
    history += "run " + std::to_string(run) + ": " + (stop ? "stopped " : "killed ") + std::to_string(ms) +
               " ms after " + (in_copy ? "the catch-up began" : "the start") + ", exit " +
               (rc ? std::to_string(*rc) : "none") + "\n";
    ASSERT_TRUE(rc) << history << inst.Console();
    if (stop) {
      EXPECT_EQ(*rc, 0) << history << inst.Console();
      ASSERT_TRUE(inst.SetObject("$SHUTDOWN", "0"));
    }
    if (inst.Console().find("FAILURE: ") != std::string::npos) ADD_FAILURE() << history << inst.Console();
  }
  std::printf("%s", history.c_str());

  // The feed ends, so no record follows.
  ASSERT_TRUE(e2e::RunOk(e2e::Tool("pvobjects", {feed_store, "set", "$SHUTDOWN", "1"})));
  ASSERT_EQ(feed.Wait(60000), 0) << pvtest::ReadFileBytes(inst.Dir("plantsim.txt"));
  const uint32_t last = LastRecord(inst.Dir("project") + "/");
  ASSERT_GT(last, Pc(2024, 1, 1, 2));
  inst.ClearRun();
  inst.Start();
  ASSERT_TRUE(WaitForMarks(inst, e2e::Upper(inst.Dir("project") + "/"), last + 1, 120)) << history << inst.Console();
  ASSERT_TRUE(inst.SetObject("$SHUTDOWN", "1"));
  ASSERT_EQ(inst.Process().Wait(60000), 0) << inst.Console();

  const std::vector<std::string> projects = {inst.Dir("project") + "/"};
  EXPECT_GT(CheckArchives<DcLogDbf>(inst, projects, "_DCLOG", "UTC"), 500u);
  EXPECT_GT(CheckArchives<EntryDbf>(inst, projects, "_ARCHIVE", "TIME"), 500u);
  EXPECT_GT(CheckArchives<EventLogDbf>(inst, projects, "_EVENTLOG", "UTC"), 500u);
  inst.CheckNothingLeft(projects);
}

// Faults through the real executable, two intervals (20 s) at a time:
//   1. a store without the project code: the forced run of 09h at the stop
//      through "$SHUTDOWN" fails with 100 and writes nothing unencrypted;
//   2. a restart at 12:30 catches up 09h to 11h, but a directory stands in
//      _ARCHIVE's day archive's place and the _EVENTLOG plant table has a
//      corrupt header: both fail (the error object shows 101), nothing
//      partial is archived, and the catch-up waits for the retry;
//   3. the faults go; the next due check's retry works and every interval
//      follows, oldest first.
// _DCLOG is also configured for a second project directory: its records
// share the member of the first one's.
TEST(E2eRecoveryTest, FaultsArePublishedRetriedAndCaughtUp) {
  namespace fs = std::filesystem;
  Installation inst;
  const std::string project = inst.Dir("project") + "/", project2 = inst.Dir("project2") + "/";
  fs::create_directory(project2);
  inst.WriteIni("Dbf_4=_DCLOG\r\nPath_4=" + project2 + "\r\n");
  const std::string span = " --from 2024-01-01T09:00:00Z --to 2024-01-01T14:00:00Z --local-offset 3600";
  ASSERT_TRUE(inst.Plantsim("--fill 1500 --seed 7 --delete-share 0.05" + span));
  ASSERT_TRUE(e2e::RunOk(e2e::Tool("plantsim", {project2}, "--kinds dclog --fill 400 --seed 8" + span)));

  inst.WriteStore("2024-01-01T09:30:00Z", 360, false);
  inst.Start();
  ASSERT_TRUE(inst.ConsoleHas("Destination file path", 20));
  std::this_thread::sleep_for(std::chrono::seconds(2));
  ASSERT_TRUE(inst.SetObject("$SHUTDOWN", "1"));
  ASSERT_EQ(inst.Process().Wait(60000), 0) << inst.Console();
  EXPECT_NE(inst.Console().find("Zip failed, Error number 100"), std::string::npos) << inst.Console();
  EXPECT_EQ(inst.Object("ARCHIVE_ERR"), "100\n");
  for (const char* kind : {"_DCLOG", "_ARCHIVE", "_EVENTLOG"}) {
    EXPECT_FALSE(fs::exists(inst.Dir("archive") + "/" + kind + "/20240101.zip")) << kind;
  }

  const std::string blocked = inst.Dir("archive") + "/_ARCHIVE/20240101.zip";
  fs::create_directory(blocked);
  const std::string eventlog = project + "_EVENTLOG.dbf", good = pvtest::ReadFileBytes(eventlog);
  pvtest::WriteFileBytes(eventlog, std::string(32, '\xff') + good.substr(32));

  inst.WriteStore("2024-01-01T12:30:00Z", 360);
  inst.ClearRun();
  inst.Start();
  ASSERT_TRUE(inst.ConsoleHas("Archive run failed, Error number 101", 20)) << inst.Console();
  EXPECT_TRUE(inst.ConsoleHas("Catching up 0101_09h (20240101.zip)", 1));
  EXPECT_EQ(inst.Object("ARCHIVE_ERR"), "101\n");
  std::this_thread::sleep_for(std::chrono::seconds(20));
  EXPECT_EQ(inst.Console().find("Catching up 0101_10h"), std::string::npos) << "before the retry";
  EXPECT_FALSE(fs::exists(inst.Dir("archive") + "/_EVENTLOG/20240101.zip"));
  EXPECT_EQ(pvtest::ZipMembers(inst.Dir("archive") + "/_DCLOG/20240101.zip", e2e::kProjectCode),
            std::vector<std::string>{"0101_09h.dbf"});
  fs::remove(blocked);
  pvtest::WriteFileBytes(eventlog, good);

  ASSERT_TRUE(WaitForMarks(inst, e2e::Upper(project), Pc(2024, 1, 1, 14), 90)) << inst.Console();
  EXPECT_GE(JournalMark(inst, "_DCLOG", e2e::Upper(project2)), Pc(2024, 1, 1, 14));
  EXPECT_EQ(inst.Object("ARCHIVE_ERR"), "0\n");
  ASSERT_TRUE(inst.SetObject("$SHUTDOWN", "1"));
  ASSERT_EQ(inst.Process().Wait(60000), 0) << inst.Console();

  const std::string console = inst.Console();
  EXPECT_NE(console.find("Shutdown = true\n"), std::string::npos);
  EXPECT_NE(console.find("Failed 2 read " + e2e::Upper(project) + "_EVENTLOG.dbf (error "), std::string::npos);
  EXPECT_LT(console.find("Catching up 0101_09h"), console.find("Catching up 0101_10h"));
  EXPECT_GT(CheckArchives<DcLogDbf>(inst, {project, project2}, "_DCLOG", "UTC"), 1500u);
  EXPECT_GT(CheckArchives<EntryDbf>(inst, {project}, "_ARCHIVE", "TIME"), 1000u);
  EXPECT_GT(CheckArchives<EventLogDbf>(inst, {project}, "_EVENTLOG", "UTC"), 1000u);
  inst.CheckNothingLeft({project, project2});
}

}  // namespace
