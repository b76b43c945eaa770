#include "scheme/Scheme.h"

#include <algorithm>
#include <unordered_map>
#include <utility>

void Scheme::AddRule(ProtocolRule rule)
{
    rule.Id = ++lastRuleId_;
    rules_.push_back(std::make_unique<ProtocolRule>(std::move(rule)));
    TellRulesChanged();
}

bool Scheme::ChangeRule(const ProtocolRule* rule, ProtocolRule values)
{
    const auto found = std::find_if(rules_.begin(), rules_.end(), [rule](const auto& entry) { return entry.get() == rule; });
    if (rule == nullptr || found == rules_.end()) {
        return false;
    }
    values.Id = (*found)->Id;
    **found = std::move(values);
    TellRulesChanged();
    return true;
}

bool Scheme::RemoveRule(const ProtocolRule* rule)
{
    const auto found = std::find_if(rules_.begin(), rules_.end(), [rule](const auto& entry) { return entry.get() == rule; });
    if (rule == nullptr || found == rules_.end()) {
        return false;
    }
    rules_.erase(found);
    TellRulesChanged();
    return true;
}

void Scheme::AddSendItem(std::shared_ptr<SendItem> entry)
{
    sendList_.push_back(std::move(entry));
    TellSendListChanged();
}

bool Scheme::RemoveSendItem(const SendItem* entry)
{
    const auto found =
        std::find_if(sendList_.begin(), sendList_.end(), [entry](const auto& kept) { return kept.get() == entry; });
    if (entry == nullptr || found == sendList_.end()) {
        return false;
    }
    sendList_.erase(found);
    TellSendListChanged();
    return true;
}

void Scheme::ChangeSendItems(const std::vector<std::pair<const SendItem*, SendItem>>& changes)
{
    std::unordered_map<const SendItem*, SendItem*> entries;
    for (const std::shared_ptr<SendItem>& entry : sendList_) {
        entries.emplace(entry.get(), entry.get());
    }
    for (const auto& [entry, values] : changes) {
        const auto found = entries.find(entry);
        if (entry != nullptr && found != entries.end()) {
            *found->second = values;
        }
    }
    TellSendListChanged();
}

SchemeImport Scheme::Import(const std::string& path)
{
    const SchemeImport imported = ImportSchemeFile(path, rules_, interval_, sendList_);
    GiveRuleIds();
    TellRulesChanged();
    TellSendListChanged();
    return imported;
}

void Scheme::GiveRuleIds()
{
    for (const std::unique_ptr<ProtocolRule>& rule : rules_) {
        rule->Id = ++lastRuleId_;
    }
}

bool Scheme::Export(const std::string& path) const
{
    return ExportSchemeFile(path, rules_, interval_, sendList_);
}

void Scheme::AddListener(SchemeListener* listener)
{
    listeners_.push_back(listener);
}

void Scheme::RemoveListener(SchemeListener* listener)
{
    std::erase(listeners_, listener);
}

// Over a copy, skipping a listener that went while the ones before it heard of the change.
void Scheme::Tell(void (SchemeListener::*change)()) const
{
    for (SchemeListener* listener : std::vector(listeners_)) {
        if (std::find(listeners_.begin(), listeners_.end(), listener) != listeners_.end()) {
            (listener->*change)();
        }
    }
}

void Scheme::TellRulesChanged()
{
    if (newsHeld_ > 0) {
        rulesNewsHeld_ = true;
    } else {
        Tell(&SchemeListener::RulesChanged);
    }
}

void Scheme::TellSendListChanged()
{
    if (newsHeld_ > 0) {
        sendListNewsHeld_ = true;
    } else {
        Tell(&SchemeListener::SendListChanged);
    }
}

Scheme::NewsHeld::~NewsHeld()
{
    if (--scheme_.newsHeld_ > 0) {
        return;
    }
    if (std::exchange(scheme_.rulesNewsHeld_, false)) {
        scheme_.TellRulesChanged();
    }
    if (std::exchange(scheme_.sendListNewsHeld_, false)) {
        scheme_.TellSendListChanged();
    }
}
