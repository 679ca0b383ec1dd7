#include "platform/main_mod.h"

std::int32_t gErrCode = 0;
std::string gErrDescription;
std::string gServer;
std::string gUID;
std::string gPwd;
bool gIntegratedSecurity = false;
bool gIsSysAdmin = false;
std::int16_t gAlertIndex = 0;
