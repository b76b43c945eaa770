#pragma once

// What the run whose written files are recorded in tests/app/written/ starts from: its scheme
// file and its Config.ini, whose COM3 is mapped to `device`. Linux runs it on a pseudo-terminal
// (tests/app/WrittenFilesTest.cpp), Windows on a COM port under Wine (tests/windows/WindowTest.cpp).
#include <memory>
#include <string>

#include "scheme/SchemeFile.h"

namespace recorded_run {

// "收到" and "测试" in GBK.
inline const std::string kReceived = "\xCA\xD5\xB5\xBD";
inline const std::string kTest = "\xB2\xE2\xCA\xD4";

inline std::string SchemeText()
{
    RuleList rules;
    rules.push_back(std::make_unique<ProtocolRule>(ProtocolRule{"ping", "PING", "PONG\r\n", 0, 0}));
    rules.push_back(std::make_unique<ProtocolRule>(ProtocolRule{kTest, "01 03", "01 03 02 00 2A", 1, 1}));
    SendList sendList;
    sendList.push_back(std::make_shared<SendItem>(SendItem{1, kTest, "AA 55"}));
    sendList.push_back(std::make_shared<SendItem>(SendItem{0, "text", "hello"}));
    return SchemeFileText(rules, 350, sendList);
}

inline std::string ConfigText(const std::string& device)
{
    return "[Setting]\r\nPort=2\r\nAutoRecive=1\r\nInterVal=250\r\nSendData=first line\r\n"
           "TimeStamp=1\r\nFrameGap=40\r\nShowSent=1\r\nCaptureFormat=log\r\n[Ports]\r\nCOM3=" +
           device + "\r\n[Tail]\r\nkept=1\r\n";
}

}  // namespace recorded_run
