#include <objbase.h>

#include <cstring>

#include "foundation/platform/guid.h"
#include "foundation/platform/win32/win32_error.h"

namespace pv {

Status CreateGuid(Guid* guid) {
  *guid = Guid();
  GUID g;
  HRESULT hr = CoCreateGuid(&g);
  if (FAILED(hr)) return Status::IOError("CoCreateGuid: " + Win32Message(static_cast<uint32_t>(hr)));
  guid->data1 = g.Data1;
  guid->data2 = g.Data2;
  guid->data3 = g.Data3;
  std::memcpy(guid->data4, g.Data4, 8);
  return Status::OK();
}

}  // namespace pv
