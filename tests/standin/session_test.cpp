// A session driven over a socket pair with hand-made client packets: the login exchange, replies in packets
// of the negotiated size, requests split over several packets, ATTENTION, and malformed input.
#include "wire/session.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>

#include "catalog/scenario.h"
#include "tds_test_util.h"

namespace standin {
namespace {

using test_support::MakeBatch;
using test_support::MakeLogin7;
using test_support::WriteAllHeaders;

struct Message {
  uint8_t type = 0;
  Bytes payload;
  std::vector<size_t> packet_sizes;
  uint16_t spid = 0;
  bool closed = false;
};

class Client {
 public:
  explicit Client(ServerState& state) {
    int fds[2];
    socketpair(AF_UNIX, SOCK_STREAM, 0, fds);
    fd_ = fds[0];
    server_fd_ = fds[1];
    thread_ = std::thread([&state, fd = server_fd_] { Session(state, fd, "test").Run(); });
  }
  ~Client() {
    ::shutdown(fd_, SHUT_RDWR);
    thread_.join();
    close(fd_);
    close(server_fd_);
  }

  // Sends `payload` as one message of `type`, split into packets of at most `chunk` payload bytes.
  void Send(uint8_t type, const Bytes& payload, size_t chunk = 4000) {
    size_t pos = 0;
    do {
      size_t n = std::min(chunk, payload.size() - pos);
      bool last = pos + n == payload.size();
      Bytes packet = {type,
                      static_cast<uint8_t>(last ? 1 : 0),
                      static_cast<uint8_t>((n + 8) >> 8),
                      static_cast<uint8_t>((n + 8) & 0xFF),
                      0,
                      0,
                      1,
                      0};
      packet.insert(packet.end(), payload.begin() + static_cast<long>(pos),
                    payload.begin() + static_cast<long>(pos + n));
      ASSERT_EQ(write(fd_, packet.data(), packet.size()), static_cast<ssize_t>(packet.size()));
      pos += n;
    } while (pos < payload.size());
  }

  Message Read() {
    Message m;
    while (true) {
      uint8_t header[8];
      if (!ReadExact(header, 8)) {
        m.closed = true;
        return m;
      }
      size_t length = (header[2] << 8) | header[3];
      m.type = header[0];
      m.spid = static_cast<uint16_t>((header[4] << 8) | header[5]);
      m.packet_sizes.push_back(length);
      size_t start = m.payload.size();
      m.payload.resize(start + length - 8);
      if (!ReadExact(m.payload.data() + start, length - 8)) {
        m.closed = true;
        return m;
      }
      if (header[1] & 1) return m;
    }
  }

  Message Login(uint32_t version = kTds74, uint32_t packet_size = 4096,
                const std::u16string& password = u"pw", const std::u16string& language = u"") {
    Send(kPacketPrelogin, Bytes{0xFF});
    Message prelogin = Read();
    EXPECT_EQ(prelogin.type, kPacketReply);
    Send(kPacketLogin7, MakeLogin7(u"sa", password, u"Parvimar01", version, packet_size, language));
    return Read();
  }

 private:
  bool ReadExact(uint8_t* buf, size_t n) {
    size_t got = 0;
    while (got < n) {
      ssize_t r = read(fd_, buf + got, n - got);
      if (r <= 0) return false;
      got += static_cast<size_t>(r);
    }
    return true;
  }
  int fd_ = -1;
  int server_fd_ = -1;
  std::thread thread_;
};

ServerState MakeState() {
  nlohmann::json j = {{"logins", {{{"name", "sa"}, {"password", "pw"}}}}, {"fleet", {{"count", 40}}}};
  j["databases"] = {{{"name", "Parvimar01"}}};
  return ServerState(LoadScenario(j).catalog);
}

bool Contains(const Bytes& haystack, const Bytes& needle) {
  return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end()) != haystack.end();
}

// The last DONE token of a reply: status and row count.
std::pair<uint16_t, uint64_t> LastDone(const Bytes& payload) {
  size_t at = payload.size() - 13;
  EXPECT_EQ(payload[at], 0xFD);
  ByteReader r(payload.data() + at + 1, 12);
  uint16_t status = r.U16();
  r.U16();
  return {status, r.U64()};
}

TEST(Session, LogsInAnswersABatchAndAcknowledgesAttention) {
  ServerState state = MakeState();
  Client client(state);
  Message login = client.Login(kTds73B);
  ASSERT_FALSE(login.closed);
  EXPECT_EQ(login.payload[0], 0xE3);  // ENVCHANGE database first
  // LOGINACK answers with the client's version when it is 7.2 to 7.4.
  EXPECT_TRUE(Contains(login.payload, Bytes{0xAD, 0x32, 0x00, 0x01, 0x73, 0x0B, 0x00, 0x03}));
  EXPECT_EQ(LastDone(login.payload).first, 0x0000);
  EXPECT_NE(login.spid, 0);  // the client takes its SPID from this header

  client.Send(kPacketBatch, MakeBatch("select db_name()"));
  Message reply = client.Read();
  EXPECT_EQ(reply.payload[0], 0x81);
  EXPECT_EQ(LastDone(reply.payload), (std::pair<uint16_t, uint64_t>{0x10, 1}));

  // ATTENTION after the reply is complete still gets its DONE(ATTN).
  client.Send(kPacketAttention, Bytes{});
  Message ack = client.Read();
  ASSERT_EQ(ack.payload.size(), 13u);
  EXPECT_EQ(LastDone(ack.payload).first, 0x20);
}

TEST(Session, TheLoginPacketsLanguageOrElseTheLoginsDefaultSetsTheSessionLanguage) {
  struct Case {
    std::u16string packet;
    const char* session;
  } cases[] = {
      {u"", "Português"},  // an empty field means the login's default language
      {u"us_english", "us_english"},
      {u"British", "British"},
  };
  for (const auto& c : cases) {
    nlohmann::json j = {
        {"logins", {{{"name", "sa"}, {"password", "pw"}, {"default_language", "Portuguese"}}}},
        {"databases", {{{"name", "Parvimar01"}}}}};
    ServerState state(LoadScenario(j).catalog);
    Client client(state);
    Message login = client.Login(kTds74, 4096, u"pw", c.packet);
    ASSERT_FALSE(login.closed);
    ByteWriter expected;
    expected.Utf16(std::string("Changed language setting to ") + c.session + ".");
    EXPECT_TRUE(Contains(login.payload, expected.Data())) << c.session;
    client.Send(kPacketBatch, MakeBatch("select @@language"));
    ByteWriter name;
    name.Utf16(c.session);
    EXPECT_TRUE(Contains(client.Read().payload, name.Data())) << c.session;
  }
}

TEST(Session, RefusesOldProtocolsAndWrongPasswords) {
  struct Case {
    uint32_t version;
    std::u16string password;
  } cases[] = {{0x71000001, u"pw"}, {kTds74, u"errada"}};
  for (const auto& c : cases) {
    ServerState state = MakeState();
    Client client(state);
    Message reply = client.Login(c.version, 4096, c.password);
    EXPECT_EQ(reply.payload[0], 0xAA);  // ERROR
    ByteReader r(reply.payload.data() + 3, reply.payload.size() - 3);
    EXPECT_EQ(r.U32(), 18456u);
    EXPECT_EQ(LastDone(reply.payload).first, 0x02);
    EXPECT_TRUE(client.Read().closed);  // the server ends the connection
  }
}

TEST(Session, SplitsRepliesIntoPacketsOfTheNegotiatedSizeAndJoinsSplitRequests) {
  ServerState state = MakeState();
  Client client(state);
  Message login = client.Login(kTds74, 512);
  EXPECT_TRUE(Contains(login.payload, Bytes{0xE3, 0x0F, 0x00, 0x04, 0x03, '5', 0, '1', 0, '2', 0}));
  // A batch sent in 50-byte packets; the answer lists 45 databases and needs many 512-byte packets.
  client.Send(kPacketBatch, MakeBatch("select name, dbid, filename from sysdatabases order by name desc"),
              50);
  Message reply = client.Read();
  ASSERT_FALSE(reply.closed);
  EXPECT_GT(reply.packet_sizes.size(), 2u);
  for (size_t size : reply.packet_sizes) EXPECT_LE(size, 512u);
  EXPECT_EQ(LastDone(reply.payload), (std::pair<uint16_t, uint64_t>{0x10, 45}));
}

TEST(Session, MalformedRequestsEndTheConnectionAndLeaveTheServerServing) {
  ServerState state = MakeState();
  {
    Client client(state);
    Bytes login = MakeLogin7(u"sa", u"pw", u"Parvimar01");
    login.resize(60);  // field offsets now point past the end
    client.Send(kPacketPrelogin, Bytes{0xFF});
    client.Read();
    client.Send(kPacketLogin7, login);
    EXPECT_TRUE(client.Read().closed);
  }
  {
    Client client(state);
    ASSERT_FALSE(client.Login().closed);
    client.Send(kPacketRpc,
                Bytes{0x16, 0, 0, 0, 0x12, 0, 0, 0, 2, 0});  // ALL_HEADERS longer than the message
    EXPECT_TRUE(client.Read().closed);
  }
  std::lock_guard lock(state.mu);
  EXPECT_TRUE(state.sessions.empty());
}

// An RPC to sp_executesql with @P1 as the value `type_code` declares: varbinary(max) in PLP chunks of at most
// `plp_chunk` bytes, or image with a four-byte length.
Bytes MakeBinaryRpc(const std::string& statement, const std::string& declaration, uint8_t type_code,
                    const Bytes& value, size_t plp_chunk = 8000) {
  ByteWriter w;
  WriteAllHeaders(w);
  w.U16(0xFFFF);
  w.U16(10);  // sp_executesql
  w.U16(0);
  for (const std::string* text : {&statement, &declaration}) {
    w.U8(0);
    w.U8(0);
    w.U8(0xE7);  // nvarchar(max)
    w.U16(0xFFFF);
    w.Raw(kCollation);
    ByteWriter units;
    units.Utf16(*text);
    w.U64(units.Size());
    w.U32(static_cast<uint32_t>(units.Size()));
    w.Raw(units.Data());
    w.U32(0);
  }
  w.BVarChar("@P1");
  w.U8(0);
  w.U8(type_code);
  if (type_code == 0x22) {  // image
    w.U32(0x7FFFFFFF);
    w.U32(static_cast<uint32_t>(value.size()));
    w.Raw(value);
    return w.Take();
  }
  w.U16(0xFFFF);
  w.U64(value.size());
  for (size_t at = 0; at < value.size(); at += plp_chunk) {
    const size_t n = std::min(plp_chunk, value.size() - at);
    w.U32(static_cast<uint32_t>(n));
    w.Raw(value.data() + at, n);
  }
  w.U32(0);
  return w.Take();
}

// Long binary parameters arrive over many packets, as FreeTDS sends a picture: a varbinary(max) value in PLP
// chunks, one chunk longer than a packet, and an image value; each is stored whole, byte for byte.
TEST(Session, LongBinaryParametersSpanningPacketsAreStoredWhole) {
  ServerState state = MakeState();
  Client client(state);
  ASSERT_FALSE(client.Login().closed);
  client.Send(kPacketBatch, MakeBatch("create table Fotos (Codigo int not null, Foto varbinary(max) null)"));
  ASSERT_FALSE(client.Read().closed);
  struct Case {
    size_t size;
    uint8_t type_code;
    size_t plp_chunk;
  } cases[] = {{65535, 0xA5, 8000}, {65536, 0xA5, 8000}, {70000, 0xA5, 8000}, {70000, 0xA5, 70000},
               {65535, 0x22, 0},    {65536, 0x22, 0},    {70000, 0x22, 0},    {1 << 20, 0xA5, 4088}};
  int codigo = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.size) + " bytes, type " + std::to_string(c.type_code));
    Bytes value(c.size);
    for (size_t i = 0; i < value.size(); ++i) value[i] = static_cast<uint8_t>(i * 167 + i / 256);
    ++codigo;
    client.Send(kPacketRpc,
                MakeBinaryRpc("insert into Fotos (Codigo, Foto) values (" + std::to_string(codigo) + ", @P1)",
                              c.type_code == 0x22 ? "@P1 image" : "@P1 varbinary(max)", c.type_code, value,
                              c.plp_chunk),
                4088);
    Message reply = client.Read();
    ASSERT_FALSE(reply.closed);
    ASSERT_GE(reply.payload.size(), 13u);
    EXPECT_EQ(reply.payload[reply.payload.size() - 13], 0xFE);      // DONEPROC
    EXPECT_EQ(reply.payload[reply.payload.size() - 12] & 0x02, 0);  // no error
    std::lock_guard lock(state.mu);
    const TableDef* table = state.catalog.FindDatabase("Parvimar01")->FindTable("Fotos");
    ASSERT_EQ(table->rows.size(), static_cast<size_t>(codigo));
    ASSERT_TRUE(std::holds_alternative<Bytes>(table->rows.back()[1].v));
    EXPECT_TRUE(std::get<Bytes>(table->rows.back()[1].v) == value);
  }
}

// A PLP chunk that claims more than the message holds ends that connection only; the next client is served.
TEST(Session, APlpChunkLongerThanItsMessageEndsOnlyItsConnection) {
  ServerState state = MakeState();
  {
    Client client(state);
    ASSERT_FALSE(client.Login().closed);
    Bytes request = MakeBinaryRpc("select 1", "@P1 varbinary(max)", 0xA5, Bytes(70000, 7), 70000);
    request.resize(request.size() - 5000);
    client.Send(kPacketRpc, request);
    EXPECT_TRUE(client.Read().closed);
  }
  Client client(state);
  ASSERT_FALSE(client.Login().closed);
  client.Send(kPacketBatch, MakeBatch("select db_name()"));
  EXPECT_EQ(LastDone(client.Read().payload), (std::pair<uint16_t, uint64_t>{0x10, 1}));
}

}  // namespace
}  // namespace standin
