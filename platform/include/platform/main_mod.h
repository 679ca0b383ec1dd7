// The program-wide variables, declared once for the whole program.
#pragma once

#include <cstdint>
#include <string>

// Error number and text handed back by CSql operations.
extern std::int32_t gErrCode;
extern std::string gErrDescription;
// Server, login and password for the CSql operations that open a connection of
// their own. Nothing in the conversion program assigns them.
extern std::string gServer;
extern std::string gUID;
extern std::string gPwd;
// With TipoAut 0, chooses integrated security for those connections.
extern bool gIntegratedSecurity;
// The sysadmin answer while integrated security is chosen.
extern bool gIsSysAdmin;
// The choice the alert list dialog hands back.
extern std::int16_t gAlertIndex;
