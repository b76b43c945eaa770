#include "xml/XmlDocument.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "tests/support/FileSizeLimit.h"

namespace {

// Parses `text` and returns the result text.
std::string ParseMessage(std::string_view text)
{
    CXmlDocument document;
    document.SetDocument(text);
    return document.ResultText();
}

// Names of the children of `position`, in order.
std::string ChildNames(const CXmlDocument& document, int position)
{
    std::string names;
    for (int child = document.Record(position).firstChild; child != 0; child = document.Record(child).nextSibling) {
        names += std::string(document.ElementName(child)) + " ";
    }
    return names;
}

// A document holding `text` inside a wrapper element, with the cursor's child on the first
// element of `text`.
CXmlDocument ChildOf(std::string_view text)
{
    CXmlDocument document;
    document.SetDocument("<w>" + std::string(text) + "</w>");
    document.FindChildElement();
    return document;
}

std::string ChildAttribute(std::string_view text, std::string_view name)
{
    return ChildOf(text).GetChildAttribute(name);
}

std::string ChildText(std::string_view text) { return ChildOf(text).GetChildText(); }

TEST(XmlScanning, MessagesForMissingOrExtraRoots)
{
    CXmlDocument document;
    EXPECT_FALSE(document.FindElement()) << "a new document has no store";
    EXPECT_FALSE(document.SetDocument());
    EXPECT_EQ(document.ResultText(), "Empty document");
    EXPECT_FALSE(document.FindElement());

    EXPECT_EQ(ParseMessage("<?xml version=\"1.0\" encoding=\"gb2312\"?>\r\n"), "No root element");
    EXPECT_EQ(ParseMessage("<a/><b/>"), "Root element has sibling");
    EXPECT_EQ(ParseMessage("<a/>"), "");
}

TEST(XmlScanning, IncorrectMarkupIsReportedAtItsOffset)
{
    EXPECT_EQ(ParseMessage("<a><!-x--></a>"), "Incorrect comment tag at offset 3");
    EXPECT_EQ(ParseMessage("<a><1/></a>"), "Incorrect tag name character at offset 3");
    EXPECT_EQ(ParseMessage("<a><!X></a>"), "Incorrect ! tag at offset 3");
    EXPECT_EQ(ParseMessage("<a><![X[y]]></a>"), "Incorrect tag at offset 3");
}

TEST(XmlScanning, UnterminatedMarkupNamesWhatWasOpen)
{
    EXPECT_EQ(ParseMessage("<a><!-- x"), "Comment at offset 3 unterminated");
    EXPECT_EQ(ParseMessage("<a><![CDATA[x"), "CDATA Section at offset 3 unterminated");
    EXPECT_EQ(ParseMessage("<a><?pi x"), "Processing instruction at offset 3 unterminated");
    EXPECT_EQ(ParseMessage("<a></a"), "Element end tag at offset 3 unterminated");
    EXPECT_EQ(ParseMessage("<a/><b x='>"), "Element tag at offset 4 unterminated");
    EXPECT_EQ(ParseMessage("<a/><!DOCTYPE a [ <!ELEMENT a ANY>"), "Doctype at offset 4 unterminated");
    EXPECT_EQ(ParseMessage("<a/><"), "tag at offset 4 unterminated");
}

TEST(XmlScanning, MarkupThatIsNotAnElementIsSkipped)
{
    CXmlDocument document;
    EXPECT_TRUE(document.SetDocument("<?xml version=\"1.0\"?><!DOCTYPE r [ <!ELEMENT r (#PCDATA)> <!-- > --> ]>"
                                     "<!-- <x/> --><r><![CDATA[<y/>]]><?p <z/> ?></r>"));
    EXPECT_EQ(ChildNames(document, 0), "r ");
    EXPECT_EQ(document.Record(document.Record(0).firstChild).firstChild, 0);
}

TEST(XmlScanning, QuotedGreaterThanDoesNotEndATag)
{
    EXPECT_EQ(ChildAttribute("<a x=\"1>2\"/>", "x"), "1>2");
    EXPECT_EQ(ChildAttribute("<a x='\">' y=\"'>\"/>", "y"), "'>");
}

TEST(XmlScanning, HugeAttributeValueReadsBack)
{
    const std::string value(4'000'000, 'v');
    EXPECT_EQ(ChildAttribute("<a x=\"" + value + "\"/>", "x"), value);
}

TEST(XmlScanning, EmptyElementNeedsSpaceOrQuoteBeforeSlash)
{
    CXmlDocument document;
    EXPECT_TRUE(document.SetDocument("<r><a/><b /><c x='1'/><d x=1/></d></r>"));
    EXPECT_EQ(ChildNames(document, 1), "a b c d ");
    EXPECT_EQ(document.Record(5).endTagLength, 4) << "the slash of x=1/ belongs to the value";

    EXPECT_EQ(ParseMessage("<a b/>"), "Element 'a' at offset 0 not ended");
}

TEST(XmlScanning, TrailBytesAreNeverMarkup)
{
    // 0x95 0x5C and 0x95 0x5D are GBK characters whose trail bytes are "\" and "]".
    const CXmlDocument document = ChildOf("<a n=\"\x95\x5C\"><![CDATA[\x95]]]></a>");
    EXPECT_EQ(document.GetChildText(), "\x95]");
    EXPECT_EQ(document.GetChildAttribute("n"), "\x95\x5C");

    CXmlDocument named;
    named.SetDocument("<r><x\x95\x5C\x95\x5D/></r>");
    EXPECT_FALSE(named.FindChildElement("x\x95"));
    EXPECT_TRUE(named.FindChildElement("x\x95\x5C\x95\x5D"));

    // A lead byte at the very end stands alone.
    EXPECT_EQ(ParseMessage("<a/>\x81"), "");
}

TEST(XmlRecovery, MismatchedEndTagClosesInnerElementsUnended)
{
    CXmlDocument document;
    EXPECT_FALSE(document.SetDocument("<a><b></a>"));
    EXPECT_EQ(document.ResultText(), "End tag 'a' at offset 7 does not match start tag 'b' at offset 3");
    EXPECT_EQ(ChildNames(document, 1), "b ");
    const ElementRecord& b = document.Record(2);
    EXPECT_EQ(b.length, 3);
    EXPECT_EQ(b.endTagLength, 0);
    EXPECT_NE(b.flags & ElementRecord::NoEndTag, 0);
    EXPECT_EQ(document.Record(1).length, 10);
}

TEST(XmlRecovery, ChildrenOfUnendedElementsMoveUp)
{
    CXmlDocument document;
    document.SetDocument("<r><a><b></r>");
    EXPECT_EQ(document.ResultText(), "End tag 'r' at offset 10 does not match start tag 'b' at offset 6");
    EXPECT_EQ(ChildNames(document, 1), "a b ");
    EXPECT_EQ(document.Record(3).parent, 1);
    EXPECT_EQ(document.Record(1).firstChild, 2);
    EXPECT_EQ(document.Record(2).previousSibling, 3) << "the ring end is the last lifted child";

    EXPECT_EQ(ParseMessage("<a>"), "Element 'a' at offset 0 not ended");
    EXPECT_EQ(ParseMessage("<a><b>"), "Root element has sibling");
}

TEST(XmlRecovery, StrayEndTagIsIgnored)
{
    CXmlDocument document;
    EXPECT_FALSE(document.SetDocument("</x><a/>"));
    EXPECT_EQ(document.ResultText(), "No start tag for end tag 'x' at offset 0");
    EXPECT_EQ(ChildNames(document, 0), "a ");
    EXPECT_NE(document.Record(0).flags & ElementRecord::NotWellFormed, 0);
    EXPECT_NE(document.Record(0).flags & ElementRecord::ErrorInside, 0);
}

TEST(XmlRecovery, EndTagClosesNamesThatGoOnWithEqualsOrBracket)
{
    EXPECT_EQ(ParseMessage("<a=b></a>"), "");
    EXPECT_EQ(ParseMessage("<a[1]></a[1>"), "");
    EXPECT_EQ(ParseMessage("<ab></a>"), "No start tag for end tag 'a' at offset 4");
    EXPECT_EQ(ParseMessage("<r><a><a=x></a></r>"), "End tag 'r' at offset 16 does not match start tag 'a' at offset 3")
        << "the innermost match closes";
    EXPECT_EQ(ParseMessage("<a><a=x></a></a>"), "");
}

TEST(XmlRecovery, StrayEndTagsUnderDeepNesting)
{
    constexpr int kDepth = 100000;
    std::string text = "<r>";
    for (int i = 0; i < kDepth; ++i) {
        text += "<a>";
    }
    for (int i = 0; i < kDepth; ++i) {
        text += "</b>";
    }
    CXmlDocument document;
    document.SetDocument(text + "</r>");
    EXPECT_EQ(document.ResultText(), "No start tag for end tag 'b' at offset 300003");
    EXPECT_EQ(document.RecordCount(), kDepth + 2);
    EXPECT_EQ(document.Record(kDepth + 1).parent, 1) << "every unended element hangs under r";
    EXPECT_EQ(document.Record(1).length, static_cast<int>(text.size()) + 4);
    EXPECT_NE(document.Record(1).flags & ElementRecord::ErrorInside, 0) << "moved up with every unended element";
}

TEST(XmlRecovery, OnlyTheFirstMessageIsKept)
{
    EXPECT_EQ(ParseMessage("<a><1><!x></a>"), "Incorrect tag name character at offset 3");
}

TEST(XmlRecovery, DeepNestingNeedsNoRecursion)
{
    constexpr int kDepth = 100000;
    std::string text;
    for (int i = 0; i < kDepth; ++i) {
        text += "<e>";
    }
    CXmlDocument unended;
    unended.SetDocument(text);
    EXPECT_EQ(unended.ResultText(), "Root element has sibling");
    EXPECT_EQ(unended.RecordCount(), kDepth + 1);
    EXPECT_EQ(unended.Record(kDepth).parent, 0);

    for (int i = 0; i < kDepth; ++i) {
        text += "</e>";
    }
    CXmlDocument nested;
    EXPECT_TRUE(nested.SetDocument(text));
    EXPECT_EQ(nested.Record(kDepth).level, kDepth - 1);
    EXPECT_EQ(nested.Record(1).length, static_cast<int>(text.size()));
}

TEST(XmlNavigation, FindElementWalksOneLevel)
{
    CXmlDocument document;
    document.SetDocument("<a/><b/><b/>");
    EXPECT_TRUE(document.FindElement("b"));
    EXPECT_EQ(document.CurrentPosition(), 2);
    EXPECT_TRUE(document.FindElement("b"));
    EXPECT_EQ(document.CurrentPosition(), 3);
    EXPECT_FALSE(document.FindElement("b"));
    EXPECT_EQ(document.CurrentPosition(), 3) << "a failed search leaves the cursor";
}

TEST(XmlNavigation, ChildSearchFindsEachMatchInTurn)
{
    CXmlDocument document;
    document.SetDocument("<p><Rx/><RxData/><rx/><x/><Rx/></p>");
    ASSERT_TRUE(document.FindChildElement("Rx")) << "with no current element the first one is taken";
    EXPECT_EQ(document.CurrentPosition(), 1);
    EXPECT_EQ(document.ChildPosition(), 2);
    ASSERT_TRUE(document.FindChildElement("Rx"));
    EXPECT_EQ(document.ChildPosition(), 6) << "neither RxData nor rx match";
    EXPECT_FALSE(document.FindChildElement("Rx"));
    EXPECT_EQ(document.ChildPosition(), 6);
}

TEST(XmlNavigation, EnterAndLeaveMoveTheCursorALevel)
{
    CXmlDocument document;
    document.SetDocument("<XML><ProtocolData><Protocol Name=\"p\"><Rx>1</Rx></Protocol></ProtocolData></XML>");
    EXPECT_FALSE(document.EnterElement());
    EXPECT_FALSE(document.LeaveElement());
    ASSERT_TRUE(document.FindElement("XML"));
    ASSERT_TRUE(document.FindChildElement("ProtocolData"));
    ASSERT_TRUE(document.EnterElement());
    EXPECT_EQ(document.ParentPosition(), 1);
    EXPECT_EQ(document.CurrentPosition(), 2);
    EXPECT_EQ(document.ChildPosition(), 0);
    ASSERT_TRUE(document.FindChildElement("Protocol"));
    EXPECT_EQ(document.GetChildAttribute("Name"), "p");
    ASSERT_TRUE(document.EnterElement());
    ASSERT_TRUE(document.FindChildElement("Rx"));
    EXPECT_EQ(document.GetChildText(), "1");
    ASSERT_TRUE(document.LeaveElement());
    EXPECT_EQ(document.ChildPosition(), 3);
    EXPECT_EQ(document.CurrentPosition(), 2);
    EXPECT_EQ(document.ParentPosition(), 1);

    ASSERT_TRUE(document.EnterElement());
    ASSERT_TRUE(document.EnterElement()) << "entering an element without a current child";
    EXPECT_EQ(document.CurrentPosition(), 0);
    EXPECT_FALSE(document.EnterElement());
}

TEST(XmlAttributes, LookupFollowsTheStartTag)
{
    EXPECT_EQ(ChildAttribute("<a flag />", "flag"), "flag");
    EXPECT_EQ(ChildAttribute("<a flag />", "y"), "");
    EXPECT_EQ(ChildAttribute("<a x = 'v 1' y=2/>", "x"), "v 1");
    EXPECT_EQ(ChildAttribute("<a x=1/>", "x"), "1/");
    EXPECT_EQ(ChildAttribute("<a x=\"&lt;&amp;&#65;\"/>", "x"), "<&A");
    EXPECT_EQ(ChildAttribute("<a \"x\"=1 x=2 />", "x"), "2") << "a quoted token is no name";
    EXPECT_EQ(ChildAttribute("<a x=>text y=\"1\"</a>", "y"), "") << "lookup stays in the start tag";
    EXPECT_EQ(ChildAttribute("<a xy=1 x=2 />", "x"), "2");
}

TEST(XmlText, ContentIsDecodedWithoutMarkup)
{
    EXPECT_EQ(ChildText("<a>1 &lt; 2 &amp;&#65;&#x42;&bogus;</a>"), "1 < 2 &AB&bogus;");
    EXPECT_EQ(ChildText("<a>x<!-- c --> y<![CDATA[<z>]]></a>"), "x y<z>");
    EXPECT_EQ(ChildText("<a>\r\n line \r\n</a>"), "\r\n line \r\n");
    EXPECT_EQ(ChildText("<a>x<?p?>y</a>"), "xy");
    EXPECT_EQ(ChildText("<a>x<b/>y</a>"), "") << "an element with child elements has no text";
    EXPECT_EQ(ChildText("<a/>"), "");
    EXPECT_EQ(ChildText("<a></a>"), "");
}

TEST(XmlEntities, ReferencesAreDecodedWhereComplete)
{
    EXPECT_EQ(CXmlDocument::DecodeEntities("&quot;&apos;&gt;&lt;&amp;"), "\"'><&");
    EXPECT_EQ(CXmlDocument::DecodeEntities("&amp"), "&amp") << "the name must fit before the end";
    EXPECT_EQ(CXmlDocument::DecodeEntities("&AMP;"), "&AMP;");
    EXPECT_EQ(CXmlDocument::DecodeEntities("&#0;&#;&#x;"), "&#0;&#;&#x;");
    EXPECT_EQ(CXmlDocument::DecodeEntities("&#00000065;"), "&#00000065;") << "more than 7 digits";
    EXPECT_EQ(CXmlDocument::DecodeEntities("&#0000065;"), "A");
    EXPECT_EQ(CXmlDocument::DecodeEntities("&#X41;"), "&#X41;") << "only a lower-case x";
    EXPECT_EQ(CXmlDocument::DecodeEntities("&#255;"), "\xFF");
    EXPECT_EQ(CXmlDocument::DecodeEntities("&#20013;"), "\xD6\xD0") << "higher codes become GBK";
    EXPECT_EQ(CXmlDocument::DecodeEntities("&#x1F600;&#55296;"), "&#x1F600;&#55296;");
    EXPECT_EQ(CXmlDocument::DecodeEntities("\x95&amp;\x95\x5C"), "\x95&\x95\x5C") << "& is no trail byte";
}

class XmlFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_directory = std::filesystem::temp_directory_path() /
                      ("xml_files_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
                       ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(m_directory);
    }
    void TearDown() override { std::filesystem::remove_all(m_directory); }

    std::string PathOf(const std::string& name) const { return (m_directory / name).string(); }

    static std::string Contents(const std::string& path)
    {
        std::ifstream file(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(file), {});
    }

    std::filesystem::path m_directory;
};

TEST_F(XmlFiles, LoadReadsBytesAndPrefixesTheParseMessage)
{
    const std::string path = PathOf("a.pol");
    std::ofstream(path, std::ios::binary) << "<a/>\r\n<b/>";
    CXmlDocument document;
    EXPECT_TRUE(document.LoadFile(path));
    EXPECT_EQ(document.ResultText(), "10 bytes, Root element has sibling");
    EXPECT_EQ(document.DocumentText(), "<a/>\r\n<b/>");

    std::ofstream(path, std::ios::binary | std::ios::trunc) << "<a/>";
    EXPECT_TRUE(document.LoadFile(path));
    EXPECT_EQ(document.ResultText(), "4 bytes");

    std::ofstream(path, std::ios::binary | std::ios::trunc);
    EXPECT_TRUE(document.LoadFile(path));
    EXPECT_EQ(document.ResultText(), "0 bytes, Empty document");
}

TEST_F(XmlFiles, FailedLoadLeavesTheDocument)
{
    CXmlDocument document;
    document.SetDocument("<a><b/></a>");
    document.FindChildElement("b");
    EXPECT_FALSE(document.LoadFile(PathOf("missing.pol")));
    EXPECT_EQ(document.ResultText(), "No such file or directory");
    EXPECT_EQ(document.DocumentText(), "<a><b/></a>");
    EXPECT_EQ(document.ChildPosition(), 2);

    EXPECT_FALSE(document.LoadFile(m_directory.string()));
    EXPECT_EQ(document.ResultText(), "Is a directory");
    EXPECT_EQ(document.DocumentText(), "<a><b/></a>");
}

TEST_F(XmlFiles, SaveWritesTheTextByteForByte)
{
    const std::string path = PathOf("out.pol");
    CXmlDocument document;
    document.SetDocument(std::string_view("<a>\r\n\x95\x5C\0</a>", 12));
    EXPECT_TRUE(document.SaveFile(path));
    EXPECT_EQ(document.ResultText(), "12 bytes");
    EXPECT_EQ(Contents(path), std::string("<a>\r\n\x95\x5C\0</a>", 12));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(m_directory), {}), 1) << "a temporary file stayed";

    document.SetDocument();
    EXPECT_TRUE(document.SaveFile(path));
    EXPECT_EQ(Contents(path), "");
}

TEST_F(XmlFiles, FailedSaveKeepsTheOldFile)
{
    const std::string path = PathOf("keep.pol");
    std::ofstream(path, std::ios::binary) << "old";
    EXPECT_TRUE(WithFileSizeLimit([&] {
        CXmlDocument document;
        document.SetDocument("<new>" + std::string(4096, 'n') + "</new>");
        return !document.SaveFile(path) && document.ResultText() == "File too large";
    })) << "the failed save was not reported with its reason";
    EXPECT_EQ(Contents(path), "old");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(m_directory), {}), 1) << "a temporary file stayed";

    CXmlDocument document;
    EXPECT_FALSE(document.SaveFile(PathOf("missing/x.pol")));
    EXPECT_EQ(document.ResultText(), "No such file or directory");
}

}  // namespace
