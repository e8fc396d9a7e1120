// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <string_view>

// The code point a named character reference stands for ("amp" gives U+0026), or 0 when the
// name is not one of the references markup text may use.
char32_t lookupNamedEntity(std::string_view name);
