#include "serverlink/eci_objects.h"

#include "foundation/output_handler.h"
#include "foundation/zr_string.h"

namespace {
EciObjects* the_eci_objects = nullptr;
}

EciObjects* GetEciObjects() { return the_eci_objects; }
void SetEciObjects(EciObjects* eciObjects) { the_eci_objects = eciObjects; }

bool EciObjects::ConnectEci(const char* appName, const char* projectFile) {
  ZrString text("Connect to ECI: ");
  text += appName;
  text += projectFile;
  GetLog()->PutInfo(text);
  return true;
}
