#include "platform/Error.h"

#include "platform/FileSystem.h"

namespace platform {

std::string Error::Message(const std::string& subject) const { return SystemMessage(code_, subject); }

}  // namespace platform
