#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "scheme/ReplyStatistics.h"
#include "scheme/SchemeFile.h"
#include "scheme/SchemeModel.h"

// Hears of the changes of a scheme, on the thread that made them.
class SchemeListener {
public:
    virtual ~SchemeListener() = default;
    virtual void RulesChanged() {}
    virtual void SendListChanged() {}
};

// The scheme a terminal works with: the auto-reply rules in matching order, the scheme interval
// and the send list. Everyone reads it; it changes only through the operations below, each of
// which tells every listener, so whoever shows or uses a part of it never has to be told by the
// one who edited it.
class Scheme {
public:
    const RuleList& Rules() const { return rules_; }
    const SendList& SendItems() const { return sendList_; }
    int Interval() const { return interval_; }

    void AddRule(ProtocolRule rule);
    // Gives this very rule of the list the values; false when it is not in the list.
    bool ChangeRule(const ProtocolRule* rule, ProtocolRule values);
    // Takes this very rule out of the list; false when it is not there.
    bool RemoveRule(const ProtocolRule* rule);

    void AddSendItem(std::shared_ptr<SendItem> entry);
    // Takes this very entry out of the send list; false when it is not there.
    bool RemoveSendItem(const SendItem* entry);
    // Gives each entry its values, the entries that are no longer in the list left alone, and
    // then tells the listeners once.
    void ChangeSendItems(const std::vector<std::pair<const SendItem*, SendItem>>& changes);

    // The scheme file at `path`, read as ImportSchemeFile reads it. The listeners hear of both
    // lists whatever the file held, also when it could not be read.
    SchemeImport Import(const std::string& path);
    // Writes the scheme to `path` (see ExportSchemeFile).
    bool Export(const std::string& path) const;

    // How the rules answered; every session that keeps statistics records here.
    ReplyStatistics& Statistics() { return statistics_; }
    const ReplyStatistics& Statistics() const { return statistics_; }

    void AddListener(SchemeListener* listener);
    void RemoveListener(SchemeListener* listener);

    // While one lives, the listeners' news is held back; when the last ends, they hear once of
    // each part that changed meanwhile. An editor whose changes count only when it closes holds
    // it while it runs.
    class NewsHeld {
    public:
        explicit NewsHeld(Scheme& scheme) : scheme_(scheme) { ++scheme_.newsHeld_; }
        ~NewsHeld();
        NewsHeld(const NewsHeld&) = delete;
        NewsHeld& operator=(const NewsHeld&) = delete;

    private:
        Scheme& scheme_;
    };

private:
    void Tell(void (SchemeListener::*change)()) const;
    void TellRulesChanged();
    void TellSendListChanged();
    void GiveRuleIds();

    RuleList rules_;
    int interval_ = 200;
    SendList sendList_;
    std::vector<SchemeListener*> listeners_;
    int newsHeld_ = 0;
    bool rulesNewsHeld_ = false;
    bool sendListNewsHeld_ = false;
    std::uint64_t lastRuleId_ = 0;
    ReplyStatistics statistics_;
};
