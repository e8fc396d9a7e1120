#pragma once

#include <cstddef>
#include <string>

namespace gFunc {
// True when the path names a regular file that can be opened for reading. A device, a FIFO
// or a folder is no file of ours: reading it could block or never end.
bool isFileExist(const char* path);
// Opens a regular file for reading, without ever blocking on a FIFO or a device; -1 for
// anything else. The caller closes the descriptor.
int openRegularFile(const char* path);
// MD5 digest text of the regular file's contents; empty when it cannot be read (it may vanish
// between a caller's existence check and this read, or be something other than a file).
std::string fileMd5(const char* path);
// Replaces the file with the bytes: written to a new file beside it, then renamed over it, so
// readers see the old or the new contents, never a mix, and a link at the path is replaced
// rather than written through. The new file is readable by its owner only.
bool replaceFile(const std::string& path, const char* bytes, size_t length);
}
