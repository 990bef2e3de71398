// Record content for the plant simulator: realistic, reproducible values for
// the three plant logs.
//
// Every record is a pure function of (seed, kind, sequence number) and its
// time stamp, so a test can regenerate what plantsim wrote. Values follow the
// shape of the control system's own logs: point ids like AREA03.PIC0003.PV,
// locations like Site1\Boiler House\Pump 25, state texts like ALARM HIHI,
// local time one clock offset after universal time.
#ifndef PV_TOOLS_PLANTSIM_RECORDS_H_
#define PV_TOOLS_PLANTSIM_RECORDS_H_

#include <cstdint>

class DcLogDbf;
class EntryDbf;
class EventLogDbf;

namespace plantsim {

// When a record happens: universal time as PcTime plus milliseconds, and the
// plant's local time offset from it in seconds.
struct Stamp {
  uint32_t ut_seconds;
  int32_t millis;        // 0..999; _ARCHIVE and _EVENTLOG keep whole seconds
  int32_t local_offset;  // LT = UT + local_offset
};

// Small deterministic generator (splitmix64).
class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed) {}
  uint64_t Next();
  // Uniform in [0, n), n > 0.
  uint32_t Below(uint32_t n) { return static_cast<uint32_t>(Next() % n); }
  // Uniform in [lo, hi).
  double Between(double lo, double hi);

 private:
  uint64_t state_;
};

// Fill the bound members of a table object; the caller then adds it.
void FillDcLog(DcLogDbf& rec, uint64_t seed, uint64_t seq, const Stamp& at);
void FillEntry(EntryDbf& rec, uint64_t seed, uint64_t seq, const Stamp& at);
void FillEventLog(EventLogDbf& rec, uint64_t seed, uint64_t seq, const Stamp& at);

}  // namespace plantsim

#endif  // PV_TOOLS_PLANTSIM_RECORDS_H_
