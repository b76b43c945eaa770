#pragma once

#include <string>
#include <string_view>

// Lexical pieces of the XML document: the node scanner that cuts the text into markup and
// character data, and the small character rules the document's readers share. The text is
// GBK bytes: scans step over a two-byte character as one unit, so a trail byte is never taken
// for markup (XmlCharLength). A zero byte ends the text just like its real end does.

enum class XmlNodeKind {
    EndTag = 0,
    StartTag = 1,
    Text = 2,
    WhiteSpace = 4,
    CData = 8,
    ProcessingInstruction = 16,
    Comment = 32,
    Doctype = 64,  // also a markup declaration such as <!ENTITY ...>
    Error = -1,
    EndOfDocument = -2,
};

struct XmlNode {
    XmlNodeKind kind = XmlNodeKind::Error;
    int start = 0;
    int length = 0;
    bool isEmptyElement = false;  // a start tag written "<a/>", "<a />" or "<a x='1'/>"
    std::string_view name;        // start tag, end tag, processing-instruction target
    std::string message;          // the error message of an Error node
};

class XmlNodeScanner {
public:
    explicit XmlNodeScanner(std::string_view text, int nextOffset = 0)
        : m_text(text), m_next(nextOffset)
    {
    }

    // Reads the node at the next offset and moves past it. Every node but the end of the
    // document is at least one byte long, so repeated calls always reach the end.
    XmlNode Next();

private:
    struct CharHistory;
    struct BodyRules;
    struct BodyEnd;
    struct MarkupShape;

    MarkupShape DescribeMarkup(int at, bool nested) const;
    void ScanMarkup(XmlNode& node) const;
    void ScanDoctype(XmlNode& node) const;
    void ScanWhiteSpace(XmlNode& node) const;
    void ScanText(XmlNode& node, int from) const;
    BodyEnd ScanBody(int itemStart, int from, const BodyRules& rules) const;
    void FinishBody(XmlNode& node, const BodyEnd& end, const char* openItem) const;
    int TagNameEnd(int from) const;
    char At(int offset) const;
    int CharLength(int offset) const;

    std::string_view m_text;
    int m_next;
};

constexpr bool IsXmlSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// Length of the character at `offset` of `text`: 2 for a GBK lead byte followed by a GBK trail
// byte (0x40 to 0xFE but 0x7F), else 1. Every XML delimiter is below 0x40, so a lead byte
// without its trail byte never hides the delimiter after it.
int XmlCharLength(std::string_view text, int offset);

// The tag name the node scanner reads at `offset`, byte by byte up to white space, "/" or ">".
// This is the name an end tag must give to close the element.
std::string_view XmlTagName(std::string_view text, int offset);

// The name token at `offset`: white space skipped, then everything up to the first of space,
// tab, LF, CR, "<", ">", "=", "\", "/", "?" or "!"; when that delimiter comes first, the token
// is the delimiter alone. Empty at the end of `text`.
std::string_view XmlNameToken(std::string_view text, int offset);

// True when `name` begins with `token` and ends there or goes on with one of " =/[]".
bool XmlNameMatches(std::string_view name, std::string_view token);
