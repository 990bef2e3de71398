// Path resolution for file names written for a case-insensitive file system.
//
// The system forms paths by plain concatenation with "\" and upper-cases
// directory names, as Windows allows. ResolvePath turns such a path into the
// path of the file as it exists here:
//   - "\" and "/" both separate components; the result uses "/".
//   - Each component that exists under its exact name is kept. Otherwise the
//     parent directory is searched for names equal without case (ASCII and
//     Windows-1252 letters); of several, the first in byte order wins, so the
//     choice is deterministic.
//   - From the first component that does not exist in any case, the rest is
//     kept as given: a file that is about to be created gets the given name.
// "." and ".." are kept. An empty path stays empty.
#ifndef PV_FOUNDATION_PLATFORM_PATH_RESOLVE_H_
#define PV_FOUNDATION_PLATFORM_PATH_RESOLVE_H_

#include <string>

namespace pv {

std::string ResolvePath(const std::string& path);

// True when a and b are equal ignoring the case of ASCII and Windows-1252 letters.
bool EqualNoCase(const std::string& a, const std::string& b);

// One spelling of a directory or file for keys (names of mutexes derived
// from a path): resolved, "/" separated, and on Windows absolute and in one
// case, so "C:\\Data\\", "c:\\data\\" and "C:/Data/" give the same key.
std::string PathKey(const std::string& path);

// The path as a library that takes UTF-8 file names wants it. Our paths are
// Windows-1252; POSIX file names are bytes and pass unchanged, Windows
// converts.
std::string PathForUtf8Library(const std::string& path);

}  // namespace pv

#endif  // PV_FOUNDATION_PLATFORM_PATH_RESOLVE_H_
