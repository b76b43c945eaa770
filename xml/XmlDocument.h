#pragma once

#include <string>
#include <string_view>
#include <vector>

class XmlOpenTags;

// One element of the document: where it stands in the text and how it hangs in the tree.
// Offsets are byte offsets into the document text; links are record indexes, 0 for none
// (record 0 is the document itself).
struct ElementRecord {
    enum Flag {
        FirstChild = 1,     // the element is its parent's first child
        NoEndTag = 2,       // start tag only, not in the "/>" form (an element left unended)
        ErrorInside = 4,    // an error was found directly inside this element
        NotWellFormed = 8,  // record 0 only: the document has errors
    };

    int start = 0;           // offset of the element's "<"
    int length = 0;          // through the ">" of the end tag, or of the start tag without one
    int startTagLength = 0;  // "<" through ">"
    int endTagLength = 0;    // "</" through ">", 0 when there is none
    int flags = 0;
    int level = 0;           // nesting level when the element was made: top-level elements 0
    int parent = 0;
    int firstChild = 0;
    int nextSibling = 0;
    int previousSibling = 0;  // for the first child: the last child (the links form a ring)
};

enum class EscapeForm { Text, Attribute };

// An XML document held as one GBK text with element records that point into it. Parsing is
// lenient: it goes on after errors and keeps the first error's message in ResultText(). The
// document can be navigated with a cursor and read, and built in place: every change splices
// the text and corrects the records, so the text can be saved at any moment.
//
// The cursor is three positions (record indexes, 0 = none): the parent whose children are
// walked, the current element among them, and the current child of the current element.
// Positions stay valid until the next parse (SetDocument or a successful LoadFile).
//
// Names are compared exactly; an empty name given to FindElement or FindChildElement means
// "any element". Names given to the appenders are written as they are and must be tag names
// (no white space, "/", ">" or "<"). Values and texts given to the setters end at their first
// zero byte, as the document text does when it is parsed.
//
// Building a scheme file: SetDocument(declaration + "\r\n"), AppendElement("XML"), then
// AppendChildElement / EnterElement / LeaveElement to walk down and up, setting attributes and
// texts on ChildPosition() (or CurrentPosition()), and SaveFile.
class CXmlDocument {
public:
    // Replaces the text (empty when none is given), clears the result text and parses.
    // Returns IsValidDocument().
    bool SetDocument(std::string_view text = {});
    // Reads the whole file and parses it; true when the file was read (IsValidDocument() tells
    // how it parsed). False, with the document left as it was and the system's message for the
    // error in ResultText(), when the file cannot be read.
    bool LoadFile(const std::string& path);
    // Writes the text byte for byte over `path` with ReplaceWholeFile (platform/WholeFile.h):
    // the file is the old one or the new one, complete, whatever happens. False, with the
    // system's message in ResultText(), on failure (the old file then stays as it was).
    bool SaveFile(const std::string& path);

    // True when the document parsed without errors and has exactly one top-level element.
    bool IsValidDocument() const;
    const std::string& ResultText() const { return m_result; }
    const std::string& DocumentText() const { return m_text; }

    // Moves to the next element named `name` after the current one at the cursor's level; the
    // child becomes none. False, moving nothing, when there is none.
    bool FindElement(std::string_view name = {});
    // Moves the child to the next child named `name` of the current element, after the current
    // child (so repeated calls find each match in turn). Without a current element the first
    // element of the level becomes current first. False, moving no child, when there is none.
    bool FindChildElement(std::string_view name = {});
    // One level down: the current element becomes the parent and the child the current one.
    // False without a current element.
    bool EnterElement();
    // One level up, the reverse of EnterElement. False at the top level.
    bool LeaveElement();
    int ParentPosition() const { return m_parent; }
    int CurrentPosition() const { return m_current; }
    int ChildPosition() const { return m_child; }

    // Attribute `name` of the current child with references decoded; empty when the child or
    // the attribute is missing. An attribute written without a value reads as its own name.
    std::string GetChildAttribute(std::string_view name) const;
    // Text content of the current child: character data decoded, CDATA sections as they
    // stand, comments and processing instructions left out; empty when it has child elements.
    std::string GetChildText() const;
    // Replaces "&lt;", "&amp;", "&gt;", "&apos;", "&quot;" and numeric references "&#65;",
    // "&#x41;" (codes 1 to 255 as one byte, higher codes as GBK when GBK has them); any other
    // "&" stays as it is.
    static std::string DecodeEntities(std::string_view text);

    // Appends an element after the current one (at the end of the level when there is none)
    // and makes it current.
    bool AppendElement(std::string_view name);
    // Appends an element under the current one, after its current child (as its last child
    // when there is none), and makes it the current child. False without a current element.
    bool AppendChildElement(std::string_view name);
    // Sets attribute `name` of the element at `position`. False, changing nothing, when
    // `position` is not an element or the cursor is not on an element.
    bool SetAttribute(int position, std::string_view name, std::string_view value);
    bool SetAttribute(int position, std::string_view name, int value);
    // Sets the text of the element at `position`, replacing its content. False, changing
    // nothing, when `position` is not an element or the element has child elements.
    bool SetElementText(int position, std::string_view text);
    bool SetElementText(int position, int value);
    // Escapes "&", "<" and ">", and in the attribute form also both quote characters.
    static std::string EncodeEntities(std::string_view text, EscapeForm form);

    int RecordCount() const { return static_cast<int>(m_records.size()); }
    // The record at `position`, which must be below RecordCount().
    const ElementRecord& Record(int position) const { return m_records[static_cast<std::size_t>(position)]; }
    // The element's name as written after its "<".
    std::string_view ElementName(int position) const;

private:
    struct Insertion;

    // Where attribute lookup found an attribute in a start tag, or where a new one belongs.
    // Offsets are offsets in the document text.
    struct AttributeSpot {
        bool found = false;
        bool hasValue = false;   // false: written without "=" and a value
        std::string_view value;  // what the attribute reads as (its name when it has no value)
        int replaceFrom = 0;     // the value with its quotes, or where "=" and a value belong
        int replaceLength = 0;
        int insertAt = 0;  // where a missing attribute goes: after the tag name or the last value
    };

    void Parse();
    int BuildElements();
    int NewRecord();
    int LastChild(int parent) const;
    void LinkChild(int parent, int previous, int element);
    void LiftChildren(int element);
    void CloseUnended(XmlOpenTags& open, std::size_t keep, std::string_view endTagName, int endTagSlash);
    void MarkError(int parentElement, std::string message);

    bool IsElement(int position) const;
    std::string_view StartTag(int position) const;
    int FindNextElement(int after, int parent, std::string_view name) const;
    AttributeSpot FindAttribute(int position, std::string_view name) const;

    int AppendUnder(int parent, int previous, std::string_view name);
    int Insert(Insertion& insertion, int parent, int previous);
    void Splice(int offset, int replacedLength, std::string_view text);
    void ShiftAfterChange(int element, int delta);
    void ShiftDescendants(int root, int delta);
    void EnsureStore();

    std::string m_text;
    std::string m_result;
    int m_parent = 0;
    int m_current = 0;
    int m_child = 0;
    int m_nodeKind = 0;  // 1 while the cursor stands on an element
    // The records live in one vector: an index is a position, the vector's geometric growth
    // keeps taking a record amortised O(1), and indexes never change until the next parse
    // clears it. Empty until the first SetDocument.
    std::vector<ElementRecord> m_records;
};
