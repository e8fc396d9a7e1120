// SPDX-License-Identifier: GPL-2.0-or-later
#include "zm_identity.h"

#include <QHostAddress>
#include <QNetworkInterface>

#include <pwd.h>
#include <unistd.h>

#include <cstring>
#include <vector>

namespace {

constexpr size_t kNameBuffer = 256;
constexpr size_t kInfoBuffer = 128;

void copyBounded(char* buffer, size_t size, const QString& text)
{
    if (size == 0)
        return;
    const QByteArray bytes = text.toUtf8();
    const size_t n = std::min(size - 1, size_t(bytes.size()));
    memcpy(buffer, bytes.constData(), n);
    buffer[n] = '\0';
}

}  // namespace

QString localIPv4Address()
{
    const QList<QHostAddress> addresses = QNetworkInterface::allAddresses();
    for (const QHostAddress& address : addresses) {
        if (!address.isNull() && address != QHostAddress(QHostAddress::LocalHost) &&
            address.protocol() == QAbstractSocket::IPv4Protocol)
            return address.toString();
    }
    return QHostAddress(QHostAddress::LocalHost).toString();
}

bool interfaceInfoForIp(const char* ip, char* mac, size_t macSize, char* netmask, size_t netmaskSize,
                        char* broadcast, size_t broadcastSize)
{
    const QString wanted = QString::fromUtf8(ip);
    const QList<QNetworkInterface> interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface& interface : interfaces) {
        // The loopback device's all-zero address identifies no machine.
        if (interface.flags().testFlag(QNetworkInterface::IsLoopBack))
            continue;
        const QList<QNetworkAddressEntry> entries = interface.addressEntries();
        for (const QNetworkAddressEntry& entry : entries) {
            if (entry.ip().protocol() != QAbstractSocket::IPv4Protocol || entry.ip().toString() != wanted)
                continue;
            copyBounded(mac, macSize, interface.hardwareAddress());
            copyBounded(netmask, netmaskSize, entry.netmask().toString());
            copyBounded(broadcast, broadcastSize, entry.broadcast().toString());
            return true;
        }
    }
    return false;
}

std::string machineMacAddress()
{
    char mac[kInfoBuffer] = {}, netmask[kInfoBuffer] = {}, broadcast[kInfoBuffer] = {};
    if (!interfaceInfoForIp(localIPv4Address().toUtf8().constData(), mac, sizeof mac, netmask, sizeof netmask,
                            broadcast, sizeof broadcast))
        return std::string();
    return mac;
}

std::string userName()
{
    long bufferSize = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(bufferSize > 0 ? size_t(bufferSize) : 16384);
    passwd entry;
    passwd* found = nullptr;
    // Reentrant: the server worker asks for the name off the GUI thread.
    if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found)
        return std::string();
    const size_t length = strlen(found->pw_name);
    return length < kNameBuffer ? std::string(found->pw_name, length) : std::string();
}

std::string computerName()
{
    char name[kNameBuffer] = {};
    if (gethostname(name, sizeof name) != 0)
        return std::string();
    // POSIX leaves a cut-off name unterminated; treat a full buffer as too long.
    if (name[sizeof name - 1] != '\0')
        return std::string();
    return name;
}
