#pragma once

#include <json/value.h>

#include <cstddef>

// Parses JSON that comes from outside the program: the product server's replies and the cache
// file kept from them. Both are bounded, so a hostile text can neither exhaust the stack with
// deep nesting nor the memory with sheer size, and no parser exception escapes. Any thread.
class UntrustedJson
{
public:
    // The deepest nesting a reply may have, counting every value from the outermost down to
    // the innermost (the replies we read have two or three).
    static constexpr int kReplyDepth = 16;
    // The cache file holds the replies one level down.
    static constexpr int kCacheDepth = kReplyDepth + 1;
    // Larger than any reply the network layer lets through, and than a cache of three of them.
    static constexpr std::size_t kMaxBytes = 64 * 1024 * 1024;

    // True, with the value in out, when the text is JSON within the limits; false (out
    // untouched) when it is not, is too large or too deep.
    static bool parse(const char* begin, const char* end, int maxDepth, Json::Value& out);
};
