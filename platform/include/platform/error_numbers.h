// Every error number the client side raises itself, in one list: the classic
// runtime's and data-access component's numbering, which stored data, callers and
// operators compare against. Server errors carry SQL Server's own numbers instead.
#pragma once

#include <cstdint>

namespace platform {

// The runtime.
// 5 "Invalid procedure call or argument"
inline constexpr std::int32_t kErrInvalidProcedureCall = 5;
// 6 "Overflow"
inline constexpr std::int32_t kErrOverflow = 6;
// 9 "Subscript out of range"
inline constexpr std::int32_t kErrSubscriptOutOfRange = 9;
// 13 "Type mismatch"
inline constexpr std::int32_t kErrTypeMismatch = 13;
// 94 "Invalid use of Null"
inline constexpr std::int32_t kErrInvalidUseOfNull = 94;
// 424 "Object required"
inline constexpr std::int32_t kErrObjectRequired = 424;

// Files and pictures.
// 53 "File not found": a file that cannot be opened for reading.
inline constexpr std::int32_t kErrFileNotFound = 53;
// 75 "Path/File access error": a file or folder that cannot be written, or a
// read that fails part-way.
inline constexpr std::int32_t kErrPathFileAccess = 75;
// 481 "Invalid picture": a file that holds no picture the toolkit can read.
inline constexpr std::int32_t kErrInvalidPicture = 481;

// The window toolkit.
// 340 "Control array element '<n>' doesn't exist"
inline constexpr std::int32_t kErrNoSuchArrayElement = 340;
// 343 "Object not an array": the control is not part of a control array.
inline constexpr std::int32_t kErrNotAnArray = 343;
// 438 "Object doesn't support this property or method"
inline constexpr std::int32_t kErrMemberNotSupported = 438;
// 730 "Control '<name>' not found"
inline constexpr std::int32_t kErrControlNotFound = 730;
// 91 "Object variable or With block variable not set": a member read on no
// object, such as the selected item of a list view where none is selected.
inline constexpr std::int32_t kErrObjectNotSet = 91;
// 35600 "Index out of bounds": a list view item or sub-item that does not exist.
inline constexpr std::int32_t kErrIndexOutOfBounds = 35600;

// The data-access component.
// 3001 "Arguments are of the wrong type, are out of acceptable range, or are in
// conflict with one another."
inline constexpr std::int32_t kErrInvalidUse = 3001;
// 3021 "Either BOF or EOF is True, or the current record has been deleted."
inline constexpr std::int32_t kErrBofOrEof = 3021;
// 3251 "Current Recordset does not support updating. ..."
inline constexpr std::int32_t kErrUpdateNotSupported = 3251;
// 3265 "Item cannot be found in the collection corresponding to the requested name
// or ordinal."
inline constexpr std::int32_t kErrItemNotFound = 3265;
// 3704 "Operation is not allowed when the object is closed."
inline constexpr std::int32_t kErrObjectClosed = 3704;
// 3705 "Operation is not allowed when the object is open."
inline constexpr std::int32_t kErrObjectOpen = 3705;
// 3709 "The connection cannot be used to perform this operation. It is either
// closed or invalid in this context."
inline constexpr std::int32_t kErrConnectionUnusable = 3709;
// 3712 "Operation has been cancelled by the user."
inline constexpr std::int32_t kErrOperationCancelled = 3712;

// The provider and the driver, as signed 32-bit HRESULTs.
// The generic failure (E_FAIL, 0x80004005): any failure without a number of its
// own, such as no server listening, an internal error, or "Key column information
// is insufficient or incorrect. Too many rows were affected by update."
inline constexpr std::int32_t kErrUnspecified = -2147467259;
// "Timeout expired" and the like (DB_E_ABORTLIMITREACHED, 0x80040E31).
inline constexpr std::int32_t kErrDriverTimeout = -2147217871;
// "Row cannot be located for updating. Some values may have been changed since it
// was last read." (DB_E_CANTLOCATEROW, 0x80040E38)
inline constexpr std::int32_t kErrRowNotLocated = -2147217864;
// "No transaction is active." (XACT_E_NOTRANSACTION, 0x8004D00E)
inline constexpr std::int32_t kErrNoTransaction = -2147168242;
// "Only one transaction can be active on this session." (XACT_E_XTIONEXISTS, 0x8004D013)
inline constexpr std::int32_t kErrTransactionActive = -2147168237;

}  // namespace platform
