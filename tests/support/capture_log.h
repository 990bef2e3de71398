// CaptureLog: an output handler that keeps the messages instead of printing
// them, as "I:" + text for information and "E:" + text for errors.
#ifndef PV_TESTS_SUPPORT_CAPTURE_LOG_H_
#define PV_TESTS_SUPPORT_CAPTURE_LOG_H_

#include <algorithm>
#include <string>
#include <vector>

#include "foundation/output_handler.h"

namespace pvtest {

class CaptureLog : public OutputHandler {
 public:
  CaptureLog() : OutputHandler("Packvault.log") {}
  void PutInfo(const char* text) override { lines.push_back(std::string("I:") + text); }
  void PutError(const char* text) override { lines.push_back(std::string("E:") + text); }
  bool Has(const std::string& line) const { return Count(line) > 0; }
  size_t Count(const std::string& line) const {
    return static_cast<size_t>(std::count(lines.begin(), lines.end(), line));
  }
  std::vector<std::string> lines;
};

}  // namespace pvtest

#endif  // PV_TESTS_SUPPORT_CAPTURE_LOG_H_
