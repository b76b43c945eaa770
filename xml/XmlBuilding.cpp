// The operations that change a CXmlDocument. Each splices the one document text and corrects
// the element records, so the text is complete after every call. Appending at the end of the
// document, as a scheme export does, costs the new bytes plus the depth of the element: the
// splice moves only the end tags behind it and the record walk finds nothing after it.

#include "xml/XmlDocument.h"

#include "xml/XmlScanner.h"

#include <algorithm>

namespace {

constexpr std::string_view kLineEnd = "\r\n";

// A text handed in ends at its first zero byte, as the document text does when parsed.
std::string_view UpToZero(std::string_view text) { return text.substr(0, text.find('\0')); }

}  // namespace

struct CXmlDocument::Insertion {
    enum Option {
        ReplaceContent = 1,  // the text replaces everything between the start and end tags
        NoLineBreaks = 2,    // nothing is added around the text
    };

    int options = 0;
    std::string text;
    int offset = 0;  // filled in: where the text now starts
};

bool CXmlDocument::AppendElement(std::string_view name)
{
    EnsureStore();
    m_current = AppendUnder(m_parent, m_current, name);
    m_child = 0;
    m_nodeKind = 1;
    return true;
}

bool CXmlDocument::AppendChildElement(std::string_view name)
{
    if (m_current == 0) {
        return false;
    }
    m_child = AppendUnder(m_current, m_child, name);
    m_nodeKind = 1;
    return true;
}

bool CXmlDocument::SetAttribute(int position, std::string_view name, std::string_view value)
{
    if (!IsElement(position) || m_nodeKind != 1) {
        return false;
    }
    const std::string written = '"' + EncodeEntities(UpToZero(value), EscapeForm::Attribute) + '"';
    const AttributeSpot spot = FindAttribute(position, name);
    std::string text;
    int offset = spot.insertAt;
    int replaced = 0;
    if (!spot.found) {
        text = ' ' + std::string(name) + '=' + written;
    } else if (spot.hasValue) {
        text = written;
        offset = spot.replaceFrom;
        replaced = spot.replaceLength;
    } else {
        // Written as a bare name: the value goes after it rather than over it.
        text = '=' + written;
        offset = spot.replaceFrom;
    }
    // The form of the tag must survive: the "/" of the short form is never replaced (in
    // <a x= /> it reads as x's value), and a tag that is not in the short form but ends in "/>"
    // because the "/" follows a name character (<a b/>) loses that "/", which means nothing
    // there, rather than get text before it that ends in a quote and makes it the short form.
    const ElementRecord& element = m_records[position];
    const bool isShortForm = element.length == element.startTagLength && (element.flags & ElementRecord::NoEndTag) == 0;
    const int lastBeforeClose = element.start + element.startTagLength - 2;
    if (isShortForm && offset + replaced > lastBeforeClose) {
        offset = std::min(offset, lastBeforeClose);
        replaced = lastBeforeClose - offset;
    } else if (!isShortForm && offset + replaced == lastBeforeClose && m_text[lastBeforeClose] == '/') {
        ++replaced;
    }
    Splice(offset, replaced, text);
    const int delta = static_cast<int>(text.size()) - replaced;
    m_records[position].startTagLength += delta;
    m_records[position].length += delta;
    ShiftAfterChange(position, delta);
    return true;
}

bool CXmlDocument::SetAttribute(int position, std::string_view name, int value)
{
    return SetAttribute(position, name, std::to_string(value));
}

bool CXmlDocument::SetElementText(int position, std::string_view text)
{
    if (!IsElement(position) || m_records[position].firstChild != 0) {
        return false;
    }
    Insertion insertion;
    insertion.options = Insertion::ReplaceContent | Insertion::NoLineBreaks;
    insertion.text = EncodeEntities(UpToZero(text), EscapeForm::Text);
    const int delta = Insert(insertion, position, 0);
    m_records[position].length += delta;
    m_records[position].flags &= ~ElementRecord::ErrorInside;
    ShiftAfterChange(position, delta);
    return true;
}

bool CXmlDocument::SetElementText(int position, int value)
{
    return SetElementText(position, std::to_string(value));
}

// A document that was never set up gets its document record, so building can start at once.
void CXmlDocument::EnsureStore()
{
    if (m_records.empty()) {
        m_records.emplace_back();
        m_records[0].length = static_cast<int>(m_text.size());
    }
}

// Appends "<name/>" under `parent` after `previous` (after the last child when 0) and returns
// the new element.
int CXmlDocument::AppendUnder(int parent, int previous, std::string_view name)
{
    const int element = NewRecord();
    const int linkAfter = previous != 0 ? previous : LastChild(parent);
    Insertion insertion;
    insertion.text = '<' + std::string(name) + "/>";
    const int delta = Insert(insertion, parent, previous);
    ElementRecord& record = m_records[element];
    record.start = insertion.offset;
    record.startTagLength = static_cast<int>(insertion.text.size());
    record.length = record.startTagLength;
    record.level = parent == 0 ? 0 : m_records[parent].level + 1;
    LinkChild(parent, linkAfter, element);
    ShiftAfterChange(element, delta);
    return element;
}

// Splices the insertion's text into `parent` after `previous` (0: at the end of the parent's
// content) and returns the change in the text's length. The parent's tag lengths follow when
// it has to be opened up; its length and the other records are left to the caller.
int CXmlDocument::Insert(Insertion& insertion, int parent, int previous)
{
    const ElementRecord& host = m_records[parent];
    const bool isDocument = parent == 0;
    const bool isEmpty = !isDocument && host.length == host.startTagLength;
    const bool isBare = !isDocument && !isEmpty && host.length == host.startTagLength + host.endTagLength;
    const bool lineBreaks = (insertion.options & Insertion::NoLineBreaks) == 0;
    const std::string_view lineEnd = lineBreaks ? kLineEnd : std::string_view();

    int point = static_cast<int>(m_text.size());
    if (previous != 0) {
        point = m_records[previous].start + m_records[previous].length;
    } else if (!isDocument) {
        point = host.start + host.length - host.endTagLength;
    }
    if (!isEmpty && lineBreaks && (insertion.options & Insertion::ReplaceContent) == 0) {
        // Step over the line end behind a sibling, so the new element gets a line of its own.
        int after = point;
        while (after < static_cast<int>(m_text.size()) && IsXmlSpace(m_text[after])) {
            ++after;
        }
        if (after == static_cast<int>(m_text.size()) || m_text[after] == '<') {
            point = after;
        }
    }

    std::string spliced;
    int replaced = 0;
    if (isEmpty) {
        const std::string name(XmlTagName(StartTag(parent), 1));
        spliced = '>' + std::string(lineEnd) + insertion.text + std::string(lineEnd) + "</" + name;
        point = host.start + host.startTagLength - 1;  // the final ">"
        ElementRecord& opened = m_records[parent];
        if ((opened.flags & ElementRecord::NoEndTag) != 0) {
            opened.flags &= ~ElementRecord::NoEndTag;
        } else {
            --point;  // over the "/" of "/>"
            replaced = 1;
            --opened.startTagLength;
        }
        opened.endTagLength = static_cast<int>(name.size()) + 3;
        insertion.offset = point + 1 + static_cast<int>(lineEnd.size());
    } else if ((insertion.options & Insertion::ReplaceContent) != 0) {
        point = host.start + host.startTagLength;
        replaced = host.length - host.startTagLength - host.endTagLength;
        spliced = insertion.text + std::string(lineEnd);
        insertion.offset = point;
    } else if (isBare) {
        point = host.start + host.startTagLength;
        spliced = std::string(kLineEnd) + insertion.text + std::string(lineEnd);
        insertion.offset = point + static_cast<int>(kLineEnd.size());
    } else {
        spliced = insertion.text + std::string(lineEnd);
        insertion.offset = point;
    }
    Splice(point, replaced, spliced);
    return static_cast<int>(spliced.size()) - replaced;
}

// Replaces `replacedLength` bytes at `offset`. The string grows geometrically, so a splice at
// the end of the text is amortised constant in the text's size.
void CXmlDocument::Splice(int offset, int replacedLength, std::string_view text)
{
    m_text.replace(static_cast<std::size_t>(offset), static_cast<std::size_t>(replacedLength), text);
}

// After `delta` bytes changed inside `element`, whose own lengths are already set: moves the
// start of every element after the change and grows the length of every ancestor. Only the
// elements behind the change are visited, plus the ancestors.
void CXmlDocument::ShiftAfterChange(int element, int delta)
{
    if (delta == 0) {
        return;
    }
    ShiftDescendants(element, delta);
    for (int inner = element; inner != 0; inner = m_records[inner].parent) {
        for (int sibling = m_records[inner].nextSibling; sibling != 0; sibling = m_records[sibling].nextSibling) {
            m_records[sibling].start += delta;
            ShiftDescendants(sibling, delta);
        }
        m_records[m_records[inner].parent].length += delta;
    }
}

void CXmlDocument::ShiftDescendants(int root, int delta)
{
    for (int element = m_records[root].firstChild; element != 0;) {
        m_records[element].start += delta;
        if (m_records[element].firstChild != 0) {
            element = m_records[element].firstChild;
            continue;
        }
        while (element != root && m_records[element].nextSibling == 0) {
            element = m_records[element].parent;
        }
        element = element == root ? 0 : m_records[element].nextSibling;
    }
}
