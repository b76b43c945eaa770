#include "xml/XmlDocument.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

const std::string kDeclaration = "<?xml version=\"1.0\" encoding=\"gb2312\"?>\r\n";

// Compares two documents' trees: the same shape, and per element the same start, length and
// tag lengths.
::testing::AssertionResult SameTree(const CXmlDocument& built, const CXmlDocument& parsed)
{
    std::vector<std::pair<int, int>> pending{{0, 0}};
    while (!pending.empty()) {
        const auto [left, right] = pending.back();
        pending.pop_back();
        const ElementRecord& a = built.Record(left);
        const ElementRecord& b = parsed.Record(right);
        if (a.start != b.start || a.length != b.length || a.startTagLength != b.startTagLength ||
            a.endTagLength != b.endTagLength) {
            return ::testing::AssertionFailure()
                   << "element " << left << " at " << a.start << "+" << a.length << " (" << a.startTagLength << ", "
                   << a.endTagLength << ") parses as " << b.start << "+" << b.length << " (" << b.startTagLength
                   << ", " << b.endTagLength << ")";
        }
        int childA = a.firstChild;
        int childB = b.firstChild;
        for (; childA != 0 && childB != 0; childA = built.Record(childA).nextSibling,
                                           childB = parsed.Record(childB).nextSibling) {
            if (built.Record(childA).parent != left) {
                return ::testing::AssertionFailure() << "element " << childA << " has a wrong parent link";
            }
            pending.emplace_back(childA, childB);
        }
        if (childA != childB) {
            return ::testing::AssertionFailure() << "element " << left << " has another number of children";
        }
        if (a.firstChild != 0 && built.Record(built.Record(a.firstChild).previousSibling).nextSibling != 0) {
            return ::testing::AssertionFailure() << "element " << left << " has a wrong ring end";
        }
    }
    return ::testing::AssertionSuccess();
}

CXmlDocument StartedExport()
{
    CXmlDocument document;
    document.SetDocument(kDeclaration);
    return document;
}

TEST(XmlBuildLayout, FirstElementFollowsTheDeclarationLine)
{
    CXmlDocument document = StartedExport();
    EXPECT_TRUE(document.AppendElement("XML"));
    EXPECT_EQ(document.DocumentText(), kDeclaration + "<XML/>\r\n");
    EXPECT_TRUE(document.IsValidDocument());
}

TEST(XmlBuildLayout, ShortFormParentOpensForItsFirstChild)
{
    CXmlDocument document;
    document.SetDocument("<a/>");
    document.FindElement("a");
    EXPECT_TRUE(document.AppendChildElement("b"));
    EXPECT_EQ(document.DocumentText(), "<a>\r\n<b/>\r\n</a>");
    EXPECT_TRUE(document.AppendChildElement("c"));
    EXPECT_EQ(document.DocumentText(), "<a>\r\n<b/>\r\n<c/>\r\n</a>");
    EXPECT_EQ(document.ChildPosition(), 3);
    EXPECT_EQ(document.CurrentPosition(), 1);
}

TEST(XmlBuildLayout, ParentsWithoutContentOrEndTagOpenToo)
{
    CXmlDocument bare;
    bare.SetDocument("<a></a>");
    bare.FindElement();
    bare.AppendChildElement("b");
    EXPECT_EQ(bare.DocumentText(), "<a>\r\n<b/>\r\n</a>");

    CXmlDocument oddName;
    oddName.SetDocument("<r><a?b/></r>");
    oddName.FindChildElement();
    oddName.SetElementText(2, "t");
    EXPECT_EQ(oddName.DocumentText(), "<r><a?b>t</a?b></r>") << "the end tag must close the tag";

    CXmlDocument unended;
    unended.SetDocument("<a x=1/>");
    unended.FindElement();
    unended.AppendChildElement("b");
    EXPECT_EQ(unended.DocumentText(), "<a x=1/>\r\n<b/>\r\n</a>");
    EXPECT_EQ(unended.Record(1).flags & ElementRecord::NoEndTag, 0);
}

TEST(XmlBuildLayout, ElementAfterASiblingGoesOnTheNextLine)
{
    CXmlDocument document;
    document.SetDocument("<r>\r\n<a/>\r\n<c/>\r\n</r>");
    document.FindChildElement("a");
    document.EnterElement();
    EXPECT_TRUE(document.AppendElement("b"));
    EXPECT_EQ(document.DocumentText(), "<r>\r\n<a/>\r\n<b/>\r\n<c/>\r\n</r>");
    EXPECT_EQ(document.Record(document.CurrentPosition()).start, 11);
    EXPECT_EQ(document.Record(3).start, 17) << "the following element moves";
}

TEST(XmlBuildLayout, AttributesAreSetInPlace)
{
    CXmlDocument document;
    document.SetDocument("<r><b/></r>");
    document.FindChildElement("b");
    const int b = document.ChildPosition();
    EXPECT_TRUE(document.SetAttribute(b, "n", "v"));
    EXPECT_EQ(document.DocumentText(), "<r><b n=\"v\"/></r>");
    EXPECT_TRUE(document.SetAttribute(b, "n", "w"));
    EXPECT_EQ(document.DocumentText(), "<r><b n=\"w\"/></r>");
    EXPECT_TRUE(document.SetAttribute(b, "m", 12));
    EXPECT_EQ(document.DocumentText(), "<r><b n=\"w\" m=\"12\"/></r>");
    EXPECT_TRUE(document.SetAttribute(b, "n", "\"&'<>"));
    EXPECT_EQ(document.DocumentText(), "<r><b n=\"&quot;&amp;&apos;&lt;&gt;\" m=\"12\"/></r>");
    EXPECT_EQ(document.GetChildAttribute("n"), "\"&'<>");
}

TEST(XmlBuildLayout, AttributeValuesReplaceWhatWasWritten)
{
    CXmlDocument document;
    document.SetDocument("<r><b x=1 y='2' flag z=\"3\" /></r>");
    document.FindChildElement("b");
    const int b = document.ChildPosition();
    document.SetAttribute(b, "x", "a");
    document.SetAttribute(b, "y", "b");
    document.SetAttribute(b, "flag", "c");
    document.SetAttribute(b, "new", "d");
    EXPECT_EQ(document.DocumentText(), "<r><b x=\"a\" y=\"b\" flag=\"c\" z=\"3\" new=\"d\" /></r>");
}

TEST(XmlBuildLayout, AttributeNeverTurnsATagIntoTheShortForm)
{
    CXmlDocument document;
    document.SetDocument("<r><a b/><c flag/></c></a></r>");
    document.FindChildElement("a");
    document.SetAttribute(2, "n", "v");
    document.SetAttribute(3, "flag", "w");
    EXPECT_EQ(document.DocumentText(), "<r><a b n=\"v\"><c flag=\"w\"></c></a></r>");

    document.SetDocument("<r><a x= /></r>");
    document.FindChildElement("a");
    EXPECT_EQ(document.GetChildAttribute("x"), "/");
    document.SetAttribute(2, "x", "v");
    EXPECT_EQ(document.DocumentText(), "<r><a x= \"v\"/></r>");
    CXmlDocument reparsed;
    EXPECT_TRUE(reparsed.SetDocument(document.DocumentText()));
    EXPECT_TRUE(SameTree(document, reparsed));

    // The quote belongs to the tag name, which runs up to the "/".
    document.SetDocument("<r><a,x='b/></r>");
    document.FindChildElement();
    document.SetAttribute(2, "n", "v");
    EXPECT_EQ(document.DocumentText(), "<r><a,x='b n=\"v\"/></r>");
    // An unclosed quote in the attributes, closed for the scanner by an earlier one.
    document.SetDocument("<r><a b\"c \"d' '/></r>");
    document.FindChildElement();
    document.SetAttribute(2, "n", "v");
    EXPECT_TRUE(reparsed.SetDocument(document.DocumentText()));
    EXPECT_TRUE(SameTree(document, reparsed));
}

TEST(XmlBuildLayout, ElementTextStandsOnTheElementsLine)
{
    CXmlDocument document;
    document.SetDocument("<r><b n=\"v\"/></r>");
    document.FindChildElement("b");
    const int b = document.ChildPosition();
    EXPECT_TRUE(document.SetElementText(b, ""));
    EXPECT_EQ(document.DocumentText(), "<r><b n=\"v\"></b></r>");
    EXPECT_TRUE(document.SetElementText(b, "x<y"));
    EXPECT_EQ(document.DocumentText(), "<r><b n=\"v\">x&lt;y</b></r>");
    EXPECT_EQ(document.GetChildText(), "x<y");
    EXPECT_TRUE(document.SetElementText(b, "z"));
    EXPECT_EQ(document.DocumentText(), "<r><b n=\"v\">z</b></r>");
    EXPECT_TRUE(document.SetElementText(b, -7));
    EXPECT_EQ(document.DocumentText(), "<r><b n=\"v\">-7</b></r>");
}

TEST(XmlBuildLayout, RefusalsChangeNothing)
{
    CXmlDocument document;
    document.SetDocument("<r><b/></r>");
    EXPECT_FALSE(document.AppendChildElement("x")) << "no current element";
    EXPECT_FALSE(document.SetAttribute(1, "n", "v")) << "the cursor is on nothing";
    document.FindElement();
    EXPECT_FALSE(document.SetAttribute(0, "n", "v"));
    EXPECT_FALSE(document.SetAttribute(9, "n", "v"));
    EXPECT_FALSE(document.SetElementText(0, "t"));
    EXPECT_FALSE(document.SetElementText(1, "t")) << "the element has a child element";
    EXPECT_EQ(document.DocumentText(), "<r><b/></r>");
}

TEST(XmlBuildLayout, SchemeExportShape)
{
    CXmlDocument document = StartedExport();
    document.AppendElement("XML");
    document.AppendChildElement("ProtocolData");
    document.EnterElement();
    for (int i = 0; i < 2; ++i) {
        document.AppendChildElement("Protocol");
        document.SetAttribute(document.ChildPosition(), "Name", "r" + std::to_string(i));
        document.EnterElement();
        document.AppendChildElement("Rx");
        document.SetAttribute(document.ChildPosition(), "IsHex", 1);
        document.SetElementText(document.ChildPosition(), "01 02");
        document.AppendChildElement("Sx");
        document.SetAttribute(document.ChildPosition(), "IsHex", 0);
        document.SetElementText(document.ChildPosition(), "");
        document.LeaveElement();
    }
    document.LeaveElement();
    document.AppendChildElement("SendList");
    EXPECT_EQ(document.DocumentText(), kDeclaration +
                                           "<XML>\r\n<ProtocolData>\r\n"
                                           "<Protocol Name=\"r0\">\r\n<Rx IsHex=\"1\">01 02</Rx>\r\n"
                                           "<Sx IsHex=\"0\"></Sx>\r\n</Protocol>\r\n"
                                           "<Protocol Name=\"r1\">\r\n<Rx IsHex=\"1\">01 02</Rx>\r\n"
                                           "<Sx IsHex=\"0\"></Sx>\r\n</Protocol>\r\n"
                                           "</ProtocolData>\r\n<SendList/>\r\n</XML>\r\n");
    CXmlDocument reparsed;
    EXPECT_TRUE(reparsed.SetDocument(document.DocumentText()));
    EXPECT_TRUE(SameTree(document, reparsed));
}

TEST(XmlBuildLayout, BuildingStartsOnANeverSetDocument)
{
    CXmlDocument document;
    EXPECT_TRUE(document.AppendElement("a"));
    EXPECT_EQ(document.DocumentText(), "<a/>\r\n");
    EXPECT_TRUE(document.IsValidDocument());
}

TEST(XmlEscaping, FormsDifferInTheQuotes)
{
    EXPECT_EQ(CXmlDocument::EncodeEntities("a&b<c>d'e\"f\r\n\t", EscapeForm::Text), "a&amp;b&lt;c&gt;d'e\"f\r\n\t");
    EXPECT_EQ(CXmlDocument::EncodeEntities("'\"", EscapeForm::Attribute), "&apos;&quot;");
    // 0x95 0x5C is one character whose trail byte is no "\"; 0x81 0x3C is a lead byte alone
    // and a "<".
    EXPECT_EQ(CXmlDocument::EncodeEntities("\x95\x5C\x81<", EscapeForm::Text), "\x95\x5C\x81&lt;");
}

TEST(XmlEscaping, LeadByteWithoutTrailByteCannotSwallowTheDelimiter)
{
    CXmlDocument document;
    document.SetDocument("<r><b/></r>");
    document.FindChildElement("b");
    document.SetAttribute(2, "n", "x\x81");
    document.SetElementText(2, "y\xFE");
    CXmlDocument reparsed;
    EXPECT_TRUE(reparsed.SetDocument(document.DocumentText()));
    reparsed.FindChildElement("b");
    EXPECT_EQ(reparsed.GetChildAttribute("n"), "x\x81");
    EXPECT_EQ(reparsed.GetChildText(), "y\xFE");

    CXmlDocument named;
    named.SetDocument("<r><\x95/></r>");
    named.FindChildElement();
    named.SetAttribute(2, "n", "v");
    EXPECT_EQ(named.DocumentText(), "<r><\x95 n=\"v\"/></r>");
}

TEST(XmlEscaping, TextsEndAtTheirFirstZeroByte)
{
    CXmlDocument document;
    document.SetDocument("<r><b/></r>");
    document.FindChildElement("b");
    document.SetAttribute(2, "n", std::string_view("v\0w", 3));
    document.SetElementText(2, std::string_view("t\0u", 3));
    EXPECT_EQ(document.DocumentText(), "<r><b n=\"v\">t</b></r>");
}

// Random building steps; after each, the text parsed anew must give the same tree, and the
// values set must read back.
class XmlBuildProperty : public ::testing::TestWithParam<unsigned> {
protected:
    std::string RandomName()
    {
        static const char* const kNames[] = {"a", "Rx", "Item", "Protocol", "\xD6\xD0", "x\x95\x5C"};
        return kNames[Pick(std::size(kNames))];
    }

    std::string RandomValue()
    {
        static const std::string kPieces[] = {"a", " ", "&", "<", ">", "\"", "'", "\r\n", "\t", "&amp;", "&#65;",
                                              "\xD6\xD0", "\x95\x5C", "\x95]", "]]>", "/>", "\x81", "-->", "1"};
        std::string value;
        for (std::size_t count = Pick(6); count > 0; --count) {
            value += kPieces[Pick(std::size(kPieces))];
        }
        return value;
    }

    std::size_t Pick(std::size_t count) { return std::uniform_int_distribution<std::size_t>(0, count - 1)(m_random); }

    std::mt19937 m_random{GetParam()};
};

TEST_P(XmlBuildProperty, ReparsingGivesTheSameTree)
{
    CXmlDocument document;
    document.SetDocument(Pick(2) == 0 ? kDeclaration : "<r>\r\n<s/>\r\n<t>x</t>\r\n</r>\r\n");
    for (int step = 0; step < 300; ++step) {
        const std::size_t operation = Pick(9);
        const int target = Pick(2) == 0 ? document.CurrentPosition() : document.ChildPosition();
        std::string expected;
        bool readsBack = false;
        if (operation == 0) {
            document.AppendElement(RandomName());
        } else if (operation == 1) {
            document.AppendChildElement(RandomName());
        } else if (operation == 2 || operation == 3) {
            const std::string name = Pick(2) == 0 ? "n" : "IsHex";
            expected = RandomValue();
            readsBack = document.SetAttribute(target, name, expected) && target == document.ChildPosition();
            if (readsBack) {
                EXPECT_EQ(document.GetChildAttribute(name), expected);
            }
        } else if (operation == 4) {
            expected = RandomValue();
            readsBack = document.SetElementText(target, expected) && target == document.ChildPosition();
            if (readsBack) {
                EXPECT_EQ(document.GetChildText(), expected);
            }
        } else if (operation == 5) {
            document.EnterElement();
        } else if (operation == 6) {
            document.LeaveElement();
        } else if (operation == 7) {
            document.FindElement();
        } else {
            document.FindChildElement();
        }
        CXmlDocument reparsed;
        reparsed.SetDocument(document.DocumentText());
        ASSERT_TRUE(SameTree(document, reparsed)) << "after step " << step << " (operation " << operation
                                                   << "):\n"
                                                   << document.DocumentText();
    }
    EXPECT_GT(document.RecordCount(), 30) << "the steps should have built a sizeable tree";
}

INSTANTIATE_TEST_SUITE_P(Seeds, XmlBuildProperty, ::testing::Range(1u, 41u));

}  // namespace
