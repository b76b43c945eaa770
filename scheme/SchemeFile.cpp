#include "scheme/SchemeFile.h"

#include "platform/ProfileText.h"
#include "xml/XmlDocument.h"

namespace {

constexpr int kIntervalForEmptyText = 200;
const char* const kDeclaration = "<?xml version=\"1.0\" encoding=\"gb2312\"?>\r\n";

// The current child's flag attribute and text, as a receive pattern or a reply stores them.
void ReadFlaggedText(const CXmlDocument& document, std::int32_t& isHex, std::string& text)
{
    isHex = ParseDecimalPrefix(document.GetChildAttribute("IsHex"));
    text = document.GetChildText();
}

void ImportRules(CXmlDocument& document, RuleList& rules)
{
    if (!document.FindChildElement("ProtocolData")) {
        return;
    }
    document.EnterElement();
    while (document.FindChildElement("Protocol")) {
        auto rule = std::make_unique<ProtocolRule>();
        rule->Name = document.GetChildAttribute("Name");
        document.EnterElement();
        if (document.FindChildElement("Rx")) {
            ReadFlaggedText(document, rule->RecvIsHex, rule->RecvData);
        }
        if (document.FindChildElement("Sx")) {
            ReadFlaggedText(document, rule->SendIsHex, rule->SendData);
        }
        document.LeaveElement();
        rules.push_back(std::move(rule));
    }
    document.LeaveElement();
}

void ImportInterval(CXmlDocument& document, int& interval)
{
    if (!document.FindChildElement("Setting")) {
        return;
    }
    document.EnterElement();
    if (document.FindChildElement("Interval")) {
        const std::string text = document.GetChildText();
        interval = text.empty() ? kIntervalForEmptyText : ParseDecimalPrefix(text);
    }
    document.LeaveElement();
}

void ImportSendItems(CXmlDocument& document, SendList& sendList)
{
    if (!document.FindChildElement("SendData")) {
        return;
    }
    document.EnterElement();
    while (document.FindChildElement("Item")) {
        auto item = std::make_shared<SendItem>();
        item->Caption = document.GetChildAttribute("Caption");
        item->Data = document.GetChildAttribute("Data");
        item->IsHex = ParseDecimalPrefix(document.GetChildAttribute("IsHex"));
        sendList.push_back(std::move(item));
    }
    document.LeaveElement();
}

// Appends the child `name` with an IsHex attribute and a text, as the rules' Rx and Sx.
void AppendFlaggedText(CXmlDocument& document, const char* name, std::int32_t isHex, const std::string& text)
{
    document.AppendChildElement(name);
    document.SetAttribute(document.ChildPosition(), "IsHex", isHex);
    document.SetElementText(document.ChildPosition(), text);
}

void ExportRules(CXmlDocument& document, const RuleList& rules)
{
    document.AppendChildElement("ProtocolData");
    document.EnterElement();
    for (const auto& rule : rules) {
        document.AppendChildElement("Protocol");
        document.SetAttribute(document.ChildPosition(), "Name", rule->Name);
        document.EnterElement();
        AppendFlaggedText(document, "Rx", rule->RecvIsHex, rule->RecvData);
        AppendFlaggedText(document, "Sx", rule->SendIsHex, rule->SendData);
        document.LeaveElement();
    }
    document.LeaveElement();
}

void ExportInterval(CXmlDocument& document, int interval)
{
    document.AppendChildElement("Setting");
    document.EnterElement();
    document.SetAttribute(document.CurrentPosition(), "Caption", "\xB2\xCE\xCA\xFD\xC9\xE8\xD6\xC3");  // 参数设置
    document.AppendChildElement("Interval");
    document.SetAttribute(document.ChildPosition(), "Caption", "\xB7\xA2\xCB\xCD\xBC\xE4\xB8\xF4");  // 发送间隔
    document.SetElementText(document.ChildPosition(), interval);
    document.LeaveElement();
}

void ExportSendItems(CXmlDocument& document, const SendList& sendList)
{
    document.AppendChildElement("SendData");
    document.EnterElement();
    document.SetAttribute(document.CurrentPosition(), "Caption", "\xB7\xA2\xCB\xCD\xC4\xDA\xC8\xDD");  // 发送内容
    for (const auto& item : sendList) {
        document.AppendChildElement("Item");
        document.SetAttribute(document.ChildPosition(), "Caption", item->Caption);
        document.SetAttribute(document.ChildPosition(), "Data", item->Data);
        document.SetAttribute(document.ChildPosition(), "IsHex", item->IsHex);
    }
    document.LeaveElement();
}

void BuildScheme(CXmlDocument& document, const RuleList& rules, int interval, const SendList& sendList)
{
    document.SetDocument(kDeclaration);
    document.AppendElement("XML");
    ExportRules(document, rules);
    ExportInterval(document, interval);
    ExportSendItems(document, sendList);
}

}  // namespace

bool ImportSchemeFile(const std::string& path, RuleList& rules, int& interval, SendList& sendList)
{
    CXmlDocument document;
    document.SetDocument();
    document.LoadFile(path);
    if (!document.FindElement("XML")) {
        return false;
    }
    rules.clear();
    ImportRules(document, rules);
    ImportInterval(document, interval);
    ImportSendItems(document, sendList);
    return true;
}

std::string SchemeFileText(const RuleList& rules, int interval, const SendList& sendList)
{
    CXmlDocument document;
    BuildScheme(document, rules, interval, sendList);
    return document.DocumentText();
}

bool ExportSchemeFile(const std::string& path, const RuleList& rules, int interval, const SendList& sendList)
{
    CXmlDocument document;
    BuildScheme(document, rules, interval, sendList);
    return document.SaveFile(path);
}
