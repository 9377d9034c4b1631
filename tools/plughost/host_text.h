// Turning what a plug-in hands the host into text a terminal or a JSON document can carry.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace plughost {

// The bytes up to the first zero within capacity. Plug-ins write 8-bit text in the Windows
// Latin-1 code page; bytes 0x80..0xFF become their UTF-8 characters, control bytes become '?'.
std::string hostText(const char* buffer, std::size_t capacity);

// "VstP" for 0x56737450; a code with a byte outside printable ASCII is shown as hexadecimal.
std::string fourCharText(std::int32_t code);
// "0x56737450"
std::string hex32(std::int32_t value);

// Leading and trailing spaces removed, for table cells ("  X  " -> "X").
std::string trimmed(const std::string& text);

// The shortest decimal text that reads back as the same float ("0.2" for 0.2f).
std::string shortestFloatText(float value);

}  // namespace plughost
