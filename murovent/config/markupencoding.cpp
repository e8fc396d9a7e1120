// SPDX-License-Identifier: GPL-2.0-or-later
#include "markupencoding.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <clocale>
#include <iconv.h>
#include <langinfo.h>
#include <utility>
#include <vector>

namespace MarkupEncoding {

namespace {

std::string lower(std::string_view s)
{
    std::string r(s);
    for (char& c : r)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return r;
}

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

using Attributes = std::vector<std::pair<std::string, std::string>>;

// The attributes of one tag's inside (after its name), names in lower case. Tolerates
// unquoted values, since HTML allows them.
Attributes parseAttributes(std::string_view tag)
{
    Attributes attrs;
    std::size_t i = 0;
    const std::size_t n = tag.size();
    while (i < n) {
        while (i < n && (isSpace(tag[i]) || tag[i] == '/' || tag[i] == '?'))
            ++i;
        std::size_t nameStart = i;
        while (i < n && !isSpace(tag[i]) && tag[i] != '=' && tag[i] != '/' && tag[i] != '?')
            ++i;
        std::string name = lower(tag.substr(nameStart, i - nameStart));
        while (i < n && isSpace(tag[i]))
            ++i;
        std::string value;
        if (i < n && tag[i] == '=') {
            ++i;
            while (i < n && isSpace(tag[i]))
                ++i;
            if (i < n && (tag[i] == '"' || tag[i] == '\'')) {
                char quote = tag[i++];
                std::size_t end = tag.find(quote, i);
                if (end == std::string_view::npos)
                    end = n;
                value = std::string(tag.substr(i, end - i));
                i = end + 1;
            } else {
                std::size_t valueStart = i;
                while (i < n && !isSpace(tag[i]))
                    ++i;
                value = std::string(tag.substr(valueStart, i - valueStart));
            }
        }
        if (!name.empty())
            attrs.emplace_back(std::move(name), std::move(value));
        else if (i == nameStart)
            ++i;
    }
    return attrs;
}

std::string attribute(const Attributes& attrs, const char* name)
{
    for (const auto& a : attrs)
        if (a.first == name)
            return a.second;
    return {};
}

std::string trimmed(std::string_view s)
{
    std::size_t b = 0, e = s.size();
    while (b < e && isSpace(s[b]))
        ++b;
    while (e > b && isSpace(s[e - 1]))
        --e;
    return std::string(s.substr(b, e - b));
}

std::string xmlDeclaredEncoding(std::string_view head)
{
    std::size_t i = 0;
    while (i < head.size() && isSpace(head[i]))
        ++i;
    if (head.substr(i, 5) != "<?xml" || i + 5 >= head.size() || !isSpace(head[i + 5]))
        return {};
    std::size_t end = head.find("?>", i);
    if (end == std::string_view::npos)
        return {};
    return trimmed(attribute(parseAttributes(head.substr(i + 5, end - i - 5)), "encoding"));
}

std::string charsetOfContentType(const std::string& content)
{
    std::string low = lower(content);
    std::size_t at = low.find("charset=");
    if (at == std::string::npos)
        return {};
    std::size_t b = at + 8, e = b;
    while (e < content.size() && content[e] != ';' && !isSpace(content[e]) && content[e] != '"'
           && content[e] != '\'')
        ++e;
    return content.substr(b, e - b);
}

std::string htmlDeclaredEncoding(std::string_view head)
{
    const std::string low = lower(head);
    for (std::size_t at = low.find("<meta"); at != std::string::npos; at = low.find("<meta", at + 5)) {
        std::size_t end = low.find('>', at);
        if (end == std::string::npos)
            break;
        Attributes attrs = parseAttributes(head.substr(at + 5, end - at - 5));
        std::string charset = trimmed(attribute(attrs, "charset"));
        if (!charset.empty())
            return charset;
        if (lower(attribute(attrs, "http-equiv")) == "content-type") {
            charset = charsetOfContentType(attribute(attrs, "content"));
            if (!charset.empty())
                return charset;
        }
    }
    return {};
}

// Names that iconv knows under another name or that the platform reads as a superset.
std::string iconvName(const std::string& name)
{
    static const std::pair<const char*, const char*> kAliases[] = {
        {"gb2312", "GBK"},     {"gb_2312-80", "GBK"},  {"x-gbk", "GBK"},
        {"cp936", "GBK"},      {"ks_c_5601-1987", "CP949"}, {"x-sjis", "SHIFT_JIS"},
    };
    const std::string low = lower(name);
    for (const auto& alias : kAliases)
        if (low == alias.first)
            return alias.second;
    return name;
}

} // namespace

bool isUtf8(std::string_view name)
{
    const std::string low = lower(name);
    return low == "utf-8" || low == "utf8";
}

bool isValidUtf8(std::string_view bytes)
{
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const auto* end = p + bytes.size();
    while (p < end) {
        unsigned char c = *p;
        if (c < 0x80) {
            ++p;
            continue;
        }
        int extra;
        unsigned char lo = 0x80, hi = 0xBF;
        if (c >= 0xC2 && c <= 0xDF) {
            extra = 1;
        } else if (c >= 0xE0 && c <= 0xEF) {
            extra = 2;
            if (c == 0xE0)
                lo = 0xA0;
            else if (c == 0xED)
                hi = 0x9F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            extra = 3;
            if (c == 0xF0)
                lo = 0x90;
            else if (c == 0xF4)
                hi = 0x8F;
        } else {
            return false;
        }
        if (end - p <= extra)
            return false;
        if (p[1] < lo || p[1] > hi)
            return false;
        for (int k = 2; k <= extra; ++k)
            if (p[k] < 0x80 || p[k] > 0xBF)
                return false;
        p += extra + 1;
    }
    return true;
}

bool isMisdeclaredUtf8(std::string_view bytes, const std::string& declared)
{
    // Genuine text of a double-byte code page is valid UTF-8 for one character in five or so,
    // and for three in a row about once in a hundred.
    constexpr std::size_t kMultiByteEvidence = 3;
    if (!isValidUtf8(bytes))
        return false;
    std::size_t sequences = 0;
    for (char c : bytes)
        sequences += static_cast<unsigned char>(c) >= 0xC0;
    if (sequences == 0)
        return false;  // plain ASCII reads the same either way
    std::string decoded;
    std::size_t lost = 0;
    if (!convert(bytes, declared, "UTF-8", decoded, lost))
        return false;  // an unknown name is dealt with by the caller
    std::size_t decodedCharacters = 0;
    for (char c : decoded)
        decodedCharacters += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    const bool singleByte = decodedCharacters == bytes.size();
    return lost > 0 || singleByte || sequences >= kMultiByteEvidence;
}

std::string declaredEncoding(std::string_view head)
{
    std::string encoding = xmlDeclaredEncoding(head);
    if (encoding.empty())
        encoding = htmlDeclaredEncoding(head);
    return encoding;
}

std::string defaultCodePage()
{
    std::string codeset;
    if (locale_t loc = newlocale(LC_CTYPE_MASK, "", locale_t(nullptr))) {
        codeset = nl_langinfo_l(CODESET, loc);
        freelocale(loc);
    }
    const std::string low = lower(codeset);
    if (codeset.empty() || isUtf8(codeset) || low == "ansi_x3.4-1968" || low == "ascii")
        return "GBK";
    return codeset;
}

bool convert(std::string_view in, const std::string& from, const std::string& to, std::string& out,
             std::size_t& lost)
{
    iconv_t cd = iconv_open(iconvName(to).c_str(), iconvName(from).c_str());
    if (cd == iconv_t(-1))
        return false;
    const bool fromUtf16 = lower(from).rfind("utf-16", 0) == 0;
    const std::string replacement = isUtf8(to) ? "\xEF\xBF\xBD" : "?";
    out.clear();
    lost = 0;
    char* src = const_cast<char*>(in.data());
    std::size_t srcLeft = in.size();
    std::vector<char> buffer(in.size() * 2 + 64);
    while (srcLeft > 0) {
        char* dst = buffer.data();
        std::size_t dstLeft = buffer.size();
        std::size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        const int error = errno;
        out.append(buffer.data(), buffer.size() - dstLeft);
        if (r != std::size_t(-1)) {
            lost += r;  // irreversible conversions
            continue;
        }
        if (error == E2BIG)
            continue;
        // An unconvertible or truncated character: replace it and go on after it.
        out += replacement;
        ++lost;
        if (error == EINVAL)
            break;
        std::size_t skip = std::min<std::size_t>(fromUtf16 ? 2 : 1, srcLeft);
        src += skip;
        srcLeft -= skip;
    }
    // Stateful encodings end with a shift back to their initial state.
    char* dst = buffer.data();
    std::size_t dstLeft = buffer.size();
    iconv(cd, nullptr, nullptr, &dst, &dstLeft);
    out.append(buffer.data(), buffer.size() - dstLeft);
    iconv_close(cd);
    return true;
}

} // namespace MarkupEncoding
