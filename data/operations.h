// The file operation codes.
//
// Every file statement reaches its driver as one of these numbers together with
// the file control block and an argument vector (see file_layer.h). The numbers
// are fixed: drivers, the precondition table and stored positions rely on them.
#pragma once

namespace sk::data {

enum Operation : int {
    kOpAdd = 0x01,
    kOpBof = 0x02,
    kOpBuildAll = 0x03,
    kOpAppend = 0x04,           // data only, keys marked for rebuild
    kOpBuildIndex = 0x05,       // text
    kOpBuildKey = 0x06,         // key
    kOpClose = 0x07,
    kOpCommit = 0x08,
    kOpCopy = 0x09,             // text: target name
    kOpCreate = 0x0A,
    kOpDelete = 0x0B,
    kOpDuplicate = 0x0C,        // any key; result true/false
    kOpEmpty = 0x0D,
    kOpEof = 0x0E,
    kOpGetKey = 0x0F,           // key
    kOpGetPointer = 0x10,       // record pointer
    kOpGetPointer2 = 0x11,      // record pointer, second form
    kOpHold = 0x12,
    kOpHoldTimeout = 0x13,      // seconds
    kOpLock = 0x14,
    kOpLockTimeout = 0x15,      // seconds
    kOpLogout = 0x16,
    kOpName = 0x17,             // text result
    kOpNext = 0x18,
    kOpOpen = 0x19,             // access mode
    kOpPack = 0x1A,
    kOpPointer = 0x1B,          // result: record pointer
    kOpPointerKey = 0x1C,       // key; result: record pointer
    kOpFlush = 0x1D,
    kOpPut = 0x1E,
    kOpPrevious = 0x1F,
    kOpRecords = 0x20,          // result: count
    kOpRecordsKey = 0x21,       // key; result: count
    kOpBuildIndex2 = 0x22,      // two texts
    kOpDriver24 = 0x24,         // driver operation the application never issues
    kOpRemove = 0x25,
    kOpRename = 0x26,           // text: new name
    kOpRollback = 0x28,
    kOpSet = 0x29,              // file order from the start
    kOpSetMode4 = 0x2A,         // file order, sequence mode 4
    kOpSetPointer = 0x2B,       // record pointer
    kOpSetKey = 0x2C,           // key
    kOpSetKeyValue = 0x2D,      // key, key
    kOpSetKeyValuePointer = 0x2E,  // key, key, pointer
    kOpSetKeyPosition = 0x2F,   // key
    kOpShare = 0x30,            // access mode
    kOpSkip = 0x31,             // count
    kOpUnlock = 0x32,
    kOpAddLength = 0x33,        // length
    kOpBytes = 0x34,            // result: size
    kOpGetPointerLength = 0x35, // record pointer, length
    kOpPutPointer = 0x36,       // record pointer
    kOpPutPointerLength = 0x37, // record pointer, length
    kOpStream = 0x38,
    kOpDuplicateKey = 0x39,     // key; result true/false
    kOpWatch = 0x3A,
    kOpAppendLength = 0x3B,     // length
    kOpSend = 0x3C,             // text; text result
    kOpPosition = 0x3D,         // text result
    kOpPositionKey = 0x3E,      // key; text result
    kOpReset = 0x3F,            // text
    kOpResetKey = 0x40,         // key, text
    kOpDriverOption = 0x41,
    kOpReget = 0x42,            // text
    kOpRegetKey = 0x43,         // key, text
    kOpViewProperty = 0x47,     // two texts: property number, value
    kOpText48 = 0x48,           // text
    kOpCurrentKey = 0x49,       // result: key number, 0 for file order
    kOpNativeViewHandler = 0x4A,  // result: a view entry or 0
    kOpMemoSliceRead = 0x4B,    // memo number, start, end; text result
    kOpMemoSliceWrite = 0x4C,   // memo number, start, end; text
    kOpMemoLength = 0x4D,       // memo number; result
    kOpMemoPropertyWrite = 0x4E,  // memo number; texts: property, value
    kOpMemoPropertyRead = 0x4F,   // memo number; text: property; text result
};

inline constexpr int kFirstOperation = 0x01;
inline constexpr int kLastOperation = 0x4F;

}  // namespace sk::data
