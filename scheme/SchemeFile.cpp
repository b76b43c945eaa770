#include "scheme/SchemeFile.h"

#include <filesystem>

#include "platform/Utf8Path.h"
#include "platform/ProfileText.h"
#include "platform/WholeFile.h"
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

bool IsMissing(const std::string& path)
{
    std::error_code error;
    return !std::filesystem::exists(PathFromUtf8(path), error) && !error;
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

SchemeImport ImportSchemeFile(const std::string& path, RuleList& rules, int& interval, SendList& sendList)
{
    CXmlDocument document;
    document.SetDocument();
    const bool loaded = document.LoadFile(path);
    SchemeImport result;
    result.rootFound = document.FindElement("XML");
    result.incomplete = loaded ? !(result.rootFound && document.IsValidDocument()) : !IsMissing(path);
    if (!result.rootFound) {
        return result;
    }
    rules.clear();
    ImportRules(document, rules);
    ImportInterval(document, interval);
    ImportSendItems(document, sendList);
    return result;
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

bool KeepSchemeCopy(const std::string& path)
{
    std::string contents;
    return !ReadWholeFile(path, contents) && !ReplaceWholeFile(path + ".bak", contents);
}

std::string IncompleteDefaultSchemeLine(bool copyKept)
{
    // "无法完整读取，" then "已保存为" or "也不能保存为", and "，退出时不会改写它" when there is no copy
    const std::string unreadable = "\r\n--Default.pol \xCE\xDE\xB7\xA8\xCD\xEA\xD5\xFB\xB6\xC1\xC8\xA1\xA3\xAC";
    if (copyKept) {
        return unreadable + "\xD2\xD1\xB1\xA3\xB4\xE6\xCE\xAA Default.pol.bak--\r\n";
    }
    return unreadable + "\xD2\xB2\xB2\xBB\xC4\xDC\xB1\xA3\xB4\xE6\xCE\xAA Default.pol.bak"
                        "\xA3\xAC\xCD\xCB\xB3\xF6\xCA\xB1\xB2\xBB\xBB\xE1\xB8\xC4\xD0\xB4\xCB\xFC--\r\n";
}
