// UTF-8 and UTF-16 conversions for the Win32 calls of this folder; not for
// use above it.
#pragma once

#include <string>
#include <string_view>

namespace vcq::text {

std::wstring Utf8ToWide(std::string_view text);
std::string WideToUtf8(std::wstring_view text);

// The system's message for a Win32 error code, without its line end; the
// code in words ("error N") when the system has none.
std::string SystemErrorText(unsigned long code);

}  // namespace vcq::text
