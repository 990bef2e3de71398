#include "foundation/status.h"

namespace pv {

std::string Status::ToString() const {
  const char* name = "OK";
  switch (code_) {
    case Code::kOk: return "OK";
    case Code::kNotFound: name = "NotFound"; break;
    case Code::kCorruption: name = "Corruption"; break;
    case Code::kNotSupported: name = "Not supported"; break;
    case Code::kInvalidArgument: name = "Invalid argument"; break;
    case Code::kIOError: name = "IO error"; break;
    case Code::kBusy: name = "Busy"; break;
  }
  return std::string(name) + ": " + msg_;
}

}  // namespace pv
