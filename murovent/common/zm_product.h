// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

// The product's identity and addresses, kept in one place. The server base URL is the
// default only: tests point the server link at a local server (see the server link).
namespace ZMProduct {
inline constexpr const char* kVersion = "3.2.2";
inline constexpr const char* kName = "Murovent";
inline constexpr const char* kWebUrl = "https://www.murovent.example/";
// Where the releases are mirrored; named beside the main site when a version is retired.
inline constexpr const char* kWebUrlMirror = "https://download.murovent.example/";
inline constexpr const char* kServerBaseUrl = "http://api.murovent.example/";
}
