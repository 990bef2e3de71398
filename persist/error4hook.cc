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
  _ErrorOutputToWnd(description1);
  _ErrorOutputToWnd(description2);
  _ErrorOutputToWnd(description3);
}
