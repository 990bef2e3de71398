// The portable part of NamedMutex; the OS object is in <os>/named_mutex_*.cc.
#include "foundation/platform/named_mutex.h"

namespace pv {

NamedMutex::~NamedMutex() = default;

}  // namespace pv
