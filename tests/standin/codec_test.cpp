// The TDS codec: exact token bytes where FreeTDS depends on lengths and flags, LOGIN7 and RPC decoding, and
// typed values written and read back.
#include <gtest/gtest.h>

#include "tds_test_util.h"
#include "wire/tds_codec.h"
#include "wire/tls.h"

namespace standin {
namespace {

using test_support::MakeLogin7;
using test_support::WriteAllHeaders;

Bytes Encode(const std::function<void(ByteWriter&)>& f) {
  ByteWriter w;
  f(w);
  return w.Take();
}

TEST(TdsCodec, LoginAckLengthGivesTheProgramNameLength) {
  // FreeTDS derives the name length from the token length, so it must be 10 + 2 x characters exactly.
  Bytes b = Encode([](ByteWriter& w) { EncodeLoginAck(kTds74, "AB", w); });
  EXPECT_EQ(b, (Bytes{0xAD, 0x0E, 0x00, 0x01, 0x74, 0x00, 0x00, 0x04, 0x02, 'A', 0, 'B', 0, 0x0F, 0x00, 0x07,
                      0xD0}));
}

TEST(TdsCodec, EveryDoneButTheLastCarriesMore) {
  Reply r;
  r.items.push_back(DoneItem{DoneKind::kDone, true, 3, false, false, false, 0});
  r.items.push_back(MessageItem{true, 208, 1, 16, "x", "", 1});
  r.items.push_back(DoneItem{DoneKind::kDone, false, 0, true, false, false, 0});
  Bytes b = Encode([&](ByteWriter& w) { EncodeReply(r, TokenContext{}, w); });
  ASSERT_EQ(b[0], 0xFD);
  EXPECT_EQ(b[1], 0x11);  // MORE | COUNT
  EXPECT_EQ(b[5], 3);     // eight-byte row count from TDS 7.2 on
  size_t last = b.size() - 13;
  EXPECT_EQ(b[last], 0xFD);
  EXPECT_EQ(b[last + 1], 0x02);  // ERROR, no MORE
}

TEST(TdsCodec, ResultSetInsideProcedureIsClosedByDoneInProcWithItsCount) {
  Reply r;
  r.items.push_back(RowsItem{ResultSet{{{"a", IntType(), false}}, {{Value(1)}, {Value(2)}}}, true});
  r.items.push_back(DoneItem{DoneKind::kDoneProc, false, 0, false, false, false, 0});
  Bytes b = Encode([&](ByteWriter& w) { EncodeReply(r, TokenContext{}, w); });
  // ... ROW ROW DONEINPROC(MORE|COUNT, 2) DONEPROC(0)
  size_t inproc = b.size() - 26;
  EXPECT_EQ(b[inproc], 0xFF);
  EXPECT_EQ(b[inproc + 1], 0x11);
  EXPECT_EQ(b[inproc + 5], 2);
  EXPECT_EQ(b[inproc + 13], 0xFE);
  EXPECT_EQ(b[inproc + 14], 0x00);
}

TEST(TdsCodec, MessageTokenLengthCoversItsFields) {
  MessageItem m{false, 5701, 2, 0, "ab", "p", 1};
  TokenContext ctx;
  ctx.server_name = "S";
  Bytes b = Encode([&](ByteWriter& w) { EncodeMessage(m, ctx, w); });
  EXPECT_EQ(b[0], 0xAB);
  size_t length = b[1] | (b[2] << 8);
  EXPECT_EQ(length, b.size() - 3);
  EXPECT_EQ(length, 4u + 1 + 1 + (2 + 4) + (1 + 2) + (1 + 2) + 4);
}

TEST(TdsCodec, TransactionEnvChangesCarryTheDescriptor) {
  Bytes d{1, 2, 3, 4, 5, 6, 7, 8};
  Bytes begin = Encode([&](ByteWriter& w) {
    EncodeEnvChange(EnvItem{EnvType::kBeginTran, "", "", d, {}}, w);
  });
  EXPECT_EQ(begin, (Bytes{0xE3, 0x0B, 0x00, 0x08, 0x08, 1, 2, 3, 4, 5, 6, 7, 8, 0x00}));
  Bytes commit = Encode([&](ByteWriter& w) {
    EncodeEnvChange(EnvItem{EnvType::kCommitTran, "", "", {}, d}, w);
  });
  EXPECT_EQ(commit, (Bytes{0xE3, 0x0B, 0x00, 0x09, 0x00, 0x08, 1, 2, 3, 4, 5, 6, 7, 8}));
}

TEST(TdsCodec, PreloginReplyCarriesTheAgreedEncryption) {
  for (uint8_t encryption : {0x00, 0x01, 0x02, 0x03}) {
    Bytes b = EncodePreloginReply(encryption);
    // Option 1 (ENCRYPTION) points at one byte: the server's answer, read back as a client reads it.
    ASSERT_EQ(b[5], 0x01);
    size_t offset = (b[6] << 8) | b[7];
    EXPECT_EQ(b[offset], encryption);
    EXPECT_EQ(b[25], 0xFF);
    EXPECT_EQ(ClientEncryption(b), encryption);
  }
  EXPECT_EQ(EncodePreloginReply(), EncodePreloginReply(kEncryptNotSup));
  EXPECT_EQ(ClientEncryption(Bytes{0xFF}), kEncryptOff);  // no ENCRYPTION option
  EXPECT_EQ(ClientEncryption(Bytes{0x01, 0x00, 0x40, 0x00, 0x01, 0xFF}), kEncryptOff);  // points past the end
}

TEST(TdsCodec, EncryptionIsAgreedAsSqlServerAgreesIt) {
  using M = EncryptionMode;
  const struct {
    uint8_t client;
    bool certificate, required;
    uint8_t answer;
    EncryptionMode mode;
  } cases[] = {
      {kEncryptNotSup, false, false, kEncryptNotSup, M::kNone},
      {kEncryptOff, false, false, kEncryptNotSup, M::kNone},
      {kEncryptOn, false, false, kEncryptNotSup, M::kNone},  // the client gives up by itself
      {kEncryptNotSup, true, false, kEncryptNotSup, M::kNone},
      {kEncryptOff, true, false, kEncryptOff, M::kLoginOnly},
      {kEncryptOn, true, false, kEncryptOn, M::kFull},
      {kEncryptReq, true, false, kEncryptOn, M::kFull},
      {kEncryptNotSup, true, true, kEncryptReq, M::kRefuse},
      {kEncryptOff, true, true, kEncryptReq, M::kFull},
      {kEncryptOn, true, true, kEncryptOn, M::kFull},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.client) + (c.certificate ? " certificate" : "") +
                 (c.required ? " required" : ""));
    EncryptionChoice choice = NegotiateEncryption(c.client, c.certificate, c.required);
    EXPECT_EQ(choice.answer, c.answer);
    EXPECT_EQ(choice.mode, c.mode);
  }
}

TEST(TdsCodec, Login7DecodesFieldsAndThePassword) {
  Login7 l = ParseLogin7(MakeLogin7(u"sa", u"Tavinor#2024é", u"Parvimar01"));
  EXPECT_EQ(l.tds_version, kTds74);
  EXPECT_EQ(l.packet_size, 8192u);
  EXPECT_EQ(l.hostname, "HOST");
  EXPECT_EQ(l.username, "sa");
  EXPECT_EQ(l.password, "Tavinor#2024\xC3\xA9");
  EXPECT_EQ(l.database, "Parvimar01");
  EXPECT_EQ(l.client_id, (Bytes{0x10, 0x11, 0x12, 0x13, 0x14, 0x15}));
  Bytes truncated = MakeLogin7(u"sa", u"x", u"db");
  truncated.resize(100);
  EXPECT_THROW(ParseLogin7(truncated), ProtocolError);
}

TEST(TdsCodec, RpcDecodesExecuteSqlByIdWithNtextAndValues) {
  ByteWriter w;
  WriteAllHeaders(w);
  w.U16(0xFFFF);
  w.U16(10);  // sp_executesql
  w.U16(0);
  auto ntext = [&](const std::string& s) {
    w.U8(0);  // no name
    w.U8(0);
    w.U8(0x63);
    w.U32(0x7FFFFFFE);
    w.Raw(kCollation);
    auto units = Utf8ToUtf16(s);
    w.U32(static_cast<uint32_t>(units.size() * 2));
    w.Utf16(s);
  };
  ntext("select @P1");
  ntext("@P1 int");
  w.U8(0);
  w.U8(0);
  w.U8(0x26);
  w.U8(4);
  w.U8(4);
  w.U32(static_cast<uint32_t>(-7));
  w.BVarChar("@out");  // an nvarchar(max) OUTPUT parameter, sent as PLP
  w.U8(1);
  w.U8(0xE7);
  w.U16(0xFFFF);
  w.Raw(kCollation);
  w.U64(4);
  w.U32(4);
  w.Utf16("ok");
  w.U32(0);
  auto calls = ParseRpc(w.Data());
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].name, "sp_executesql");
  ASSERT_EQ(calls[0].params.size(), 4u);
  EXPECT_EQ(calls[0].params[0].value.ToText(), "select @P1");
  EXPECT_EQ(calls[0].params[1].value.ToText(), "@P1 int");
  EXPECT_EQ(calls[0].params[2].value, Value(-7));
  EXPECT_EQ(calls[0].params[3].name, "@out");
  EXPECT_TRUE(calls[0].params[3].output);
  EXPECT_EQ(calls[0].params[3].type.length, -1);
  EXPECT_EQ(calls[0].params[3].value.ToText(), "ok");
}

TEST(TdsCodec, ValuesReadBackAsWritten) {
  struct Case {
    const char* type;
    Value value;
  } cases[] = {
      {"tinyint", Value(200)},
      {"smallint", Value(-2)},
      {"int", Value(-123456)},
      {"bigint", Value(int64_t{1} << 40)},
      {"bit", Value(1)},
      {"float", Value(2.5)},
      {"money", Value(Decimal{-123456789, 4})},
      {"smallmoney", Value(Decimal{12345, 4})},
      {"decimal(12,3)", Value(Decimal{-1234567, 3})},
      {"datetime", Value(DateTimeFromParts(2024, 2, 29, 23, 59, 59, 997))},
      {"smalldatetime", Value(DateTimeFromParts(2024, 2, 29, 23, 59, 0, 0))},
      {"nvarchar(20)", Value("ação")},
      {"nvarchar(max)", Value(std::string(9000, 'x'))},
      {"varchar(10)", Value("café")},
      {"varbinary(8)", Value(Bytes{0, 1, 0xFF})},
      {"varbinary(max)", Value(Bytes{})},
      {"nvarchar(10)", Value{}},
      {"int", Value{}},
      {"datetime", Value{}},
      // The first three groups travel little-endian.
      {"uniqueidentifier", Value("6F9619FF-8B86-D011-B42D-00C04FC964FF")},
      {"uniqueidentifier", Value{}},
  };
  for (const auto& c : cases) {
    SqlType type = *ParseSqlType(c.type);
    ByteWriter w;
    EncodeTypeInfo(type, w);
    EncodeValue(type, c.value, w);
    ByteReader in(w.Data());
    SqlType read_type;
    Value read_value;
    DecodeTypedValue(in, read_type, read_value);
    EXPECT_TRUE(in.AtEnd()) << c.type;
    EXPECT_EQ(read_type.DeclText(), type.DeclText()) << c.type;
    EXPECT_EQ(read_value.ToText(), c.value.ToText()) << c.type;
  }
  ByteWriter guid;
  EncodeValue(*ParseSqlType("uniqueidentifier"), Value("{6f9619ff-8b86-d011-b42d-00c04fc964ff}"), guid);
  EXPECT_EQ(guid.Data(), (Bytes{16, 0xFF, 0x19, 0x96, 0x6F, 0x86, 0x8B, 0x11, 0xD0, 0xB4, 0x2D, 0x00, 0xC0,
                                0x4F, 0xC9, 0x64, 0xFF}));

  // An INTN value longer than eight bytes ends the connection, not the server.
  const Bytes too_long = {0x26, 8, 10, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  ByteReader in(too_long);
  SqlType read_type;
  Value read_value;
  EXPECT_THROW(DecodeTypedValue(in, read_type, read_value), ProtocolError);
}

}  // namespace
}  // namespace standin
