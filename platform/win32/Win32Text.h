#pragma once

#include <string>
#include <string_view>

// The program keeps paths and names as UTF-8; the system takes and gives them as UTF-16.
std::wstring WideFromUtf8(std::string_view utf8);
std::string Utf8FromWide(std::wstring_view wide);

// The errno value nearest to a system error code (GetLastError, WSAGetLastError); EIO for
// codes without a nearer one.
int ErrnoFromSystemError(unsigned long error);
// Sets errno from GetLastError and returns it.
int ErrnoFromLastError();
