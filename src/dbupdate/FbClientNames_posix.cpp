#include "dbupdate/FbClient.h"

namespace dbupdate {

const char* const kFbClientLibrary = "libfbclient.so.2";
const char* const kFallbackFbClientLibrary = "libfbclient.so";

}  // namespace dbupdate
