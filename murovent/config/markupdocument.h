// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// A small XML document kept as one UTF-8 text plus an index of its elements. Edits change the
// text in place, so everything the edits do not touch (comments, spacing, attributes, line
// ends) is written back exactly as it was read.
//
// Navigation works on a current position: a parent element and a current element among its
// children (none right after entering the parent). A failed operation never moves it.
class MarkupDocument
{
public:
    // One entry of the result log: what the last load, save or parse noticed.
    struct ResultEntry
    {
        std::string name;  // "read", "bom", "converted_to", "lone_end_tag", ...
        std::string encoding;
        std::string tagName;
        std::string message;
        long long count = -1;
        long long length = -1;
        long long offset = -1;

        std::string toString() const;
    };

    MarkupDocument();

    // Replaces the whole text and parses it; true when the document is well-formed (exactly
    // one root element and no structural error). A null or empty text gives an empty document.
    bool setDocument(const char* text);
    bool setDocument(std::string_view text = {});
    // Reads a file in UTF-8 (with or without byte-order mark), UTF-16 (with mark), a declared
    // encoding or the locale's code page, and parses it.
    bool loadFile(const std::string& path);
    // Writes the text in the encoding it came in. The file is replaced only once the whole
    // text is safely on disk, so a failed save leaves the previous file as it was.
    bool saveFile(const std::string& path);

    const std::string& document() const { return m_text; }
    bool isWellFormed() const;

    // Back to the top: no parent element and no current element.
    void resetPosition();
    bool seekElement(std::string_view name);
    bool enterElement();
    bool leaveElement();
    std::string elementName() const;
    // The character data of the current element with references resolved and CDATA sections
    // taken literally; empty when there is no current element or it has child elements.
    std::string elementText() const;
    // Whether the current element and everything inside it have their end tags. In a damaged
    // document the elements that do are still worth reading.
    bool isElementWhole() const;

    // Inserts "<name/>" and a line break after the current element (or as the parent's last
    // child when there is none); the new element becomes current.
    bool appendElement(std::string_view name);
    // Replaces the content of a current element that has no child elements.
    bool setElementText(std::string_view text);

    void setIgnoreCase(bool ignore) { m_ignoreCase = ignore; }

    const std::vector<ResultEntry>& resultLog() const { return m_log; }
    std::string resultText() const;

private:
    enum class Utf16 { None, LittleEndian, BigEndian };

    struct Element
    {
        std::size_t start = 0;   // offset of the start tag's "<"
        std::size_t length = 0;  // through the end tag's ">"
        std::size_t startTagLength = 0;
        std::size_t endTagLength = 0;
        bool emptyTag = false;   // "<name/>"
        bool unended = false;    // a start tag whose end tag never came
        int parent = 0;
        int firstChild = 0;
        int lastChild = 0;
        int prev = 0;
        int next = 0;
    };

    // The elements whose end tag has not come yet, innermost last, with the number open under
    // each name: an end tag whose name is not open at all is known lone without a search.
    struct OpenElements
    {
        std::vector<int> stack;
        std::unordered_map<std::string, int> countByName;  // names stay, at 0, once closed
        std::string key;  // reused, so that looking a name up allocates nothing
    };

    void parse();
    std::size_t parseStartTag(std::size_t at, OpenElements& open);
    std::size_t parseEndTag(std::size_t at, OpenElements& open);
    void popOpen(OpenElements& open);
    int& openCount(OpenElements& open, std::string_view name) const;
    std::size_t nodeEnd(std::size_t from, const char* terminator) const;
    std::size_t declarationEnd(std::size_t from) const;
    int addElement(int parent);
    void closeUnended(int index, std::size_t end);
    void record(const char* name, std::string_view tagName = {}, long long offset = -1);
    void recordError(const char* name, std::string_view tagName, std::size_t offset);

    bool namesEqual(std::string_view a, std::string_view b) const;
    std::string_view nameOf(int index) const;
    std::size_t contentStart(int index) const;
    std::size_t contentEnd(int index) const;
    std::string startTagWithoutSlash(int index) const;
    void replaceText(std::size_t pos, std::size_t oldLength, const std::string& replacement);

    bool readFile(const std::string& path, std::string& bytes);
    void decodeUtf16(std::string bytes);
    std::string decodeEightBit(std::string bytes, bool utf8Mark);
    bool convertToText(const std::string& bytes, const std::string& encoding);
    void recordLoss(std::size_t lost);
    std::string encodeForSaving();

    std::string m_text;
    std::vector<Element> m_elements;  // [0] is the document itself
    int m_parent = 0;
    int m_current = 0;
    bool m_structuralError = false;

    bool m_utf8Mark = false;
    Utf16 m_utf16 = Utf16::None;
    std::string m_encoding;  // the 8-bit encoding the file was read in, empty for UTF-8
    bool m_ignoreCase = false;

    std::vector<ResultEntry> m_log;
};
