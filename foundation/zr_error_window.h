// The error window: the newest error lines of the process, newest first.
//
// The Windows program shows them in a top-most list box on its own thread.
// On POSIX there is no desktop: the same list is kept (so it can be queried)
// and each entry is also written to standard error as one line, with no
// thread at all. At most kErrorWindowEntries entries are kept; adding to a
// full list drops the oldest. The newest entry is the selected one.
//
// Thread safety: serialised by one process-wide lock.
#ifndef PV_FOUNDATION_ZR_ERROR_WINDOW_H_
#define PV_FOUNDATION_ZR_ERROR_WINDOW_H_

#include <cstdint>
#include <string>
#include <vector>

constexpr uint32_t kErrorWindowEntries = 100;

// Inserts message at the top (index 0) and shows it.
void ZrErrorWindowAdd(const char* message);

// The entries, newest first.
std::vector<std::string> ZrErrorWindowEntries();

// Empties the list (as closing the window does).
void ZrErrorWindowClose();

#endif  // PV_FOUNDATION_ZR_ERROR_WINDOW_H_
