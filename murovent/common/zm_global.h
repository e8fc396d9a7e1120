// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <cstddef>
#include <string>

namespace gFunc {
// True when the file can be opened for reading.
bool isFileExist(const char* path);
// MD5 digest text of the file's contents; empty when it cannot be read (it may vanish
// between a caller's existence check and this read).
std::string fileMd5(const char* path);
// Replaces the file with the bytes: written to a new file beside it, then renamed over it, so
// readers see the old or the new contents, never a mix, and a link at the path is replaced
// rather than written through. The new file is readable by its owner only.
bool replaceFile(const std::string& path, const char* bytes, size_t length);
}
