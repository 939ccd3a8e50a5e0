#pragma once

#include <map>
#include <string>
#include <string_view>

namespace sim {

// Where each value of a JSON text starts, by JSON pointer ("/cells/0/entries"),
// so that a problem found after parsing can name its line. The text must be
// valid JSON (parse it first).
class JsonLocator {
  public:
    explicit JsonLocator(std::string_view text);

    // Line (from 1) of the value at pointer, or of its nearest ancestor that
    // was seen; 0 when none.
    int LineOf(std::string pointer) const;

    // A key as it appears in a JSON pointer ("~" and "/" escaped).
    static std::string EscapeKey(std::string_view key);

  private:
    void Value(const std::string& pointer, int depth);
    void SkipSpace();
    void Skip();
    void Scalar();
    std::string String();

    std::string_view Text;
    size_t At = 0;
    int Line = 1;
    std::map<std::string, int> Lines;
};

// Line and column (both from 1) of a byte offset in a text.
std::pair<int, int> LineAndColumn(std::string_view text, size_t offset);

}  // namespace sim
