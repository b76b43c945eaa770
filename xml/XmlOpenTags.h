#pragma once

#include <cstddef>
#include <string_view>
#include <unordered_map>
#include <vector>

// The start tags still open while the document's records are built, innermost last. An index
// finds the innermost tag an end tag closes without walking the stack, so stray end tags under
// deeply nested elements cost no more than any other. It is built at the first end tag that
// does not close the innermost tag, so a well-formed text never pays for it.
//
// An end tag named E closes an open tag named O when O equals E or goes on after E with "=",
// "[" or "]" (a tag name holds no space or "/"). So every open tag is indexed under its whole
// name and under each of its prefixes that stand before one of those three characters.
class XmlOpenTags {
public:
    struct Tag {
        int record;
        std::string_view name;  // points into the text being parsed
    };

    std::size_t Size() const { return m_tags.size(); }
    bool Empty() const { return m_tags.empty(); }
    const Tag& operator[](std::size_t depth) const { return m_tags[depth]; }
    const Tag& Innermost() const { return m_tags.back(); }

    void Push(int record, std::string_view name);
    void PopInnermost();
    // The number of open tags up to and including the innermost one an end tag named
    // `endTagName` closes; 0 when it closes none.
    std::size_t CountThroughMatch(std::string_view endTagName);

private:
    struct Key {
        std::string_view text;
        std::size_t hash;
        bool operator==(const Key& other) const { return text == other.text; }
    };
    struct KeyHash {
        std::size_t operator()(const Key& key) const noexcept { return key.hash; }
    };

    // Calls `visit` with every key of `name`; the hashes are computed in one pass over it.
    template <typename Visit>
    static void ForEachKey(std::string_view name, Visit visit);
    void Index(std::size_t depth, std::string_view name);

    std::vector<Tag> m_tags;
    bool m_indexed = false;
    std::unordered_map<Key, std::vector<std::size_t>, KeyHash> m_depthsByKey;  // ascending depths, maybe none
};
