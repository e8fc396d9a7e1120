// SPDX-License-Identifier: GPL-2.0-or-later
#include "md5.h"
#include "zm_global.h"
#include "zm_identity.h"

#include <gtest/gtest.h>

#include <QHostAddress>
#include <QNetworkInterface>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Vector {
    const char* input;
    const char* digest;
};

// RFC 1321, appendix A.5.
const Vector kSuite[] = {
    {"", "d41d8cd98f00b204e9800998ecf8427e"},
    {"a", "0cc175b9c0f1b6a831c399e269772661"},
    {"abc", "900150983cd24fb0d6963f7d28e17f72"},
    {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
    {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
    {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
    {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
     "57edf4a22be3c955ac49da2e2107b67a"},
};

std::vector<unsigned char> pattern(size_t size)
{
    std::vector<unsigned char> bytes(size);
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<unsigned char>((i * 131 + i / 251) & 0xff);
    return bytes;
}

std::string writeTemp(const std::vector<unsigned char>& bytes)
{
    char path[] = "/tmp/mv-md5-XXXXXX";
    const int fd = mkstemp(path);
    EXPECT_GE(fd, 0);
    EXPECT_EQ(write(fd, bytes.data(), bytes.size()), ssize_t(bytes.size()));
    close(fd);
    return path;
}

}  // namespace

TEST(Md5, Rfc1321Suite)
{
    for (const Vector& v : kSuite) {
        EXPECT_EQ(md5String(v.input), v.digest) << '"' << v.input << '"';
        EXPECT_EQ(md5Data(v.input, strlen(v.input)), v.digest) << '"' << v.input << '"';
    }
}

TEST(Md5, IncrementalUpdatesAcrossBlockBoundaries)
{
    const std::vector<unsigned char> bytes = pattern(1000);
    for (size_t split : {1u, 55u, 56u, 63u, 64u, 65u, 128u, 999u}) {
        MD5 md5;
        md5.update(bytes.data(), split);
        md5.update(bytes.data() + split, bytes.size() - split);
        EXPECT_EQ(md5.finish(), md5Data(bytes.data(), bytes.size())) << split;
    }
}

TEST(Md5, FilesAroundTheChunkSize)
{
    for (size_t size : {size_t(0), size_t(10240), size_t(10241), size_t(3 * 10240 + 7)}) {
        const std::vector<unsigned char> bytes = pattern(size);
        const std::string path = writeTemp(bytes);
        EXPECT_EQ(md5File(path.c_str()), md5Data(bytes.data(), bytes.size())) << size;
        EXPECT_EQ(gFunc::fileMd5(path.c_str()), md5Data(bytes.data(), bytes.size())) << size;
        EXPECT_TRUE(gFunc::isFileExist(path.c_str()));
        unlink(path.c_str());
        EXPECT_FALSE(gFunc::isFileExist(path.c_str()));
        // Gone between the check and the read: an empty digest, which matches no record.
        EXPECT_EQ(gFunc::fileMd5(path.c_str()), "");
    }
    EXPECT_EQ(md5File("/nonexistent/dir/file"), "");
    EXPECT_FALSE(gFunc::isFileExist("/nonexistent/dir/file"));
}

TEST(Md5, OnlyRegularFilesAreHashed)
{
    // A FIFO without a writer would block the open, /dev/zero would never end.
    const std::string empty = writeTemp({});
    const std::string fifo = empty + ".fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(md5File(empty.c_str()), md5String(""));
    for (const std::string& path : {fifo, std::string("/dev/zero"), std::string("/tmp")}) {
        EXPECT_FALSE(gFunc::isFileExist(path.c_str())) << path;
        EXPECT_EQ(md5File(path.c_str()), "") << path;
        EXPECT_EQ(gFunc::fileMd5(path.c_str()), "") << path;
    }
    unlink(fifo.c_str());
    unlink(empty.c_str());
}

TEST(FileHelpers, ReplaceFileSwapsContentsAndLinks)
{
    const std::string path = writeTemp(pattern(100));
    const std::vector<unsigned char> fresh = pattern(7);
    ASSERT_TRUE(gFunc::replaceFile(path, std::string(fresh.begin(), fresh.end()), gFunc::FileKind::Private));
    EXPECT_EQ(md5File(path.c_str()), md5Data(fresh.data(), fresh.size()));

    // A link at the path is replaced; its target keeps its contents.
    const std::string target = writeTemp(pattern(50));
    const std::string before = md5File(target.c_str());
    unlink(path.c_str());
    ASSERT_EQ(symlink(target.c_str(), path.c_str()), 0);
    ASSERT_TRUE(gFunc::replaceFile(path, "new", gFunc::FileKind::Private));
    EXPECT_EQ(md5File(target.c_str()), before);
    EXPECT_EQ(md5File(path.c_str()), md5String("new"));
    struct stat info;
    ASSERT_EQ(lstat(path.c_str(), &info), 0);
    EXPECT_TRUE(S_ISREG(info.st_mode));
    unlink(path.c_str());
    unlink(target.c_str());

    std::string error;
    EXPECT_FALSE(gFunc::replaceFile("/nonexistent/dir/file", "x", gFunc::FileKind::Private, &error));
    EXPECT_EQ(error, "No such file or directory");
}

TEST(Identity, NamesOfUserAndMachine)
{
    const passwd* entry = getpwuid(geteuid());
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(userName(), entry->pw_name);
    char host[256] = {};
    ASSERT_EQ(gethostname(host, sizeof host - 1), 0);
    EXPECT_EQ(computerName(), host);
    EXPECT_FALSE(computerName().empty());
}

TEST(Identity, LocalAddressAndItsInterface)
{
    const QString ip = localIPv4Address();
    const QHostAddress address(ip);
    ASSERT_EQ(address.protocol(), QAbstractSocket::IPv4Protocol) << ip.toStdString();

    char mac[128], mask[128], broadcast[128];
    // The loopback device identifies no machine.
    EXPECT_FALSE(interfaceInfoForIp("127.0.0.1", mac, sizeof mac, mask, sizeof mask, broadcast, sizeof broadcast));
    EXPECT_FALSE(interfaceInfoForIp("203.0.113.77", mac, sizeof mac, mask, sizeof mask, broadcast, sizeof broadcast));
    if (address.isLoopback()) {
        EXPECT_EQ(machineMacAddress(), "");
        GTEST_SKIP() << "no non-loopback IPv4 address on this machine";
    }

    const QByteArray ipText = ip.toUtf8();
    ASSERT_TRUE(interfaceInfoForIp(ipText.constData(), mac, sizeof mac, mask, sizeof mask, broadcast, sizeof broadcast));
    EXPECT_EQ(machineMacAddress(), mac);
    EXPECT_EQ(QHostAddress(QString::fromUtf8(mask)).protocol(), QAbstractSocket::IPv4Protocol) << mask;

    // Small buffers get a cut-off, terminated copy and nothing beyond them is touched.
    char small[8];
    memset(small, 'x', sizeof small);
    ASSERT_TRUE(interfaceInfoForIp(ipText.constData(), small, 4, mask, 3, broadcast, 1));
    EXPECT_STREQ(small, std::string(mac).substr(0, 3).c_str());
    EXPECT_EQ(small[4], 'x');
    EXPECT_EQ(strlen(mask), 2u);
    EXPECT_STREQ(broadcast, "");
}
