// SPDX-License-Identifier: GPL-2.0-or-later
#include "markupdocument.h"

#include "markupencoding.h"
#include "markupentities.h"

#include <common/zm_global.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::size_t npos = std::string::npos;
constexpr std::size_t kHeadLength = 1024;  // where an encoding declaration is looked for
// Far beyond any settings file; a larger one is not read into memory at all.
constexpr std::size_t kLargestFile = std::size_t(64) << 20;

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool isNameStart(char c)
{
    auto u = static_cast<unsigned char>(c);
    return u >= 0x80 || std::isalpha(u) || c == '_' || c == ':';
}

bool isNameChar(char c)
{
    auto u = static_cast<unsigned char>(c);
    return isNameStart(c) || std::isdigit(u) || c == '-' || c == '.';
}

std::size_t nameLength(std::string_view s, std::size_t at)
{
    std::size_t i = at;
    if (i < s.size() && isNameStart(s[i]))
        while (i < s.size() && isNameChar(s[i]))
            ++i;
    return i - at;
}

bool isValidName(std::string_view name)
{
    return !name.empty() && nameLength(name, 0) == name.size();
}

void appendUtf8(std::string& out, char32_t cp)
{
    if (cp < 0x80) {
        out += char(cp);
    } else if (cp < 0x800) {
        out += char(0xC0 | (cp >> 6));
        out += char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += char(0xE0 | (cp >> 12));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    } else {
        out += char(0xF0 | (cp >> 18));
        out += char(0x80 | ((cp >> 12) & 0x3F));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    }
}

// The character a reference (the part between "&" and ";") stands for, 0 for none.
char32_t referenceValue(std::string_view ref)
{
    if (ref.empty())
        return 0;
    if (ref[0] != '#')
        return lookupNamedEntity(ref);
    const bool hex = ref.size() > 1 && (ref[1] == 'x' || ref[1] == 'X');
    std::string_view digits = ref.substr(hex ? 2 : 1);
    if (digits.empty())
        return 0;
    char32_t value = 0;
    for (char c : digits) {
        int d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (hex && c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (hex && c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else
            return 0;
        value = value * (hex ? 16 : 10) + char32_t(d);
        if (value > 0x10FFFF)
            return 0;
    }
    if (value >= 0xD800 && value <= 0xDFFF)
        return 0;
    return value;
}

// Character data with its references resolved; a reference that names nothing stays as it is.
void appendDecoded(std::string& out, std::string_view s)
{
    constexpr std::size_t kLongestReference = 32;
    std::size_t i = 0;
    while (i < s.size()) {
        std::size_t amp = s.find('&', i);
        if (amp == npos) {
            out.append(s.substr(i));
            return;
        }
        out.append(s.substr(i, amp - i));
        std::size_t semi = s.find(';', amp + 1);
        char32_t cp = 0;
        if (semi != npos && semi - amp - 1 <= kLongestReference)
            cp = referenceValue(s.substr(amp + 1, semi - amp - 1));
        if (cp) {
            appendUtf8(out, cp);
            i = semi + 1;
        } else {
            out += '&';
            i = amp + 1;
        }
    }
}

std::string escaped(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        default: out += c;
        }
    }
    return out;
}

// Encodings that are not a byte encoding: a declaration of one of them in a file without
// byte-order mark cannot be followed once the file has been read byte by byte.
bool isWideEncoding(const std::string& name)
{
    std::string low(name);
    for (char& c : low)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return low.rfind("utf-16", 0) == 0 || low.rfind("utf-32", 0) == 0 || low.rfind("ucs-", 0) == 0
        || low == "unicode";
}

std::string systemError()
{
    return std::strerror(errno);
}

} // namespace

std::string MarkupDocument::ResultEntry::toString() const
{
    std::string s = name;
    auto add = [&s](const char* key, const std::string& value) {
        if (!value.empty())
            s += std::string(" ") + key + "=" + value;
    };
    auto addNumber = [&s](const char* key, long long value) {
        if (value >= 0)
            s += std::string(" ") + key + "=" + std::to_string(value);
    };
    add("encoding", encoding);
    add("tag", tagName);
    addNumber("count", count);
    addNumber("length", length);
    addNumber("offset", offset);
    add("message", message);
    return s;
}

MarkupDocument::MarkupDocument()
{
    parse();
    m_log.clear();
}

bool MarkupDocument::setDocument(const char* text)
{
    return setDocument(text ? std::string_view(text) : std::string_view());
}

bool MarkupDocument::setDocument(std::string_view text)
{
    m_text.assign(text);
    m_log.clear();
    parse();
    return isWellFormed();
}

bool MarkupDocument::isWellFormed() const
{
    const int root = m_elements[0].firstChild;
    return root != 0 && m_elements[root].next == 0 && !m_structuralError;
}

// ---- parsing -----------------------------------------------------------------------------

void MarkupDocument::parse()
{
    m_elements.assign(1, Element{});
    m_elements[0].length = m_text.size();
    m_parent = m_current = 0;
    m_structuralError = false;

    const std::string& t = m_text;
    OpenElements open;
    std::size_t p = 0;
    while ((p = t.find('<', p)) != npos) {
        std::size_t end;
        if (t.compare(p, 4, "<!--") == 0) {
            end = nodeEnd(p + 4, "-->");
            if (end == npos)
                recordError("unended_comment", "#comment", p);
        } else if (t.compare(p, 9, "<![CDATA[") == 0) {
            end = nodeEnd(p + 9, "]]>");
            if (end == npos)
                recordError("unended_cdata_section", "#cdata-section", p);
        } else if (t.compare(p, 2, "<!") == 0) {
            end = declarationEnd(p + 2);
            if (end == npos)
                recordError("unended_declaration", {}, p);
        } else if (t.compare(p, 2, "<?") == 0) {
            end = nodeEnd(p + 2, "?>");
            if (end == npos)
                recordError("unended_processing_instruction", {}, p);
        } else if (p + 2 < t.size() && t[p + 1] == '/' && isNameStart(t[p + 2])) {
            end = parseEndTag(p, open);
        } else if (p + 1 < t.size() && isNameStart(t[p + 1])) {
            end = parseStartTag(p, open);
        } else {
            end = p + 1;  // a "<" that starts no markup is taken as text
        }
        if (end == npos)
            break;
        p = end;
    }
    while (!open.stack.empty()) {
        closeUnended(open.stack.back(), t.size());
        popOpen(open);
    }

    const int root = m_elements[0].firstChild;
    if (root == 0)
        record("no_root_element");
    else if (int sibling = m_elements[root].next)
        record("root_has_sibling", nameOf(sibling), static_cast<long long>(m_elements[sibling].start));
}

std::size_t MarkupDocument::nodeEnd(std::size_t from, const char* terminator) const
{
    std::size_t at = m_text.find(terminator, from);
    return at == npos ? npos : at + std::strlen(terminator);
}

// The end of "<!DOCTYPE ...>" and similar, whose internal subset in brackets may hold ">".
std::size_t MarkupDocument::declarationEnd(std::size_t from) const
{
    int depth = 0;
    for (std::size_t i = from; i < m_text.size(); ++i) {
        char c = m_text[i];
        if (c == '"' || c == '\'') {
            i = m_text.find(c, i + 1);
            if (i == npos)
                return npos;
        } else if (c == '[') {
            ++depth;
        } else if (c == ']') {
            depth = std::max(0, depth - 1);
        } else if (c == '>' && depth == 0) {
            return i + 1;
        }
    }
    return npos;
}

std::size_t MarkupDocument::parseStartTag(std::size_t at, OpenElements& open)
{
    std::size_t end = npos;
    for (std::size_t i = at + 1; i < m_text.size(); ++i) {
        char c = m_text[i];
        if (c == '"' || c == '\'') {
            i = m_text.find(c, i + 1);
            if (i == npos)
                break;
        } else if (c == '>') {
            end = i + 1;
            break;
        }
    }
    const int parent = open.stack.empty() ? 0 : open.stack.back();
    const int index = addElement(parent);
    Element& e = m_elements[index];
    e.start = at;
    e.startTagLength = (end == npos ? m_text.size() : end) - at;
    // A tag that never closes leaves nothing after it that could be markup.
    if (end != npos && m_text[end - 2] == '/') {
        e.emptyTag = true;
        e.length = e.startTagLength;
    } else {
        open.stack.push_back(index);
        ++openCount(open, nameOf(index));
    }
    return end;
}

void MarkupDocument::popOpen(OpenElements& open)
{
    --openCount(open, nameOf(open.stack.back()));
    open.stack.pop_back();
}

int& MarkupDocument::openCount(OpenElements& open, std::string_view name) const
{
    open.key.assign(name);
    if (m_ignoreCase)
        for (char& c : open.key)
            c = char(std::tolower(static_cast<unsigned char>(c)));
    return open.countByName[open.key];
}

std::size_t MarkupDocument::parseEndTag(std::size_t at, OpenElements& open)
{
    std::size_t close = m_text.find('>', at + 2);
    const std::string_view name(m_text.data() + at + 2, nameLength(m_text, at + 2));
    if (close == npos) {
        recordError("unended_end_tag", name, at);
        return npos;
    }
    const std::size_t end = close + 1;
    // Looked up by count, not by searching the stack: a file of many unmatched end tags would
    // otherwise take time in the square of its size.
    if (openCount(open, name) == 0) {
        recordError("lone_end_tag", name, at);
        return end;
    }
    // Elements opened inside the matched one and never ended end where it ends. Each element
    // is passed here once, as it is closed, so the whole parse stays linear.
    while (!namesEqual(nameOf(open.stack.back()), name)) {
        closeUnended(open.stack.back(), at);
        popOpen(open);
    }
    Element& e = m_elements[open.stack.back()];
    e.length = end - e.start;
    e.endTagLength = end - at;
    popOpen(open);
    return end;
}

void MarkupDocument::closeUnended(int index, std::size_t end)
{
    Element& e = m_elements[index];
    e.unended = true;
    e.length = end - e.start;
    recordError("unended_start_tag", nameOf(index), e.start);
}

int MarkupDocument::addElement(int parent)
{
    const int index = int(m_elements.size());
    m_elements.emplace_back();
    Element& e = m_elements.back();
    Element& p = m_elements[parent];
    e.parent = parent;
    e.prev = p.lastChild;
    if (p.lastChild)
        m_elements[p.lastChild].next = index;
    else
        p.firstChild = index;
    p.lastChild = index;
    return index;
}

void MarkupDocument::record(const char* name, std::string_view tagName, long long offset)
{
    ResultEntry entry;
    entry.name = name;
    entry.tagName.assign(tagName);
    entry.offset = offset;
    m_log.push_back(std::move(entry));
}

void MarkupDocument::recordError(const char* name, std::string_view tagName, std::size_t offset)
{
    m_structuralError = true;
    record(name, tagName, static_cast<long long>(offset));
}

// ---- navigation and reading --------------------------------------------------------------

bool MarkupDocument::namesEqual(std::string_view a, std::string_view b) const
{
    if (!m_ignoreCase)
        return a == b;
    return a.size() == b.size()
        && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x))
                   == std::tolower(static_cast<unsigned char>(y));
           });
}

std::string_view MarkupDocument::nameOf(int index) const
{
    const Element& e = m_elements[index];
    return std::string_view(m_text).substr(e.start + 1, nameLength(m_text, e.start + 1));
}

std::size_t MarkupDocument::contentStart(int index) const
{
    const Element& e = m_elements[index];
    return e.start + e.startTagLength;
}

std::size_t MarkupDocument::contentEnd(int index) const
{
    const Element& e = m_elements[index];
    return e.start + e.length - e.endTagLength;
}

void MarkupDocument::resetPosition()
{
    m_parent = m_current = 0;
}

bool MarkupDocument::seekElement(std::string_view name)
{
    int i = m_current ? m_elements[m_current].next : m_elements[m_parent].firstChild;
    for (; i; i = m_elements[i].next) {
        if (namesEqual(nameOf(i), name)) {
            m_current = i;
            return true;
        }
    }
    return false;
}

bool MarkupDocument::enterElement()
{
    if (!m_current)
        return false;
    m_parent = m_current;
    m_current = 0;
    return true;
}

bool MarkupDocument::leaveElement()
{
    if (!m_parent)
        return false;
    m_current = m_parent;
    m_parent = m_elements[m_parent].parent;
    return true;
}

std::string MarkupDocument::elementName() const
{
    return m_current ? std::string(nameOf(m_current)) : std::string();
}

std::string MarkupDocument::elementText() const
{
    if (!m_current)
        return {};
    const Element& e = m_elements[m_current];
    if (e.emptyTag || e.firstChild)
        return {};
    const std::string_view content =
        std::string_view(m_text).substr(contentStart(m_current), contentEnd(m_current) - contentStart(m_current));
    std::string out;
    std::size_t p = 0;
    while (p < content.size()) {
        std::size_t lt = content.find('<', p);
        if (lt == npos)
            lt = content.size();
        appendDecoded(out, content.substr(p, lt - p));
        p = lt;
        if (p >= content.size())
            break;
        auto skipPast = [&](std::size_t from, std::string_view terminator) {
            std::size_t at = content.find(terminator, from);
            return at == npos ? content.size() : at + terminator.size();
        };
        if (content.compare(p, 9, "<![CDATA[") == 0) {
            std::size_t close = content.find("]]>", p + 9);
            if (close == npos)
                close = content.size();
            out.append(content.substr(p + 9, close - p - 9));
            p = std::min(close + 3, content.size());
        } else if (content.compare(p, 4, "<!--") == 0) {
            p = skipPast(p + 4, "-->");
        } else if (content.compare(p, 2, "<?") == 0) {
            p = skipPast(p + 2, "?>");
        } else {
            out += '<';
            ++p;
        }
    }
    return out;
}

bool MarkupDocument::isElementWhole() const
{
    if (!m_current)
        return false;
    std::vector<int> pending{m_current};
    while (!pending.empty()) {
        const int index = pending.back();
        pending.pop_back();
        if (m_elements[index].unended)
            return false;
        for (int child = m_elements[index].firstChild; child; child = m_elements[child].next)
            pending.push_back(child);
    }
    return true;
}

// ---- editing -----------------------------------------------------------------------------

// Replaces a range of the text and moves the index along: elements after the range shift,
// elements around it grow or shrink.
void MarkupDocument::replaceText(std::size_t pos, std::size_t oldLength, const std::string& replacement)
{
    m_text.replace(pos, oldLength, replacement);
    const long long delta = static_cast<long long>(replacement.size()) - static_cast<long long>(oldLength);
    for (std::size_t i = 1; i < m_elements.size(); ++i) {
        Element& e = m_elements[i];
        const std::size_t end = e.start + e.length;
        const bool after = oldLength ? e.start >= pos + oldLength : e.start >= pos;
        const bool around = oldLength ? e.start <= pos && end >= pos + oldLength : e.start < pos && end > pos;
        if (after)
            e.start = std::size_t(static_cast<long long>(e.start) + delta);
        else if (around)
            e.length = std::size_t(static_cast<long long>(e.length) + delta);
    }
    m_elements[0].length = m_text.size();
}

// "<name a='1'/>" as the start tag "<name a='1'>".
std::string MarkupDocument::startTagWithoutSlash(int index) const
{
    const Element& e = m_elements[index];
    std::string tag = m_text.substr(e.start, e.startTagLength - 2);
    while (!tag.empty() && isSpace(tag.back()))
        tag.pop_back();
    return tag + ">";
}

bool MarkupDocument::appendElement(std::string_view name)
{
    // Beside or inside an element whose end tag is missing, a new element would land inside it
    // on the next parse, whatever the index says now.
    if (!isValidName(name) || m_elements[m_parent].unended || m_elements[m_current].unended)
        return false;
    const std::string piece = "<" + std::string(name) + "/>\r\n";
    std::size_t insertAt;
    if (m_elements[m_parent].emptyTag) {
        // "<P/>" opens up into "<P>", the new line, "</P>".
        const std::string startTag = startTagWithoutSlash(m_parent);
        const std::string endTag = "</" + std::string(nameOf(m_parent)) + ">";
        replaceText(m_elements[m_parent].start, m_elements[m_parent].length,
                    startTag + "\r\n" + piece + endTag);
        Element& p = m_elements[m_parent];
        p.emptyTag = false;
        p.startTagLength = startTag.size();
        p.endTagLength = endTag.size();
        insertAt = p.start + startTag.size() + 2;
    } else {
        const std::size_t limit = contentEnd(m_parent);
        std::size_t pos = limit;
        if (m_current) {
            const Element& c = m_elements[m_current];
            pos = std::min(m_text.find('<', c.start + c.length), limit);
        }
        const bool noContent = m_parent != 0 && contentStart(m_parent) == limit;
        replaceText(pos, 0, noContent ? "\r\n" + piece : piece);
        insertAt = pos + (noContent ? 2 : 0);
    }

    const int index = int(m_elements.size());
    if (m_current) {
        m_elements.emplace_back();
        Element& c = m_elements[m_current];
        Element& e = m_elements.back();
        e.parent = m_parent;
        e.prev = m_current;
        e.next = c.next;
        if (c.next)
            m_elements[c.next].prev = index;
        else
            m_elements[m_parent].lastChild = index;
        c.next = index;
    } else {
        addElement(m_parent);
    }
    Element& e = m_elements[index];
    e.start = insertAt;
    e.length = e.startTagLength = name.size() + 3;
    e.emptyTag = true;
    m_current = index;
    return true;
}

bool MarkupDocument::setElementText(std::string_view text)
{
    if (!m_current)
        return false;
    if (m_elements[m_current].firstChild || m_elements[m_current].unended)
        return false;
    const std::string content = escaped(text);
    if (m_elements[m_current].emptyTag) {
        const std::string startTag = startTagWithoutSlash(m_current);
        const std::string endTag = "</" + std::string(nameOf(m_current)) + ">";
        replaceText(m_elements[m_current].start, m_elements[m_current].length, startTag + content + endTag);
        Element& e = m_elements[m_current];
        e.emptyTag = false;
        e.startTagLength = startTag.size();
        e.endTagLength = endTag.size();
    } else {
        const std::size_t b = contentStart(m_current);
        replaceText(b, contentEnd(m_current) - b, content);
    }
    return true;
}

// ---- files -------------------------------------------------------------------------------

bool MarkupDocument::readFile(const std::string& path, std::string& bytes)
{
    // Regular files only, opened without blocking: a FIFO would wait for a writer forever and
    // a device might never end.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat st;
    const bool regular = fd >= 0 && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::fcntl(fd, F_SETFL, 0) == 0;
    FILE* f = regular ? ::fdopen(fd, "rb") : nullptr;
    if (!f) {
        record("file_error");
        m_log.back().message = fd >= 0 && !regular ? "not a regular file" : systemError();
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    char buffer[65536];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0 && bytes.size() <= kLargestFile)
        bytes.append(buffer, n);
    bool failed = std::ferror(f);
    if (failed) {
        record("file_error");
        m_log.back().message = systemError();
    }
    if (!failed && bytes.size() > kLargestFile) {
        failed = true;
        record("file_error");
        m_log.back().message = "file too large";
    }
    std::fclose(f);
    return !failed;
}

bool MarkupDocument::loadFile(const std::string& path)
{
    m_log.clear();
    std::string bytes;
    if (!readFile(path, bytes))
        return false;
    const long long lengthRead = static_cast<long long>(bytes.size());
    m_utf8Mark = false;
    m_utf16 = Utf16::None;
    m_encoding.clear();

    auto startsWith = [&bytes](const char* mark) { return bytes.compare(0, std::strlen(mark), mark) == 0; };
    std::string readAs;
    if (startsWith("\xEF\xBB\xBF")) {
        m_utf8Mark = true;
        readAs = "UTF-8";
    } else if (startsWith("\xFF\xFE")) {
        m_utf16 = Utf16::LittleEndian;
        readAs = "UTF-16LE";
    } else if (startsWith("\xFE\xFF")) {
        m_utf16 = Utf16::BigEndian;
        readAs = "UTF-16BE";
    }
    if (!readAs.empty()) {
        record("bom");
        m_log.back().encoding = readAs;
        bytes.erase(0, m_utf8Mark ? 3 : 2);
    }
    if (m_utf16 != Utf16::None)
        decodeUtf16(std::move(bytes));
    else
        readAs = decodeEightBit(std::move(bytes), m_utf8Mark);

    record("read");
    m_log.back().encoding = readAs;
    m_log.back().length = lengthRead;
    parse();
    return isWellFormed();
}

void MarkupDocument::decodeUtf16(std::string bytes)
{
    if (bytes.size() % 2) {
        bytes.pop_back();
        recordLoss(1);
    }
    if (m_utf16 == Utf16::BigEndian) {
        for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
            std::swap(bytes[i], bytes[i + 1]);
        record("endian_swap");
    }
    std::string units;
    units.reserve(bytes.size());
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
        if (bytes[i] || bytes[i + 1])
            units.append(bytes, i, 2);
    if (units.size() != bytes.size()) {
        record("nulls_removed");
        m_log.back().count = static_cast<long long>((bytes.size() - units.size()) / 2);
    }
    convertToText(units, "UTF-16LE");
}

std::string MarkupDocument::decodeEightBit(std::string bytes, bool utf8Mark)
{
    const std::size_t before = bytes.size();
    bytes.erase(std::remove(bytes.begin(), bytes.end(), '\0'), bytes.end());
    if (bytes.size() != before) {
        record("nulls_removed");
        m_log.back().count = static_cast<long long>(before - bytes.size());
    }
    std::string encoding = utf8Mark ? std::string("UTF-8")
                                    : MarkupEncoding::declaredEncoding(std::string_view(bytes).substr(0, kHeadLength));
    if (isWideEncoding(encoding))
        encoding.clear();
    if (encoding.empty() && !bytes.empty() && bytes[0] == '<')
        encoding = "UTF-8";

    if (!encoding.empty() && MarkupEncoding::isUtf8(encoding)) {
        m_text = std::move(bytes);
        return "UTF-8";
    }
    if (!encoding.empty() && MarkupEncoding::isMisdeclaredUtf8(bytes, encoding)) {
        record("declaration_ignored");
        m_log.back().encoding = encoding;
        // Saved as read: a save must not convert the text to the declared code page after all.
        m_encoding = "UTF-8";
        m_text = std::move(bytes);
        return "UTF-8";
    }
    if (!encoding.empty()) {
        if (convertToText(bytes, encoding)) {
            m_encoding = encoding;
            return encoding;
        }
        record("unknown_encoding");
        m_log.back().encoding = encoding;
    }
    // Nothing tells the encoding: UTF-8 if the bytes are UTF-8, else the locale's code page.
    // The text is kept as UTF-8 from then on, so it is also saved as UTF-8.
    record("utf8_detection");
    if (MarkupEncoding::isValidUtf8(bytes)) {
        m_log.back().encoding = "UTF-8";
        m_text = std::move(bytes);
        return "UTF-8";
    }
    const std::string codePage = MarkupEncoding::defaultCodePage();
    m_log.back().encoding = codePage;
    if (convertToText(bytes, codePage))
        return codePage;
    m_text = std::move(bytes);
    return "UTF-8";
}

bool MarkupDocument::convertToText(const std::string& bytes, const std::string& encoding)
{
    std::size_t lost = 0;
    if (!MarkupEncoding::convert(bytes, encoding, "UTF-8", m_text, lost))
        return false;
    record("converted_to");
    m_log.back().encoding = "UTF-8";
    recordLoss(lost);
    return true;
}

void MarkupDocument::recordLoss(std::size_t lost)
{
    if (lost) {
        record("conversion_loss");
        m_log.back().count = static_cast<long long>(lost);
    }
}

std::string MarkupDocument::encodeForSaving()
{
    std::string out;
    std::size_t lost = 0;
    if (m_utf16 != Utf16::None) {
        const bool little = m_utf16 == Utf16::LittleEndian;
        out = little ? "\xFF\xFE" : "\xFE\xFF";
        record("bom");
        m_log.back().encoding = little ? "UTF-16LE" : "UTF-16BE";
        std::string converted;
        MarkupEncoding::convert(m_text, "UTF-8", little ? "UTF-16LE" : "UTF-16BE", converted, lost);
        out += converted;
        record("converted_from");
        m_log.back().encoding = "UTF-8";
    } else {
        if (m_utf8Mark) {
            out = "\xEF\xBB\xBF";
            record("bom");
            m_log.back().encoding = "UTF-8";
        }
        std::string encoding = m_encoding;
        if (encoding.empty())
            encoding = MarkupEncoding::declaredEncoding(std::string_view(m_text).substr(0, kHeadLength));
        std::string converted;
        if (encoding.empty() || isWideEncoding(encoding) || MarkupEncoding::isUtf8(encoding)) {
            out += m_text;
        } else if (MarkupEncoding::convert(m_text, "UTF-8", encoding, converted, lost)) {
            out += converted;
            record("converted_from");
            m_log.back().encoding = "UTF-8";
        } else {
            record("unknown_encoding");
            m_log.back().encoding = encoding;
            out += m_text;
        }
    }
    recordLoss(lost);
    return out;
}

bool MarkupDocument::saveFile(const std::string& path)
{
    m_log.clear();
    const std::string bytes = encodeForSaving();
    std::string error;
    if (!gFunc::replaceFile(path, bytes, gFunc::FileKind::UserFile, &error)) {
        record("file_error");
        m_log.back().message = error;
        return false;
    }
    record("write");
    m_log.back().length = static_cast<long long>(bytes.size());
    return true;
}

std::string MarkupDocument::resultText() const
{
    std::string s;
    for (const ResultEntry& entry : m_log) {
        if (!s.empty())
            s += "; ";
        s += entry.toString();
    }
    return s;
}
