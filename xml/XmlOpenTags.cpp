#include "xml/XmlOpenTags.h"

#include <cstdint>

namespace {

constexpr std::uint64_t kHashBasis = 14695981039346656037ULL;
constexpr std::uint64_t kHashPrime = 1099511628211ULL;

std::uint64_t HashStep(std::uint64_t hash, char byte)
{
    return (hash ^ static_cast<unsigned char>(byte)) * kHashPrime;
}

std::uint64_t HashOf(std::string_view text)
{
    std::uint64_t hash = kHashBasis;
    for (const char byte : text) {
        hash = HashStep(hash, byte);
    }
    return hash;
}

}  // namespace

template <typename Visit>
void XmlOpenTags::ForEachKey(std::string_view name, Visit visit)
{
    std::uint64_t hash = kHashBasis;
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (name[i] == '=' || name[i] == '[' || name[i] == ']') {
            visit(Key{name.substr(0, i), static_cast<std::size_t>(hash)});
        }
        hash = HashStep(hash, name[i]);
    }
    visit(Key{name, static_cast<std::size_t>(hash)});
}

void XmlOpenTags::Push(int record, std::string_view name)
{
    const std::size_t depth = m_tags.size();
    ForEachKey(name, [this, depth](const Key& key) { m_depthsByKey[key].push_back(depth); });
    m_tags.push_back({record, name});
}

void XmlOpenTags::PopInnermost()
{
    ForEachKey(m_tags.back().name, [this](const Key& key) {
        const auto found = m_depthsByKey.find(key);
        found->second.pop_back();
        if (found->second.empty()) {
            m_depthsByKey.erase(found);
        }
    });
    m_tags.pop_back();
}

std::size_t XmlOpenTags::CountThroughMatch(std::string_view endTagName) const
{
    const auto found = m_depthsByKey.find(Key{endTagName, static_cast<std::size_t>(HashOf(endTagName))});
    return found == m_depthsByKey.end() ? 0 : found->second.back() + 1;
}
