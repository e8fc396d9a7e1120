// SPDX-License-Identifier: GPL-2.0-or-later
#include "zm_global.h"

#include "md5.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace gFunc {

bool isFileExist(const char* path)
{
    const int fd = openRegularFile(path);
    if (fd < 0)
        return false;
    close(fd);
    return true;
}

int openRegularFile(const char* path)
{
    // Non-blocking, so that opening a FIFO without a writer returns at once.
    const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return -1;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || fcntl(fd, F_SETFL, 0) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

std::string fileMd5(const char* path)
{
    return md5File(path);
}

namespace {

bool writeAll(int fd, const std::string& bytes)
{
    for (size_t done = 0; done < bytes.size();) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += size_t(n);
    }
    return true;
}

// The file a path names: with a link followed, the file the link points at.
std::string target(const std::string& path, FileKind kind)
{
    struct stat st;
    if (kind == FileKind::UserFile && lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        if (char* real = realpath(path.c_str(), nullptr)) {
            std::string resolved(real);
            free(real);
            return resolved;
        }
    }
    return path;
}

mode_t modeFor(const std::string& path, FileKind kind)
{
    struct stat st;
    if (kind == FileKind::Private)
        return 0600;
    if (stat(path.c_str(), &st) == 0)
        return st.st_mode & 07777;
    const mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

} // namespace

bool replaceFile(const std::string& path, const std::string& bytes, FileKind kind, std::string* error)
{
    // No path (no private folder could be had): nothing to write, not a file in the working folder.
    if (path.empty())
        return false;
    const std::string file = target(path, kind);
    // A FIFO, device or folder of that name is not ours to replace; a private file's link is.
    struct stat existing;
    const int found = kind == FileKind::Private ? lstat(file.c_str(), &existing) : stat(file.c_str(), &existing);
    if (found == 0 && !S_ISREG(existing.st_mode) && !S_ISLNK(existing.st_mode)) {
        if (error)
            *error = "not a regular file";
        return false;
    }
    std::string temporary = file + ".XXXXXX";
    const int fd = mkstemp(temporary.data());
    bool ok = fd >= 0 && fchmod(fd, modeFor(file, kind)) == 0 && writeAll(fd, bytes) && fsync(fd) == 0;
    if (!ok && error)
        *error = strerror(errno);
    if (fd >= 0 && close(fd) != 0 && ok) {
        if (error)
            *error = strerror(errno);
        ok = false;
    }
    if (ok && rename(temporary.c_str(), file.c_str()) != 0) {
        if (error)
            *error = strerror(errno);
        ok = false;
    }
    if (!ok && fd >= 0)
        unlink(temporary.c_str());
    return ok;
}

}  // namespace gFunc
