// UTF-8 <-> UTF-16 for the Windows backends' own calls of the wide system
// functions (names, registry paths, system texts).
#pragma once

#include <string>

namespace tarvex {
namespace platform {

std::wstring wideFromUtf8(const std::string& utf8);
std::string utf8FromWide(const wchar_t* wide, size_t length);

}  // namespace platform
}  // namespace tarvex
