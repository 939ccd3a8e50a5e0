// One thing the host saw a module do, and the first difference between two of them.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace sim {

// One thing the host saw the module do: a call into the host with its
// arguments and result, a record's bytes, a message box, Invoke's result, the
// frames' balance, a crash. What is compared is the kind, the fields in order
// and the bytes; the text is for people (it also carries the call's number,
// which follows from what came before). Nothing in an event depends on where
// things lie in memory: frames are named by their ids, windows by whose they
// are.
struct Event {
    std::string Kind;  // "MX_SaveKData", "MessageBoxW", "MelvaraExtensionInvoke", "frames" ...
    std::vector<std::pair<std::string, std::string>> Fields;  // ("count", "30") ...
    std::string Bytes;       // a record's bytes, when the host saw them
    std::string BytesLabel;  // what they are: "tuplet record", "8-bit record" ...
    std::string Text;        // "#12 MX_SaveKData(tuplet, {5,0,0,0}, buffer, count 30, ...) = 1"

    Event& Add(std::string name, std::string value) {
        Fields.emplace_back(std::move(name), std::move(value));
        return *this;
    }
    // What is compared, on one line: two events are the same when these are.
    std::string Canonical() const;
    // The whole event on one line, and back (nothing for a line that is none).
    std::string Serialize() const;
    static std::optional<Event> Parse(const std::string& line);
};

// Where two runs part: what differs ("MX_SaveKData tuplet record byte 10")
// and its value in each. The key names the place without the values, so
// that runs that part at the same place group together.
struct EventDifference {
    std::string Where;  // "MX_SaveKData tuplet record byte 10", "the next event" ...
    std::string Old;    // "0x00", "\"Done.\"", "MX_FreeTGF(frame 1, 0x19000000)", "nothing more"
    std::string New;
    std::string Key;             // Where, and for "the next event" the two kinds
    std::optional<size_t> Byte;  // for bytes that differ, the first one's offset

    // "MX_SaveKData tuplet record byte 10: old 0x00, new 0x1B"
    std::string Title() const { return Where + ": old " + Old + ", new " + New; }
};

// The first difference between the events at one place of two runs; a null
// event is the end of its run. Nothing when they are the same.
std::optional<EventDifference> CompareEvents(const Event* oldEvent, const Event* newEvent);

// The bytes around offset in hex, for people: "+8: 00 00 1B 00 ..." (at most
// 8 bytes from a multiple of 8), or "(none)" beyond the end.
std::string BytesAround(const std::string& bytes, size_t offset);

}  // namespace sim
