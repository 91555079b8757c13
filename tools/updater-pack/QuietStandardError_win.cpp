#include "QuietStandardError.h"

namespace packtool {

// The Windows unpacker reads the archives itself and writes nothing of its own.
QuietStandardError::QuietStandardError() = default;
QuietStandardError::~QuietStandardError() = default;

}  // namespace packtool
