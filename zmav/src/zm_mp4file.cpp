// SPDX-License-Identifier: GPL-2.0-or-later
#include "zm_mp4file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ZM {

ZM_Mp4File::~ZM_Mp4File()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool ZM_Mp4File::fail(const char* what, int err)
{
    if (m_error.empty())
        m_error = std::string(what) + ": " + (err ? std::strerror(err) : "unexpected end of file");
    return false;
}

bool ZM_Mp4File::open(const std::string& path)
{
    m_fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (m_fd < 0)
        return fail("cannot open the file", errno);
    struct stat st {};
    if (fstat(m_fd, &st) != 0)
        return fail("cannot read the file's size", errno);
    m_size = st.st_size;
    return true;
}

bool ZM_Mp4File::read(int64_t pos, int64_t n, std::vector<uint8_t>* out)
{
    if (n < 0 || pos < 0 || pos + n > m_size)
        return fail("cannot read", 0);
    out->resize(size_t(n));
    int64_t done = 0;
    while (done < n) {
        const ssize_t got = ::pread(m_fd, out->data() + done, size_t(n - done), pos + done);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return fail("cannot read", got < 0 ? errno : 0);
        done += got;
    }
    return true;
}

bool ZM_Mp4File::readBoxHeader(int64_t pos, ZM_Mp4Box* box)
{
    const int64_t n = std::min<int64_t>(16, m_size - pos);
    std::vector<uint8_t> bytes;
    if (n < 8 || !read(pos, n, &bytes))
        return false;
    uint64_t size = be32(bytes.data());
    int header = 8;
    if (size == 1) {
        if (n < 16)
            return false;
        size = be64(bytes.data() + 8);
        header = 16;
    }
    // A box reaching past the end was torn by an interruption.
    if (size < uint64_t(header) || size > uint64_t(m_size - pos))
        return false;
    box->pos = pos;
    box->size = int64_t(size);
    box->header = header;
    box->type = be32(bytes.data() + 4);
    return true;
}

bool ZM_Mp4File::write(int64_t pos, const void* data, size_t n)
{
    const auto* bytes = static_cast<const uint8_t*>(data);
    size_t done = 0;
    while (done < n) {
        const ssize_t put = ::pwrite(m_fd, bytes + done, n - done, pos + int64_t(done));
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return fail("cannot write", put < 0 ? errno : ENOSPC);
        done += size_t(put);
    }
    if (pos + int64_t(n) > m_size)
        m_size = pos + int64_t(n);
    return true;
}

bool ZM_Mp4File::setType(int64_t boxPos, uint32_t type)
{
    uint8_t bytes[4];
    putBe32(bytes, type);
    return write(boxPos + 4, bytes, sizeof bytes);
}

bool ZM_Mp4File::truncate(int64_t size)
{
    if (::ftruncate(m_fd, size) != 0)
        return fail("cannot cut the file", errno);
    m_size = size;
    return true;
}

bool ZM_Mp4File::sync()
{
    return ::fdatasync(m_fd) == 0 || fail("cannot flush the file to the device", errno);
}

} // namespace ZM
