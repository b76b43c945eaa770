// Parses arbitrary bytes, visits every element with the cursor as a scheme import does while
// reading attributes and texts, and decodes the input as a whole. When the input is a valid
// document, it also builds on it and checks that the result parses to the same elements.

#include "xml/XmlDocument.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

namespace {

// Depth first over every element, with the cursor alone.
void VisitAllElements(CXmlDocument& document)
{
    if (!document.FindElement()) {
        return;
    }
    for (;;) {
        while (document.FindChildElement()) {
            static_cast<void>(document.GetChildAttribute("Name"));
            static_cast<void>(document.GetChildAttribute("IsHex"));
            static_cast<void>(document.GetChildText());
            if (document.Record(document.ChildPosition()).firstChild != 0) {
                document.EnterElement();
            }
        }
        if (document.ParentPosition() != 0) {
            document.LeaveElement();
        } else if (!document.FindElement()) {
            return;
        }
    }
}

// Start, length and tag lengths of every element in document order.
std::vector<std::array<int, 4>> Layout(const CXmlDocument& document)
{
    std::vector<std::array<int, 4>> layout;
    for (int element = document.Record(0).firstChild; element != 0;) {
        const ElementRecord& record = document.Record(element);
        layout.push_back({record.start, record.length, record.startTagLength, record.endTagLength});
        if (record.firstChild != 0) {
            element = record.firstChild;
            continue;
        }
        while (element != 0 && document.Record(element).nextSibling == 0) {
            element = document.Record(element).parent;
        }
        element = element == 0 ? 0 : document.Record(element).nextSibling;
    }
    return layout;
}

void BuildOnValidDocument(std::string_view input)
{
    CXmlDocument document;
    if (!document.SetDocument(input) || !document.FindChildElement()) {
        return;
    }
    const int child = document.ChildPosition();
    document.SetAttribute(child, "Name", input.substr(0, 16));
    document.SetElementText(child, input.substr(input.size() / 2, 16));
    document.AppendChildElement("Item");
    document.SetAttribute(document.ChildPosition(), "Data", input.substr(0, 8));
    CXmlDocument reparsed;
    reparsed.SetDocument(document.DocumentText());
    if (Layout(reparsed) != Layout(document)) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    CXmlDocument document;
    document.SetDocument(input);
    VisitAllElements(document);
    static_cast<void>(CXmlDocument::DecodeEntities(input));
    BuildOnValidDocument(input);
    return 0;
}
