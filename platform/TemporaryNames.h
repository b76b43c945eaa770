#pragma once

#include <string>

// The name of a new temporary file that replaces the file `name` (without its folder):
// ".<name>.XXXXXX.serialdebug-tmp", XXXXXX random letters and digits, at most 200 bytes of
// `name` kept so that the whole stays within the 255 bytes a file name may have.
// IsTemporaryFileName (WholeFile.h) tells such names.
std::string TemporaryNameFor(const std::string& name);
