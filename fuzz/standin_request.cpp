// The stand-in's request reader: the first byte is the TDS packet type, the rest
// the message. A malformed message may only raise an exception, which the session
// turns into the end of that one connection; a crash, a hang or undefined
// behaviour would take the whole test server down. A batch's text goes on to the
// lexer. (PRELOGIN's body is not read: the stand-in answers it unseen.)
#include <cstdint>
#include <exception>
#include <string>

#include "engine/sql_lexer.h"
#include "wire/tds_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const standin::Bytes payload(data + 1, data + size);
  try {
    switch (data[0] % 4) {
      case 0:
        (void)standin::ParseLogin7(payload);
        break;
      case 1:
        standin::SplitStatements(standin::Lex(standin::ParseBatchText(payload)).tokens);
        break;
      case 2:
        for (const standin::RpcRequest& call : standin::ParseRpc(payload))
          (void)standin::ProcNameForId(call.proc_id);
        break;
      default:
        (void)standin::ParseTransactionRequest(payload);
        break;
    }
  } catch (const std::exception&) {
    // The session ends this connection only.
  }
  return 0;
}
