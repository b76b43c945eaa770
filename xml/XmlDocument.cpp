#include "xml/XmlDocument.h"

#include "platform/WholeFile.h"
#include "xml/XmlOpenTags.h"
#include "xml/XmlScanner.h"

#include <algorithm>
#include <climits>

namespace {

std::string ByteCountText(std::size_t count) { return std::to_string(count) + " bytes"; }

}  // namespace

bool CXmlDocument::SetDocument(std::string_view text)
{
    m_text.assign(text);
    m_result.clear();
    Parse();
    return IsValidDocument();
}

bool CXmlDocument::LoadFile(const std::string& path)
{
    std::string contents;
    if (const std::error_code error = ReadWholeFile(path, contents, static_cast<std::size_t>(INT_MAX))) {
        m_result = error.message();
        return false;
    }
    m_text = std::move(contents);
    m_result = ByteCountText(m_text.size());
    Parse();
    return true;
}

bool CXmlDocument::SaveFile(const std::string& path)
{
    if (const std::error_code error = ReplaceWholeFile(path, m_text)) {
        m_result = error.message();
        return false;
    }
    m_result = ByteCountText(m_text.size());
    return true;
}

bool CXmlDocument::IsValidDocument() const
{
    if (m_records.empty() || (m_records[0].flags & ElementRecord::NotWellFormed) != 0) {
        return false;
    }
    const int root = m_records[0].firstChild;
    return root != 0 && m_records[root].nextSibling == 0;
}

void CXmlDocument::Parse()
{
    const std::string loadMessage = m_result;
    m_parent = m_current = m_child = 0;
    m_nodeKind = 0;
    m_records.clear();
    m_records.reserve(m_text.size() / 64 + 8);
    m_records.emplace_back();
    if (m_text.empty()) {
        m_result = "Empty document";
    } else {
        const int first = BuildElements();
        m_records[0].length = static_cast<int>(m_text.size());
        if (first == 0) {
            m_result = "No root element";
        } else if (m_records[first].nextSibling != 0) {
            m_result = "Root element has sibling";
        }
    }
    if (!loadMessage.empty()) {
        m_result = m_result.empty() ? loadMessage : loadMessage + ", " + m_result;
    }
}

// Reads the whole text node by node and makes a record for every start tag, under record 0.
// Returns the first element made, 0 when there is none.
int CXmlDocument::BuildElements()
{
    m_result.clear();
    XmlNodeScanner scanner(m_text);
    XmlOpenTags open;
    int first = 0;
    for (;;) {
        const XmlNode node = scanner.Next();
        const int parent = open.Empty() ? 0 : open.Innermost().record;
        switch (node.kind) {
        case XmlNodeKind::StartTag: {
            const int element = NewRecord();
            if (first == 0) {
                first = element;
            }
            LinkChild(parent, LastChild(parent), element);
            ElementRecord& record = m_records[element];
            record.level = static_cast<int>(open.Size());
            record.start = node.start;
            record.startTagLength = node.length;
            if (node.isEmptyElement) {
                record.length = node.length;
            } else {
                open.Push(element, node.name);
            }
            break;
        }
        case XmlNodeKind::EndTag: {
            const std::size_t match = open.CountThroughMatch(node.name);
            if (match == 0) {
                MarkError(parent, "No start tag for end tag '" + std::string(node.name) + "' at offset " +
                                      std::to_string(node.start));
                break;
            }
            CloseUnended(open, match, node.name, node.start + 1);
            ElementRecord& record = m_records[open.Innermost().record];
            record.length = node.start + node.length - record.start;
            record.endTagLength = node.length;
            open.PopInnermost();
            break;
        }
        case XmlNodeKind::Error:
            MarkError(parent, node.message);
            break;
        case XmlNodeKind::EndOfDocument:
            CloseUnended(open, 0, {}, -1);
            return first;
        default:
            break;
        }
    }
}

void CXmlDocument::MarkError(int parentElement, std::string message)
{
    m_records[0].flags |= ElementRecord::NotWellFormed;
    m_records[parentElement].flags |= ElementRecord::ErrorInside;
    if (m_result.empty()) {
        m_result = std::move(message);
    }
}

// Closes the open elements above the first `keep`, innermost first: each keeps only its start
// tag and its children become its following siblings. An end tag that closed an outer element
// gives `endTagName` and the offset of its "/"; the end of the text gives a negative offset.
void CXmlDocument::CloseUnended(XmlOpenTags& open, std::size_t keep, std::string_view endTagName,
                                int endTagSlash)
{
    if (open.Size() <= keep) {
        return;
    }
    m_records[0].flags |= ElementRecord::NotWellFormed;
    if (m_result.empty()) {
        const XmlOpenTags::Tag& innermost = open.Innermost();
        const std::string element =
            "'" + std::string(innermost.name) + "' at offset " + std::to_string(m_records[innermost.record].start);
        m_result = endTagSlash < 0 ? "Element " + element + " not ended"
                                   : "End tag '" + std::string(endTagName) + "' at offset " +
                                         std::to_string(endTagSlash) + " does not match start tag " + element;
    }
    const int outermost = open[keep].record;
    while (open.Size() > keep) {
        const int element = open.Innermost().record;
        ElementRecord& record = m_records[element];
        record.length = record.startTagLength;
        record.endTagLength = 0;
        record.flags |= ElementRecord::NoEndTag;
        if ((record.flags & ElementRecord::ErrorInside) != 0) {
            record.flags &= ~ElementRecord::ErrorInside;
            m_records[record.parent].flags |= ElementRecord::ErrorInside;
        }
        LiftChildren(element);
        open.PopInnermost();
    }
    // Every lifted element now follows the outermost closed one under that one's parent. An
    // element is lifted at most once in a parse, so setting the links here keeps parsing linear
    // however deep the unended elements nest.
    const int parent = m_records[outermost].parent;
    for (int sibling = m_records[outermost].nextSibling; sibling != 0; sibling = m_records[sibling].nextSibling) {
        m_records[sibling].parent = parent;
    }
}

// Moves the children of `element` to follow it as siblings, in order; their parent links are
// left to the caller.
void CXmlDocument::LiftChildren(int element)
{
    const int first = m_records[element].firstChild;
    if (first == 0) {
        return;
    }
    const int last = m_records[first].previousSibling;
    const int next = m_records[element].nextSibling;
    m_records[first].flags &= ~ElementRecord::FirstChild;
    m_records[first].previousSibling = element;
    m_records[last].nextSibling = next;
    if (next != 0) {
        m_records[next].previousSibling = last;
    } else {
        m_records[m_records[m_records[element].parent].firstChild].previousSibling = last;
    }
    m_records[element].nextSibling = first;
    m_records[element].firstChild = 0;
}

int CXmlDocument::NewRecord()
{
    m_records.emplace_back();
    return static_cast<int>(m_records.size()) - 1;
}

int CXmlDocument::LastChild(int parent) const
{
    const int first = m_records[parent].firstChild;
    return first == 0 ? 0 : m_records[first].previousSibling;
}

// Links `element` under `parent` after `previous`, or as the only child when `previous` is 0.
void CXmlDocument::LinkChild(int parent, int previous, int element)
{
    ElementRecord& record = m_records[element];
    record.parent = parent;
    record.firstChild = 0;
    if (previous == 0) {
        record.flags |= ElementRecord::FirstChild;
        record.previousSibling = element;
        record.nextSibling = 0;
        m_records[parent].firstChild = element;
        return;
    }
    record.previousSibling = previous;
    record.nextSibling = m_records[previous].nextSibling;
    m_records[previous].nextSibling = element;
    if (record.nextSibling != 0) {
        m_records[record.nextSibling].previousSibling = element;
    } else {
        m_records[m_records[parent].firstChild].previousSibling = element;
    }
}

bool CXmlDocument::IsElement(int position) const
{
    return position > 0 && position < static_cast<int>(m_records.size());
}

// The start tag of an element without its final ">", so no scan of it can run past the tag.
std::string_view CXmlDocument::StartTag(int position) const
{
    const ElementRecord& record = m_records[position];
    return std::string_view(m_text).substr(record.start, record.startTagLength - 1);
}

std::string_view CXmlDocument::ElementName(int position) const
{
    return IsElement(position) ? XmlNameToken(StartTag(position), 1) : std::string_view();
}

int CXmlDocument::FindNextElement(int after, int parent, std::string_view name) const
{
    int element = after != 0 ? m_records[after].nextSibling : m_records[parent].firstChild;
    while (element != 0 && !name.empty() && !XmlNameMatches(name, ElementName(element))) {
        element = m_records[element].nextSibling;
    }
    return element;
}

bool CXmlDocument::FindElement(std::string_view name)
{
    if (m_records.empty()) {
        return false;
    }
    const int found = FindNextElement(m_current, m_parent, name);
    if (found == 0) {
        return false;
    }
    m_current = found;
    m_parent = m_records[found].parent;
    m_child = 0;
    m_nodeKind = 1;
    return true;
}

bool CXmlDocument::FindChildElement(std::string_view name)
{
    if (m_current == 0 && !FindElement()) {
        return false;
    }
    const int found = FindNextElement(m_child, m_current, name);
    if (found == 0) {
        return false;
    }
    m_child = found;
    m_nodeKind = 1;
    return true;
}

bool CXmlDocument::EnterElement()
{
    if (m_current == 0 || m_nodeKind != 1) {
        return false;
    }
    m_parent = m_current;
    m_current = m_child;
    m_child = 0;
    m_nodeKind = m_current != 0 ? 1 : 0;
    return true;
}

bool CXmlDocument::LeaveElement()
{
    if (m_parent == 0) {
        return false;
    }
    m_child = m_current;
    m_current = m_parent;
    m_parent = m_records[m_current].parent;
    m_nodeKind = 1;
    return true;
}

namespace {

// Reads the tokens of a start tag (without its final ">") for the attribute lookup.
class TagTokenReader {
public:
    TagTokenReader(std::string_view tag, int from) : m_tag(tag), m_next(from) {}

    struct Token {
        std::string_view text;  // without the quotes of a quoted token
        int from = 0;           // first byte, opening quote included
        int end = 0;            // past the last byte, closing quote included
        int spaceFrom = 0;      // where the white space before the token began
        bool quoted = false;
        bool isEnd = false;     // the tag has no more tokens
    };

    // In a name position a token ends at "=", white space, ">", "/" or "?"; in a value
    // position only at white space or ">". A token that would be empty is its delimiter.
    Token Next(bool valuePosition)
    {
        Token token;
        token.spaceFrom = m_next;
        int from = m_next;
        while (from < Size() && IsXmlSpace(m_tag[from])) {
            ++from;
        }
        token.from = from;
        if (from >= Size()) {
            token.isEnd = true;
            token.end = from;
            return token;
        }
        const char first = m_tag[from];
        int end = from;
        if (first == '"' || first == '\'') {
            token.quoted = true;
            end = from + 1;
            while (end < Size() && m_tag[end] != first) {
                end += XmlCharLength(m_tag, end);
            }
            token.text = m_tag.substr(from + 1, end - from - 1);
            end = std::min(end + 1, Size());
        } else {
            const std::string_view delimiters = valuePosition ? std::string_view(" \t\n\r>") : " \t\n\r>=/?";
            while (end < Size() && delimiters.find(m_tag[end]) == std::string_view::npos) {
                end += XmlCharLength(m_tag, end);
            }
            end = std::max(end, from + 1);
            token.text = m_tag.substr(from, end - from);
        }
        token.end = end;
        m_next = end;
        return token;
    }

private:
    int Size() const { return static_cast<int>(m_tag.size()); }

    std::string_view m_tag;
    int m_next;
};

bool IsUnquoted(const TagTokenReader::Token& token, std::string_view text)
{
    return !token.quoted && token.text == text;
}

}  // namespace

// Looks up attribute `name` in the start tag of the element at `position`. Offsets in the
// result are offsets in the document text.
CXmlDocument::AttributeSpot CXmlDocument::FindAttribute(int position, std::string_view name) const
{
    const int base = m_records[position].start;
    const std::string_view tag = StartTag(position);
    // The tag name is skipped as the node scanner read it, so both agree where it ends.
    TagTokenReader reader(tag, 1 + static_cast<int>(XmlTagName(tag, 1).size()));
    AttributeSpot spot;
    bool valuePosition = false;
    bool nameMatched = false;  // the last attribute name read was `name`
    TagTokenReader::Token lastName;
    for (;;) {
        const TagTokenReader::Token token = reader.Next(valuePosition);
        if (valuePosition) {
            valuePosition = false;
            if (nameMatched) {
                spot.found = true;
                spot.hasValue = true;
                spot.value = token.text;
                spot.replaceFrom = base + (token.isEnd ? token.spaceFrom : token.from);
                spot.replaceLength = token.isEnd ? 0 : token.end - token.from;
                return spot;
            }
            if (!token.isEnd) {
                continue;
            }
        }
        if (nameMatched && !IsUnquoted(token, "=")) {
            spot.found = true;
            spot.value = lastName.text;
            spot.replaceFrom = base + lastName.end;
            return spot;
        }
        if (token.isEnd || IsUnquoted(token, "/") || IsUnquoted(token, "?") || IsUnquoted(token, ">")) {
            spot.insertAt = base + token.spaceFrom;
            return spot;
        }
        if (IsUnquoted(token, "=")) {
            valuePosition = true;
        } else {
            nameMatched = !token.quoted && XmlNameMatches(name, token.text);
            lastName = token;
        }
    }
}

std::string CXmlDocument::GetChildAttribute(std::string_view name) const
{
    if (m_child == 0 || m_nodeKind != 1) {
        return {};
    }
    const AttributeSpot spot = FindAttribute(m_child, name);
    return spot.found ? DecodeEntities(spot.value) : std::string();
}

std::string CXmlDocument::GetChildText() const
{
    if (m_child == 0) {
        return {};
    }
    const ElementRecord& record = m_records[m_child];
    const int from = record.start + record.startTagLength;
    const int to = record.start + record.length - record.endTagLength;
    if (record.firstChild != 0 || record.length == record.startTagLength || to <= from) {
        return {};
    }
    const std::string_view text = std::string_view(m_text).substr(0, to);
    const std::string_view content = text.substr(from);
    if (content.find('<') == std::string_view::npos) {
        return DecodeEntities(content);
    }
    std::string result;
    XmlNodeScanner scanner(text, from);
    for (XmlNode node = scanner.Next(); node.kind != XmlNodeKind::EndOfDocument; node = scanner.Next()) {
        if (node.kind == XmlNodeKind::Text) {
            result += DecodeEntities(text.substr(node.start, node.length));
        } else if (node.kind == XmlNodeKind::CData) {
            constexpr int opener = 9;  // "<![CDATA["
            constexpr int closer = 3;  // "]]>"
            if (node.length > opener + closer) {
                result += text.substr(node.start + opener, node.length - opener - closer);
            }
        }
    }
    return result;
}
