// Access rights kept outside the program's tables: the principal company code
// from its stored procedure, and a field of a result saved to a file.
#include <string>

#include "platform/session.h"
#include "platform/text.h"
#include "util/ediv.h"

using platform::Variant;

namespace {

// The company code is declared nvarchar(4): a longer value, from a driver that
// hands back more than the parameter's size, keeps its first 4 characters, cut
// between characters and never inside one.
constexpr std::size_t kCompanyCodeChars = 4;

std::string FirstCharacters(const std::string& text, std::size_t count) {
  const std::u32string characters = platform::DecodeUtf8(text);
  if (characters.size() <= count) return text;
  return platform::EncodeUtf8(std::u32string_view(characters).substr(0, count));
}

}  // namespace

std::string EDiv::GetAcessoPrincipal(const platform::Connection& gconnconfig) const {
  platform::Command command;
  command.SetActiveConnection(gconnconfig);
  command.SetCommandText("GetAcessoPrincipal");
  command.SetCommandType(platform::CommandType::kStoredProcedure);
  command.AppendParameter(command.CreateParameter("@RETURN_VALUE", platform::DataType::kInteger,
                                                  platform::ParameterDirection::kReturnValue, 0));
  command.AppendParameter(command.CreateParameter("@Empresa", platform::DataType::kVarWChar,
                                                  platform::ParameterDirection::kOutput,
                                                  static_cast<int>(kCompanyCodeChars)));
  command.Execute(platform::kOptionUnspecified);
  const Variant company = command.Parameters("@Empresa").Value();
  if (company.IsNull()) return "";
  return FirstCharacters(company.ToString(), kCompanyCodeChars);
}

Variant EDiv::GetFileFieldValue(const std::string& Filename, const std::string& Field) const {
  platform::Recordset rst;
  rst.Open(Filename, platform::Connection(), platform::CursorType::kForwardOnly,
           platform::LockType::kReadOnly, platform::kOptionPersistedFile);
  Variant result;
  if (!(rst.Bof() && rst.Eof())) {
    for (int i = 0; i < rst.FieldCount(); ++i) {
      platform::Field field = rst.Fields(i);
      if (platform::EqualsIgnoringCase(field.Name(), Field)) {
        result = field.Value();
        break;
      }
    }
  }
  rst.Close();
  return result;
}
