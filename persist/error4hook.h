// error4hook: how the table engine's errors reach the operator.
//
// Every ZrpBase installs it as its engine context's error hook. Each report
// becomes up to seven lines of the error window, in this order:
// "Datenbank-Fehler:", the code in decimal, the engine's text for the code,
// code2 in decimal, and the three descriptions (an absent one is left out).
#ifndef PV_PERSIST_ERROR4HOOK_H_
#define PV_PERSIST_ERROR4HOOK_H_

#include <cstdint>

#include "tableengine/engine_api.h"

void error4hook(pv::EngineContext* context, int32_t code, int32_t code2,
                const char* description1, const char* description2, const char* description3);

#endif  // PV_PERSIST_ERROR4HOOK_H_
