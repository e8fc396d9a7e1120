// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Text encodings of markup files: names, detection and conversion (through iconv).
namespace MarkupEncoding {

// Whether the name stands for UTF-8 ("UTF-8", "utf8", ...).
bool isUtf8(std::string_view name);

// Whether the bytes are well-formed UTF-8 (no overlong forms, no surrogates).
bool isValidUtf8(std::string_view bytes);

// Whether bytes declared to be in a legacy code page are really UTF-8, as editors that save
// UTF-8 without touching the declaration leave them. They are when they are valid UTF-8 with
// non-ASCII characters that the declared code page cannot read, or reads improbably: in a
// single-byte code page every UTF-8 sequence turns into a letter followed by symbols or
// control characters; in a multi-byte one, real text lines up as valid UTF-8 by chance only
// in short runs, so several sequences are taken as proof.
bool isMisdeclaredUtf8(std::string_view bytes, const std::string& declared);

// The encoding named by the markup's own declaration in its first bytes: the XML
// declaration's encoding, else an HTML meta charset. Empty when none is declared.
std::string declaredEncoding(std::string_view head);

// The code page that undeclared, non-UTF-8 text is taken to be in: the codeset of the
// user's locale. A UTF-8 or plain ASCII locale gives no such code page, so then GBK stands in,
// the legacy code page that files with this program's Chinese texts were written in.
std::string defaultCodePage();

// Converts between two encodings. Characters that cannot be converted are replaced (U+FFFD
// in UTF-8, "?" otherwise) and counted in lost. False when iconv knows neither name.
bool convert(std::string_view in, const std::string& from, const std::string& to,
             std::string& out, std::size_t& lost);

} // namespace MarkupEncoding
