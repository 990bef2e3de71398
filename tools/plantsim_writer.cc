#include "tools/plantsim_writer.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <thread>
#include <vector>

#include "app/dc_log_dbf.h"
#include "app/entry_dbf.h"
#include "app/event_log_dbf.h"
#include "foundation/platform/file.h"
#include "foundation/platform/stop_request.h"
#include "persist/zrp_base.h"
#include "persist/zrp_table_iterator.h"
#include "serverlink/eci_client.h"
#include "tools/plantsim_records.h"

namespace plantsim {
namespace {

// The control system's writers wait this long for a table's named mutex.
constexpr uint32_t kMutexWaitMs = 5000;

// Appends to one plant table, each append under the table's named mutex.
class KindWriter {
 public:
  virtual ~KindWriter() = default;
  virtual const char* Name() const = 0;
  // Appends record seq stamped at; stores its record number in *recno when
  // recno is not null. False when the table refused the record.
  virtual bool Append(uint64_t seed, uint64_t seq, const Stamp& at, int32_t* recno) = 0;
  virtual bool Remove(int32_t recno) = 0;
  // Opens the table, creating it when missing; false when it cannot.
  virtual bool Open() = 0;
  virtual void Close() = 0;

  uint64_t appended = 0;
  uint64_t deleted = 0;
  uint64_t failed = 0;
};

template <class Table, void (*Fill)(Table&, uint64_t, uint64_t, const Stamp&)>
class TableWriter : public KindWriter {
 public:
  TableWriter(ZrpBase* base, const char* name, const char* tag)
      : table_(base, name, false, true), name_(name), tag_(tag) {}

  const char* Name() const override { return name_; }

  bool Append(uint64_t seed, uint64_t seq, const Stamp& at, int32_t* recno) override {
    Fill(table_, seed, seq, at);
    SafeDbfLock hold(table_, kMutexWaitMs);
    if (recno == nullptr) return table_.Add(nullptr);
    ZrpTableIterator it;
    bool ok = table_.Add(it);
    *recno = it.RecNo();
    return ok;
  }

  bool Remove(int32_t recno) override {
    ZrpTableIterator it;
    it.SetTag(tag_);
    it = recno;
    SafeDbfLock hold(table_, kMutexWaitMs);
    return table_.Remove(it);
  }

  bool Open() override { return table_.GetTable() != nullptr; }
  void Close() override { table_.Close(ZrString(name_)); }

 private:
  Table table_;
  const char* name_;
  const char* tag_;
};

// The store's clocks and shutdown object, when a store was given.
class Store {
 public:
  bool Connect(const std::string& path) {
    if (DosvConnectApp("PLANTSIM", path.c_str()) != 0) return false;
    DoValue v;
    if (DoGetObjNum("$SHUTDOWN", &v) == 0) shutdown_obj_ = static_cast<uint16_t>(DoAsNumber(v));
    connected_ = true;
    return true;
  }
  uint32_t Ut() const { return MclkQueryUtTime(); }
  int32_t LocalOffset() const {
    return static_cast<int32_t>(MclkQueryLtTime() - MclkQueryUtTime());
  }
  bool ShutdownRequested() const {
    if (!connected_ || shutdown_obj_ == 0) return false;
    DoValue v;
    return DoGetValue(shutdown_obj_, &v) == 0 && DoAsNumber(v) != 0;
  }

 private:
  bool connected_ = false;
  uint16_t shutdown_obj_ = 0;
};

std::vector<std::unique_ptr<KindWriter>> MakeWriters(const Options& opt, ZrpBase* base) {
  std::vector<std::unique_ptr<KindWriter>> w;
  if (opt.dclog) w.push_back(std::make_unique<TableWriter<DcLogDbf, FillDcLog>>(base, "_DCLOG", "UTC"));
  if (opt.archive) w.push_back(std::make_unique<TableWriter<EntryDbf, FillEntry>>(base, "_ARCHIVE", "TIME"));
  if (opt.eventlog) {
    w.push_back(std::make_unique<TableWriter<EventLogDbf, FillEventLog>>(base, "_EVENTLOG", "UTC"));
  }
  return w;
}

// N records per kind spread evenly over [from, to), in time order; then the
// chosen share of them deleted.
void Fill(const Options& opt, uint32_t from, uint32_t to, int32_t offset,
          std::vector<std::unique_ptr<KindWriter>>& writers) {
  const uint64_t span_ms = static_cast<uint64_t>(to - from) * 1000;
  Random chooser(opt.seed ^ 0xD5E1E7E5ull);
  std::vector<std::vector<int32_t>> doomed(writers.size());
  for (uint64_t i = 0; i < opt.fill && !pv::StopRequested(); ++i) {
    uint64_t at_ms = span_ms * i / opt.fill;
    Stamp stamp{from + static_cast<uint32_t>(at_ms / 1000), static_cast<int32_t>(at_ms % 1000),
                offset};
    bool doom = opt.delete_share > 0 && chooser.Between(0, 1) < opt.delete_share;
    for (size_t k = 0; k < writers.size(); ++k) {
      int32_t recno = 0;
      if (!writers[k]->Append(opt.seed, i, stamp, doom ? &recno : nullptr)) {
        ++writers[k]->failed;
        continue;
      }
      ++writers[k]->appended;
      if (doom && recno > 0) doomed[k].push_back(recno);
    }
  }
  for (size_t k = 0; k < writers.size(); ++k) {
    for (int32_t recno : doomed[k]) {
      if (writers[k]->Remove(recno)) {
        ++writers[k]->deleted;
      } else {
        ++writers[k]->failed;
      }
    }
  }
}

// rate records per second per kind, stamped from the store's clock, until
// the duration is over or the store asks for shutdown.
void Live(const Options& opt, const Store& store, uint64_t first_seq,
          std::vector<std::unique_ptr<KindWriter>>& writers) {
  using Clock = std::chrono::steady_clock;
  const auto start = Clock::now();
  auto next_check = start;
  uint64_t done = 0;
  uint32_t last_ut = 0;
  int32_t millis = 0;
  int32_t offset = store.LocalOffset();
  for (;;) {
    auto now = Clock::now();
    double elapsed = std::chrono::duration<double>(now - start).count();
    if ((opt.duration > 0 && elapsed >= opt.duration) || pv::StopRequested()) break;
    if (now >= next_check) {
      if (store.ShutdownRequested()) break;
      offset = store.LocalOffset();
      next_check = now + std::chrono::seconds(1);
    }
    // A feed that falls behind its rate catches up in slices of at most
    // 100 ms, so the stop checks above still run.
    const uint64_t due = static_cast<uint64_t>(elapsed * opt.rate);
    const auto slice_end = now + std::chrono::milliseconds(100);
    for (; done < due && Clock::now() < slice_end; ++done) {
      // The store's clock has whole seconds; entries within one second get
      // increasing milliseconds so _DCLOG's UT order is their append order.
      uint32_t ut = store.Ut();
      millis = (ut == last_ut) ? (millis < 999 ? millis + 1 : 999) : 0;
      last_ut = ut;
      Stamp stamp{ut, millis, offset};
      for (auto& w : writers) {
        if (w->Append(opt.seed, first_seq + done, stamp, nullptr)) {
          ++w->appended;
        } else {
          ++w->failed;
        }
      }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

}  // namespace

int Run(const Options& opt) {
  // SIGINT and SIGTERM end a run between two appends, never inside one.
  pv::Status handlers = pv::InstallStopRequestHandlers();
  if (!handlers.ok()) {
    std::fprintf(stderr, "plantsim: %s\n", handlers.ToString().c_str());
    return 1;
  }
  Store store;
  if (!opt.store.empty() && !store.Connect(opt.store)) {
    std::fprintf(stderr, "plantsim: cannot open the object store %s\n", opt.store.c_str());
    return 1;
  }
  if (!pv::IsDirectory(opt.project_dir)) {
    std::fprintf(stderr, "plantsim: no such project directory: %s\n", opt.project_dir.c_str());
    return 1;
  }
  ZrpBase base;
  base.Open("PLANTSIM", opt.project_dir.c_str(), false, false);
  auto writers = MakeWriters(opt, &base);
  for (auto& w : writers) {
    if (!w->Open()) {
      std::fprintf(stderr, "plantsim: cannot open or create %s%s\n", opt.project_dir.c_str(),
                   w->Name());
      return 1;
    }
  }

  if (opt.fill > 0) {
    uint32_t from = opt.from, to = opt.to;
    if (!opt.has_range) {
      to = store.Ut();
      from = to - 3600;
    }
    int32_t offset = opt.store.empty() ? opt.local_offset : store.LocalOffset();
    Fill(opt, from, to, offset, writers);
  }
  if (opt.rate > 0) Live(opt, store, opt.fill, writers);

  int rc = 0;
  for (auto& w : writers) {
    w->Close();
    std::printf("plantsim: %s: %llu appended, %llu deleted\n", w->Name(),
                static_cast<unsigned long long>(w->appended),
                static_cast<unsigned long long>(w->deleted));
    if (w->failed > 0) {
      std::fprintf(stderr, "plantsim: %s: %llu operations failed\n", w->Name(),
                   static_cast<unsigned long long>(w->failed));
      rc = 1;
    }
  }
  base.Close();
  return rc;
}

}  // namespace plantsim
