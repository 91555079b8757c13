#pragma once
// The engine's parameter blocks (a service's request, a query's send
// items): items of a one-byte tag and a value, whose numbers are little
// endian whatever the machine.

#include <cstdint>
#include <string>

namespace dbupdate {

// Appends the lowest bytes of value, least significant first.
void AppendLittleEndian(std::string& block, std::uint32_t value, int bytes);

// Reads a number of bytes bytes written least significant first, without
// sign (the client's vax_integer takes the last byte's sign: lengths above
// 32 KB would come out negative).
std::uint32_t ReadLittleEndian(const char* bytes, int count);

// A text item: the tag, a 2-byte length and the bytes (a longer value is
// cut at 65535 bytes).
void AddString(std::string& block, char tag, const std::string& value);

// A number item of a service request: the tag and 4 bytes.
void AddNumber(std::string& block, char tag, std::uint32_t value);

// A number item of a query's send block: the tag, a 2-byte length (4) and
// 4 bytes.
void AddSizedNumber(std::string& block, char tag, std::uint32_t value);

}  // namespace dbupdate
