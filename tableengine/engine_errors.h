// The table engine's result and error codes.
//
// Operations of the engine's interface return 0 on success, a positive result
// code for an expected outcome that is not success (end of file, a lock held
// elsewhere), and a negative error code on failure. A negative code is also
// kept in the engine context's error state (EngineContext::ErrorCode) and
// reported through its error hook.
#ifndef PV_TABLEENGINE_ENGINE_ERRORS_H_
#define PV_TABLEENGINE_ENGINE_ERRORS_H_

#include <cstdint>

namespace pv {

// Positive results.
constexpr int32_t kEngineOk = 0;
constexpr int32_t kResultBof = 2;     // skip: stepped before the first record
constexpr int32_t kResultAfter = 2;   // seek: stopped on the next greater key
constexpr int32_t kResultEof = 3;     // skip/seek/go: past the end
constexpr int32_t kResultLocked = 50; // a lock held elsewhere (after all attempts)
constexpr int32_t kResultEntry = 60;  // go: no such record number

// Errors (negative).
constexpr int32_t kErrCreate = -10;      // a file could not be created
constexpr int32_t kErrOpen = -20;        // a file could not be opened
constexpr int32_t kErrRead = -30;        // reading failed or came up short
constexpr int32_t kErrWrite = -40;       // writing failed (full disk, read-only file)
constexpr int32_t kErrClose = -50;       // closing or flushing failed
constexpr int32_t kErrRemove = -60;      // a file could not be removed
constexpr int32_t kErrLock = -70;        // the operating system refused a lock
constexpr int32_t kErrDataCorrupt = -80; // the data file breaks the format's rules
constexpr int32_t kErrMemo = -90;        // the memo file is missing or corrupt
constexpr int32_t kErrFieldName = -100;  // no field of that name or position
constexpr int32_t kErrFieldType = -101;  // an operation the field's type cannot do
constexpr int32_t kErrFieldList = -102;  // an unusable field list for creation
constexpr int32_t kErrRecordNumber = -110; // a record number outside the file
constexpr int32_t kErrNotLocked = -120;  // a field assigned while its record is not locked
constexpr int32_t kErrReadOnly = -130;   // a change in read-only mode
constexpr int32_t kErrTagName = -140;    // no tag of that name
constexpr int32_t kErrIndex = -150;      // the index file is missing, corrupt or unusable
constexpr int32_t kErrExpression = -160; // a key or filter expression that does not parse
constexpr int32_t kErrUnique = -170;     // a duplicate key in a tag that refuses them
constexpr int32_t kErrNoIndexSupport = -180; // index operation without an index module
constexpr int32_t kErrInvalid = -190;    // an invalid argument or a closed handle

// The engine's text for a code; "***Unknown Error***" when it has none.
const char* EngineErrorText(int32_t code);

}  // namespace pv

#endif  // PV_TABLEENGINE_ENGINE_ERRORS_H_
