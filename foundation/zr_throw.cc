#include "foundation/zr_throw.h"

#include <atomic>
#include <cstdio>

#include "foundation/platform/message_box.h"
#include "foundation/zr_debug_output.h"
#include "foundation/zr_process.h"

namespace {

std::atomic<bool> throw_test_mode{false};
std::atomic<ZrThrowDumpHook> dump_hook{nullptr};

}  // namespace

void ZrThrowSetTestMode(bool on) { throw_test_mode = on; }

void ZrSetThrowDumpHook(ZrThrowDumpHook hook) { dump_hook = hook; }

void ZrThrow(const char* message) {
  if (message == nullptr) message = "";
  ZrDebugOutput& log = ZrDefaultDebugOutput();
  log._DebugOutput("*********************ZrThrow**************************");
  log._DebugOutput(message);
  if (log.IsOpen()) log.FlushDebug();
  if (!throw_test_mode) {
    for (uint32_t hz : {220u, 440u, 880u, 440u, 220u, 440u, 880u}) pv::SoundBeep(hz, 500);
    if (ZrThrowDumpHook hook = dump_hook.load()) hook();
    pv::ShowMessageBox(ZrGetAppPathEx(), message, pv::MessageIcon::kStop);
  }
  throw ZrFixString<255>(message);
}

void ZrAssertReport(const char* statement, const char* source_file, uint32_t source_line) {
  if (statement == nullptr) statement = "";
  if (source_file == nullptr) source_file = "";
  ZrDefaultDebugOutput()._DebugOutput(statement, source_file, source_line);
  char text[1024];
  std::snprintf(text, sizeof text, "Internal data structures corrupted in\nfile: %s\nline: %u\nstatement: %s",
                source_file, source_line, statement);
  pv::ShowMessageBox("ERROR", text, pv::MessageIcon::kStop);
}
