#include "foundation/output_handler.h"

#include <cstdio>
#include <cstring>

#include "foundation/platform/console.h"

namespace {

constexpr size_t kConsoleBuffer = 1024;  // the console line: at most 1023 input bytes
OutputHandler* the_log = nullptr;

}  // namespace

OutputHandler* GetLog() { return the_log; }
void SetLog(OutputHandler* log) { the_log = log; }

OutputHandler::OutputHandler(const char* file_name) {
  debug_.OpenDebugEx(file_name, "PACKVAULT_DEBUG_FILE");  // failure: console only
}

OutputHandler::~OutputHandler() { debug_.CloseDebug(); }

void OutputHandler::ToConsole(const char* prefix, const char* text) {
  // Room for 1023 input bytes after conversion (one byte may become several).
  char buffer[(kConsoleBuffer - 1) * pv::kConsoleBytesPerAnsiByte + 1];
  size_t n = std::strlen(text);
  if (n > kConsoleBuffer - 1) n = kConsoleBuffer - 1;
  pv::AnsiToConsole(text, n, buffer, sizeof buffer);
  std::printf("%s%s\n", prefix, buffer);
  std::fflush(stdout);
}

void OutputHandler::PutInfo(const char* text) {
  if (text == nullptr) text = "";
  last_info_ = text;
  ToConsole("", text);
  debug_._DebugOutput(text);
}

void OutputHandler::PutError(const char* text) {
  if (text == nullptr) text = "";
  last_error_ = text;
  ToConsole("FAILURE: ", text);
  ZrString line("ERROR: ");
  line += text;
  debug_._DebugOutput(line);
}
