#pragma once

#include <string>

namespace gFunc {
// True when the file can be opened for reading.
bool isFileExist(const char* path);
// MD5 digest text of the file's contents; empty when it cannot be read (it may vanish
// between a caller's existence check and this read).
std::string fileMd5(const char* path);
}
