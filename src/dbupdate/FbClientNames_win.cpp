#include "dbupdate/FbClient.h"

namespace dbupdate {

const char* const kFbClientLibrary = "fbclient.dll";
const char* const kFallbackFbClientLibrary = "gds32.dll";

}  // namespace dbupdate
