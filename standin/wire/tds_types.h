// TDS type codes shared by the reply encoder and the request decoder.
#pragma once

#include <cstdint>

namespace standin {

enum TypeCode : uint8_t {
  kImage = 0x22,
  kText = 0x23,
  kGuid = 0x24,
  kIntN = 0x26,
  kDateN = 0x28,
  kTimeN = 0x29,
  kDateTime2N = 0x2A,
  kDateTimeOffsetN = 0x2B,
  kInt1 = 0x30,
  kBit = 0x32,
  kInt2 = 0x34,
  kInt4 = 0x38,
  kDateTim4 = 0x3A,
  kFlt4 = 0x3B,
  kMoney = 0x3C,
  kDateTime = 0x3D,
  kFlt8 = 0x3E,
  kNText = 0x63,
  kBitN = 0x68,
  kDecimalN = 0x6A,
  kNumericN = 0x6C,
  kFltN = 0x6D,
  kMoneyN = 0x6E,
  kDateTimeN = 0x6F,
  kMoney4 = 0x7A,
  kInt8 = 0x7F,
  kBigVarBinary = 0xA5,
  kBigVarChar = 0xA7,
  kBigBinary = 0xAD,
  kBigChar = 0xAF,
  kNVarChar = 0xE7,
  kNChar = 0xEF,
};

}  // namespace standin
