// OutputHandler: the one channel of the application's messages.
//
// Every message goes twice: to standard output, converted to the console's
// character set and cut at 1023 bytes, and unconverted and whole to the debug
// log file. Information lines appear as "<text>" on the console; error lines
// as "FAILURE: <text>" on the console and "ERROR: <text>" in the log.
//
// It lives in foundation/ rather than with the program because the server
// link, a lower layer, reports through it as well. One instance per run,
// created first and destroyed last by main; everything else reaches it
// through GetLog(). Used from the main thread only.
#ifndef PV_FOUNDATION_OUTPUT_HANDLER_H_
#define PV_FOUNDATION_OUTPUT_HANDLER_H_

#include "foundation/zr_debug_output.h"
#include "foundation/zr_string.h"

class OutputHandler {
 public:
  // Opens the debug log as file_name under the switch variable
  // "PACKVAULT_DEBUG_FILE"; a log that does not open leaves only the console.
  explicit OutputHandler(const char* file_name);
  ~OutputHandler();  // not virtual: never deleted through a pointer
  OutputHandler(const OutputHandler&) = delete;
  OutputHandler& operator=(const OutputHandler&) = delete;

  virtual void PutInfo(const char* text);
  virtual void PutError(const char* text);

  const ZrString& GetLastError() const { return last_error_; }
  const ZrString& GetLastInfo() const { return last_info_; }
  const ZrDebugOutput& GetDebugOutput() const { return debug_; }

 private:
  // Writes prefix + text, converted and cut, and a line feed to stdout.
  static void ToConsole(const char* prefix, const char* text);

  ZrString last_error_;
  ZrString last_info_;
  ZrDebugOutput debug_;
};

// The process's handler; null until main sets it.
OutputHandler* GetLog();
void SetLog(OutputHandler* log);

#endif  // PV_FOUNDATION_OUTPUT_HANDLER_H_
