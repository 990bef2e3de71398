// Command line of the plant simulator (see plantsim_main.cc for the options).
#ifndef PV_TOOLS_PLANTSIM_OPTIONS_H_
#define PV_TOOLS_PLANTSIM_OPTIONS_H_

#include <cstdint>
#include <string>

namespace plantsim {

extern const char kUsage[];

struct Options {
  std::string project_dir;  // ends with a path separator
  std::string store;        // empty: no object store
  bool dclog = true;
  bool archive = true;
  bool eventlog = true;
  uint64_t fill = 0;
  bool has_range = false;
  uint32_t from = 0;        // PcTime, inclusive
  uint32_t to = 0;          // PcTime, exclusive
  double rate = 0;          // live records per second per kind; 0: no live run
  double duration = 0;      // seconds; 0: until stopped
  uint64_t seed = 1;
  double delete_share = 0;
  int32_t local_offset = 3600;
};

// Parses argv; on failure returns false with a one-line reason.
bool ParseOptions(int argc, char** argv, Options* out, std::string* error);

// "YYYY-MM-DDTHH:MM:SS" with an optional trailing "Z", as UTC PcTime.
bool ParseUtc(const char* text, uint32_t* pc);

}  // namespace plantsim

#endif  // PV_TOOLS_PLANTSIM_OPTIONS_H_
