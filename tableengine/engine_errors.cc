#include "tableengine/engine_errors.h"

namespace pv {

const char* EngineErrorText(int32_t code) {
  switch (code) {
    case kEngineOk: return "No error";
    case kErrCreate: return "Creating File";
    case kErrOpen: return "Opening File";
    case kErrRead: return "Reading File";
    case kErrWrite: return "Writing to File";
    case kErrClose: return "Closing File";
    case kErrRemove: return "Removing File";
    case kErrLock: return "Locking File";
    case kErrDataCorrupt: return "Data File is Corrupt";
    case kErrMemo: return "Memo File is Corrupt or Missing";
    case kErrFieldName: return "Unrecognized Field Name";
    case kErrFieldType: return "Unexpected Field Type";
    case kErrFieldList: return "Invalid Field List";
    case kErrRecordNumber: return "Invalid Record Number";
    case kErrNotLocked: return "Field Assigned on an Unlocked Record";
    case kErrReadOnly: return "File Opened Read-Only";
    case kErrTagName: return "Tag Name not Found";
    case kErrIndex: return "Index File Error";
    case kErrExpression: return "Expression Error";
    case kErrUnique: return "Unique Key Error";
    case kErrNoIndexSupport: return "Index Files not Supported";
    case kErrInvalid: return "Invalid Argument";
    default: return "***Unknown Error***";
  }
}

}  // namespace pv
