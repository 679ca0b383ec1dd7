#include "platform/error.h"

namespace platform {

void RaiseError(std::int32_t number) {
  switch (number) {
    case kErrInvalidProcedureCall:
      throw Error(number, "Invalid procedure call or argument");
    case kErrOverflow:
      throw Error(number, "Overflow");
    case kErrSubscriptOutOfRange:
      throw Error(number, "Subscript out of range");
    case kErrTypeMismatch:
      throw Error(number, "Type mismatch");
    case kErrInvalidUseOfNull:
      throw Error(number, "Invalid use of Null");
    case kErrObjectRequired:
      throw Error(number, "Object required");
    case kErrFileNotFound:
      throw Error(number, "File not found");
    case kErrPathFileAccess:
      throw Error(number, "Path/File access error");
    case kErrInvalidPicture:
      throw Error(number, "Invalid picture");
    default:
      throw Error(number, "Application-defined or object-defined error");
  }
}

}  // namespace platform
