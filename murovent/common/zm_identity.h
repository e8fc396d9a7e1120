// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QString>

#include <cstddef>
#include <string>

// What the usage report says about this machine and its user.

// The first non-loopback IPv4 address of the machine, or "127.0.0.1" when there is none.
QString localIPv4Address();

// Finds the non-loopback interface carrying the IPv4 address ip and copies its hardware
// address ("AA:BB:CC:DD:EE:FF"), the address entry's netmask and broadcast address into the
// buffers, each cut to fit and NUL-terminated. False (buffers untouched) when none carries it.
bool interfaceInfoForIp(const char* ip, char* mac, size_t macSize, char* netmask, size_t netmaskSize,
                        char* broadcast, size_t broadcastSize);

// The MAC text of the interface holding localIPv4Address(); empty when there is none.
std::string machineMacAddress();

// Login name of the effective user; empty when unknown or longer than 255 bytes.
std::string userName();
// Host name of the machine; empty when unknown or longer than 255 bytes.
std::string computerName();
