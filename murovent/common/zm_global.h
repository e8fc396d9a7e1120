// SPDX-License-Identifier: GPL-2.0-or-later
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
// How replaceFile treats the file: a private one (a cache) is readable by its owner only and a
// link at its path is replaced rather than written through; a user's own file (settings) keeps
// its permissions (a new one gets the usual ones) and a link at its path is followed, so the
// file it names is saved.
enum class FileKind { Private, UserFile };
// Replaces the file with the bytes: written to a new file beside it, flushed, then renamed over
// it, so readers see the old or the new contents, never a mix, and a crash or a full disk never
// leaves half a file. Something other than a regular file at the path is not replaced. False,
// with the system's reason in *error, when it could not be done.
bool replaceFile(const std::string& path, const std::string& bytes, FileKind kind, std::string* error = nullptr);
}
