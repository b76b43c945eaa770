#include "xml/XmlScanner.h"

#include "platform/CodePage.h"

#include <algorithm>

namespace {

std::string IncorrectMessage(const char* what, int offset)
{
    return "Incorrect " + std::string(what) + " at offset " + std::to_string(offset);
}

std::string UnterminatedMessage(const char* what, int offset)
{
    return std::string(what) + " at offset " + std::to_string(offset) + " unterminated";
}

bool IsStartTagNameChar(char c)
{
    const auto byte = static_cast<unsigned char>(c);
    return (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') || byte == '_' || byte == ':' || byte >= 0x7B;
}

bool IsNameTokenDelimiter(char c)
{
    return IsXmlSpace(c) || std::string_view("<>=\\/?!").find(c) != std::string_view::npos;
}

}  // namespace

// The last two characters a scan passed: a byte value for a one-byte character, -1 for a
// two-byte one, 0 for none yet.
struct XmlNodeScanner::CharHistory {
    int beforeLast = 0;
    int last = 0;

    void Push(int code)
    {
        beforeLast = last;
        last = code;
    }
};

// How the body of a markup item ends: at a ">" preceded by the rest of `marker`, with quotes
// tracked or not, and (error items only) just before a "<".
struct XmlNodeScanner::BodyRules {
    std::string_view marker;
    bool tracksQuotes = false;
    bool endsBeforeLt = false;
};

struct XmlNodeScanner::BodyEnd {
    enum How { Closed, Unterminated, BeforeLt } how;
    int end;  // offset just past the item
    CharHistory history;
};

// What the bytes after a "<" make of the markup item that starts there.
struct XmlNodeScanner::MarkupShape {
    XmlNodeKind kind = XmlNodeKind::Error;
    bool opensDoctype = false;
    int nameFrom = 0;
    int bodyFrom = 0;
    std::string_view marker = ">";
    bool tracksQuotes = false;
    const char* openItem = "tag";       // names the item in the unterminated message
    const char* incorrect = nullptr;    // set when the item is an error
};

int XmlCharLength(std::string_view text, int offset)
{
    return static_cast<int>(GbkCharLength(text, static_cast<std::size_t>(offset)));
}

std::string_view XmlNameToken(std::string_view text, int offset)
{
    const int size = static_cast<int>(text.size());
    int from = offset;
    while (from < size && IsXmlSpace(text[from])) {
        ++from;
    }
    if (from >= size || text[from] == '\0') {
        return {};
    }
    if (IsNameTokenDelimiter(text[from])) {
        return text.substr(from, 1);
    }
    int end = from;
    while (end < size && text[end] != '\0' && !IsNameTokenDelimiter(text[end])) {
        end += XmlCharLength(text, end);
    }
    return text.substr(from, end - from);
}

bool XmlNameMatches(std::string_view name, std::string_view token)
{
    if (!name.starts_with(token)) {
        return false;
    }
    return name.size() == token.size() || std::string_view(" =/[]").find(name[token.size()]) != std::string_view::npos;
}

char XmlNodeScanner::At(int offset) const
{
    return offset < static_cast<int>(m_text.size()) ? m_text[offset] : '\0';
}

int XmlNodeScanner::CharLength(int offset) const
{
    return offset < static_cast<int>(m_text.size()) ? XmlCharLength(m_text, offset) : 1;
}

std::string_view XmlTagName(std::string_view text, int offset)
{
    const auto from = std::min(static_cast<std::size_t>(offset), text.size());
    std::size_t end = from;
    while (end < text.size() && text[end] != '\0' && !IsXmlSpace(text[end]) && text[end] != '/' && text[end] != '>') {
        ++end;
    }
    return text.substr(from, end - from);
}

int XmlNodeScanner::TagNameEnd(int from) const
{
    return from + static_cast<int>(XmlTagName(m_text, from).size());
}

XmlNode XmlNodeScanner::Next()
{
    XmlNode node;
    node.start = m_next;
    const char first = At(m_next);
    if (first == '\0') {
        node.kind = XmlNodeKind::EndOfDocument;
    } else if (first == '<') {
        ScanMarkup(node);
    } else if (IsXmlSpace(first)) {
        ScanWhiteSpace(node);
    } else {
        ScanText(node, node.start);
    }
    m_next = node.start + node.length;
    return node;
}

void XmlNodeScanner::ScanText(XmlNode& node, int from) const
{
    node.kind = XmlNodeKind::Text;
    int i = from;
    for (char c = At(i); c != '\0' && c != '<'; c = At(i)) {
        if (c == '>') {
            ++i;
            break;
        }
        i += CharLength(i);
    }
    node.length = i - node.start;
}

void XmlNodeScanner::ScanWhiteSpace(XmlNode& node) const
{
    int i = node.start;
    while (IsXmlSpace(At(i))) {
        ++i;
    }
    if (At(i) == '\0' || At(i) == '<') {
        node.kind = XmlNodeKind::WhiteSpace;
        node.length = i - node.start;
    } else {
        ScanText(node, i);
    }
}

// `nested` is set inside a DOCTYPE, where neither CDATA nor another DOCTYPE may open.
XmlNodeScanner::MarkupShape XmlNodeScanner::DescribeMarkup(int at, bool nested) const
{
    MarkupShape shape;
    const char c1 = At(at + 1);
    const char c2 = At(at + 2);
    if (c1 == '/') {
        shape = {XmlNodeKind::EndTag, false, at + 2, TagNameEnd(at + 2), ">", false, "Element end tag"};
    } else if (IsStartTagNameChar(c1)) {
        shape = {XmlNodeKind::StartTag, false, at + 1, TagNameEnd(at + 1), ">", true, "Element tag"};
    } else if (c1 == '?') {
        shape = {XmlNodeKind::ProcessingInstruction, false, at + 2, TagNameEnd(at + 2), "?>", false,
                 "Processing instruction"};
    } else if (c1 == '!' && c2 == '-') {
        if (At(at + 3) == '-') {
            shape = {XmlNodeKind::Comment, false, at + 4, at + 4, "-->", false, "Comment"};
        } else {
            shape.incorrect = "comment tag";
        }
    } else if (c1 == '!' && c2 == '[' && !nested) {
        if (At(at + 3) == 'C') {
            shape = {XmlNodeKind::CData, false, at + 4, at + 4, "]]>", false, "CDATA Section"};
        } else {
            shape.incorrect = "tag";
        }
    } else if (c1 == '!' && c2 == 'D' && !nested) {
        shape = {XmlNodeKind::Doctype, true, at + 3, at + 3, ">", false, "Doctype"};
    } else if (c1 == '!' && (c2 == 'E' || c2 == 'A' || c2 == 'N')) {
        shape = {XmlNodeKind::Doctype, false, at + 3, at + 3, ">", true, "Doctype"};
    } else if (c1 == '!') {
        shape.incorrect = "! tag";
    } else {
        shape.incorrect = "tag name character";
    }
    if (shape.incorrect != nullptr) {
        shape.bodyFrom = at + 1;
        shape.tracksQuotes = true;
    }
    return shape;
}

XmlNodeScanner::BodyEnd XmlNodeScanner::ScanBody(int itemStart, int from, const BodyRules& rules) const
{
    CharHistory history;
    // The bytes of the opener and name before the body count as characters already passed, so
    // "<!-->" is a whole comment. A start tag starts afresh: only what follows its name counts.
    if (rules.marker.size() > 1) {
        for (int i = std::max(itemStart, from - 2); i < from; ++i) {
            history.Push(static_cast<unsigned char>(At(i)));
        }
    }
    const auto markerLength = static_cast<int>(rules.marker.size());
    char quote = '\0';
    for (int i = from;;) {
        const char c = At(i);
        if (c == '\0') {
            return {BodyEnd::Unterminated, i, history};
        }
        if (rules.endsBeforeLt && c == '<') {
            return {BodyEnd::BeforeLt, i, history};
        }
        if (rules.tracksQuotes && (c == '"' || c == '\'')) {
            if (quote == '\0') {
                quote = c;
            } else if (quote == c) {
                quote = '\0';
            }
        } else if (c == '>' && quote == '\0') {
            const bool markerComplete =
                markerLength == 1 ||
                (i - itemStart > markerLength &&
                 history.last == rules.marker[markerLength - 2] &&
                 (markerLength == 2 || history.beforeLast == rules.marker[0]));
            if (markerComplete) {
                return {BodyEnd::Closed, i + 1, history};
            }
        }
        const int length = CharLength(i);
        history.Push(length == 1 ? static_cast<unsigned char>(c) : -1);
        i += length;
    }
}

void XmlNodeScanner::FinishBody(XmlNode& node, const BodyEnd& end, const char* openItem) const
{
    if (end.how == BodyEnd::Unterminated) {
        node.kind = XmlNodeKind::Error;
        node.message = UnterminatedMessage(openItem, node.start);
    }
    node.length = end.end - node.start;
}

void XmlNodeScanner::ScanMarkup(XmlNode& node) const
{
    const MarkupShape shape = DescribeMarkup(node.start, false);
    if (shape.opensDoctype) {
        ScanDoctype(node);
        return;
    }
    node.kind = shape.kind;
    if (shape.incorrect != nullptr) {
        node.message = IncorrectMessage(shape.incorrect, node.start);
    }
    if (shape.kind == XmlNodeKind::StartTag || shape.kind == XmlNodeKind::EndTag ||
        shape.kind == XmlNodeKind::ProcessingInstruction) {
        node.name = m_text.substr(shape.nameFrom, shape.bodyFrom - shape.nameFrom);
    }
    const BodyEnd end = ScanBody(node.start, shape.bodyFrom,
                                 {shape.marker, shape.tracksQuotes, shape.incorrect != nullptr});
    if (shape.kind == XmlNodeKind::StartTag && end.how == BodyEnd::Closed) {
        const int before = end.history.beforeLast;
        node.isEmptyElement = end.history.last == '/' &&
                              (before == 0 || before == '"' || before == '\'' || IsXmlSpace(static_cast<char>(before)));
    }
    FinishBody(node, end, shape.openItem);
}

// Inside a DOCTYPE everything is skipped but nested markup items, which run to their own end;
// a ">" outside them ends the DOCTYPE.
void XmlNodeScanner::ScanDoctype(XmlNode& node) const
{
    node.kind = XmlNodeKind::Doctype;
    for (int i = node.start + 3;;) {
        const char c = At(i);
        if (c == '\0') {
            FinishBody(node, {BodyEnd::Unterminated, i, {}}, "Doctype");
            return;
        }
        if (c == '>') {
            node.length = i + 1 - node.start;
            return;
        }
        if (c != '<') {
            i += CharLength(i);
            continue;
        }
        const MarkupShape item = DescribeMarkup(i, true);
        if (item.incorrect != nullptr) {
            node.kind = XmlNodeKind::Error;
            node.message = IncorrectMessage(item.incorrect, node.start);
            FinishBody(node, ScanBody(i, i + 1, {">", true, true}), "tag");
            return;
        }
        const BodyEnd end = ScanBody(i, item.bodyFrom, {item.marker, item.tracksQuotes, false});
        if (end.how == BodyEnd::Unterminated) {
            FinishBody(node, end, item.openItem);
            return;
        }
        i = end.end;
    }
}
