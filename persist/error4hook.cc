#include "persist/error4hook.h"

#include <cstdio>

#include "foundation/zr_debug_output.h"

void error4hook(pv::EngineContext* /*context*/, int32_t code, int32_t code2,
                const char* description1, const char* description2, const char* description3) {
  char number[16];
  _ErrorOutputToWnd("Datenbank-Fehler:");
  std::snprintf(number, sizeof number, "%d", code);
  _ErrorOutputToWnd(number);
  _ErrorOutputToWnd(pv::EngineErrorText(code));
  std::snprintf(number, sizeof number, "%d", code2);
  _ErrorOutputToWnd(number);
  // An absent description is left out: the log would show it as a
  // complaint about a null message, which reads like a second fault.
  for (const char* description : {description1, description2, description3}) {
    if (description != nullptr) _ErrorOutputToWnd(description);
  }
}
