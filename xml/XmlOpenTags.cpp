#include "xml/XmlOpenTags.h"

#include "xml/XmlScanner.h"

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
    if (m_indexed) {
        Index(m_tags.size(), name);
    }
    m_tags.push_back({record, name});
}

void XmlOpenTags::PopInnermost()
{
    if (m_indexed) {
        // Emptied entries stay, so names that open and close again and again allocate nothing.
        ForEachKey(m_tags.back().name, [this](const Key& key) { m_depthsByKey.find(key)->second.pop_back(); });
    }
    m_tags.pop_back();
}

std::size_t XmlOpenTags::CountThroughMatch(std::string_view endTagName)
{
    if (!m_tags.empty() && XmlNameMatches(m_tags.back().name, endTagName)) {
        return m_tags.size();  // the usual case: the end tag closes the innermost element
    }
    if (!m_indexed) {
        for (std::size_t depth = 0; depth < m_tags.size(); ++depth) {
            Index(depth, m_tags[depth].name);
        }
        m_indexed = true;
    }
    const auto found = m_depthsByKey.find(Key{endTagName, static_cast<std::size_t>(HashOf(endTagName))});
    return found == m_depthsByKey.end() || found->second.empty() ? 0 : found->second.back() + 1;
}

void XmlOpenTags::Index(std::size_t depth, std::string_view name)
{
    ForEachKey(name, [this, depth](const Key& key) { m_depthsByKey[key].push_back(depth); });
}
