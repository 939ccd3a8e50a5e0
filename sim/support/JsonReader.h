// A JSON pull reader over text in memory: no tree, no recursion.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>

namespace sim {

// Text that is not JSON: where (line and column, both from 1) and why.
class JsonSyntaxError : public std::runtime_error {
  public:
    JsonSyntaxError(int line, int column, const std::string& problem)
        : std::runtime_error(problem), Line(line), Column(column) {}
    const int Line;
    const int Column;
};

// A pull parser over JSON text held in memory: the caller asks for the
// value it expects next and the reader checks the syntax as it goes, keeping
// the line of every value. It builds no tree and never recurses, so a file
// of any size or depth costs only what the caller keeps of it. Strings must
// be UTF-8; numbers are handed over as their text.
//
//   reader.BeginObject();
//   for (bool first = true; reader.NextKey(first, key); first = false) ...
class JsonReader {
  public:
    enum class Type { Object, Array, String, Number, True, False, Null };

    // A place in the text to come back to.
    struct Mark {
        size_t At = 0;
        int Line = 1;
        size_t LineStart = 0;
    };

    explicit JsonReader(std::string_view text);

    // The type of the next value; throws when nothing there starts one.
    Type Peek();
    // Line of the next value (after Peek) or of the current position.
    int Line() const { return CurrentLine; }
    Mark Here() const { return {At, CurrentLine, LineStart}; }
    void Seek(const Mark& mark);

    void BeginObject();
    // Steps to the next member of the object: its key, and true; false at
    // the closing brace. first is true for the call right after BeginObject.
    bool NextKey(bool first, std::string_view& key);
    void BeginArray();
    bool NextItem(bool first);

    // The string's contents, escapes decoded; valid until the next string.
    std::string_view ReadString();
    // The number as written; integral when it has no fraction or exponent.
    std::string_view ReadNumber(bool& integral);
    // Passes over the next value, of any depth.
    void Skip();
    // Only white space may follow the last value.
    void End();

    // The next value as written, on one line and cut to about max bytes:
    // for messages that say what was found.
    std::string Preview(size_t max = 40);

    [[noreturn]] void Fail(const std::string& problem) const;

  private:
    void SkipSpace();
    void Expect(char c, const char* what);
    void Literal(std::string_view word);
    unsigned HexQuad();
    size_t ValueEnd(size_t from, size_t limit) const;

    std::string_view Text;
    size_t At = 0;
    int CurrentLine = 1;
    size_t LineStart = 0;
    std::string Scratch;
};

}  // namespace sim
