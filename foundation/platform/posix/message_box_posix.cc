#include <cstdio>

#include "foundation/platform/message_box.h"

namespace pv {

void ShowMessageBox(const char* caption, const char* text, MessageIcon /*icon*/) {
  std::fprintf(stderr, "%s: %s\n", caption != nullptr ? caption : "", text != nullptr ? text : "");
  std::fflush(stderr);
}

void ShowErrorWindow(const std::vector<std::string>& /*entries*/) {}

void SoundBeep(uint32_t /*frequency_hz*/, uint32_t /*duration_ms*/) {}

}  // namespace pv
