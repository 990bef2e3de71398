// The process-data server's client library, by its operation names, served
// by the embedded object store (object_store.h) instead of a server.
//
// One connection per process, made by DosvConnectApp with the path of the
// project's store file; every object call works on it. Object numbers are the
// 1-based positions of the objects in the store; 0 is never an object.
//
// Results: 0 on success, one of the kEci... codes on failure. Failures that
// come from the store file itself (missing, malformed, unreadable, unwritable)
// are also reported with their reason (for a malformed file, its line number)
// through the error window, which writes them to the debug log too; each
// distinct reason once, as a broken store fails every call. EciLastError()
// returns the last such reason.
//
// Text handed out in a DoValue belongs to the library and stays valid until
// the next call of any operation below; callers copy it.
//
// Thread safety: none; the program calls the library from its main thread.
#ifndef PV_SERVERLINK_ECI_CLIENT_H_
#define PV_SERVERLINK_ECI_CLIENT_H_

#include <cstdint>

#include "serverlink/do_value.h"
#include "serverlink/server_clock.h"

constexpr int32_t kEciNotConnected = 1;  // no DosvConnectApp succeeded yet
constexpr int32_t kEciStoreError = 2;    // the store file is missing, malformed or failed
constexpr int32_t kEciNoObject = 3;      // no object of that name or number
constexpr int32_t kEciWrongType = 4;     // the value's type does not fit the object
constexpr int32_t kEciBadArgument = 5;   // null pointer, or a value the store cannot hold

// Connects to the store at project_path (for example ".\plant1.do"). A
// failed connect leaves any previous connection as it was.
int32_t DosvConnectApp(const char* app_name, const char* project_path);
// Fills value with the object's number as kDoTypeLong.
int32_t DoGetObjNum(const char* name, DoValue* value);
// Fills value with the object's value: kDoTypeLong, kDoTypeFloat or kDoTypeText.
int32_t DoGetValue(uint16_t obj_no, DoValue* value);
// Fills value with the text of a text object (kDoTypeText); kEciWrongType for
// a numeric object.
int32_t DoGetSoTxt(uint16_t obj_no, DoValue* value);
// Sets the object's value. A number is converted to a numeric object's type
// (a float into an int object is truncated toward zero); text fits only a
// text object. Written to the store file before the call returns.
int32_t DoAppSetValue(uint16_t obj_no, const DoValue* value);

// The server's universal and local time as PcTime (server_clock.h). Before a
// connection, or while the store cannot be read, the last clock settings read
// apply (none: this machine's clock).
uint32_t MclkQueryUtTime();
uint32_t MclkQueryLtTime();

// The reason of the last store failure, "" when there was none.
const char* EciLastError();

// Drops the connection (tests, and the end of the program).
void EciDisconnect();

// Test seam: the real-time source of the clocks; null restores the system's.
void EciSetRealTimeSource(RealTimeSource* source);

#endif  // PV_SERVERLINK_ECI_CLIENT_H_
