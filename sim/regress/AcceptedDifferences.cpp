// Reading the group keys of an earlier regress report with the JSON pull reader.
#include "sim/regress/AcceptedDifferences.h"

#include <fstream>
#include <sstream>

#include "sim/support/JsonReader.h"

namespace sim {

std::optional<std::set<std::string>> ReadAcceptedDifferences(const std::string& path,
                                                             std::string& error) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    if (!file) {
        error = "--accept: cannot read " + path;
        return std::nullopt;
    }
    const std::string content = text.str();
    std::set<std::string> keys;
    bool groups = false;
    try {
        JsonReader reader(content);
        reader.BeginObject();
        std::string_view member;
        for (bool first = true; reader.NextKey(first, member); first = false) {
            if (member != "groups") {
                reader.Skip();
                continue;
            }
            groups = true;
            reader.BeginArray();
            for (bool item = true; reader.NextItem(item); item = false) {
                reader.BeginObject();
                bool keyed = false;
                std::string_view field;
                for (bool firstField = true; reader.NextKey(firstField, field);
                     firstField = false) {
                    if (field == "key" && reader.Peek() == JsonReader::Type::String) {
                        keys.emplace(reader.ReadString());
                        keyed = true;
                    } else {
                        reader.Skip();
                    }
                }
                if (!keyed)
                    reader.Fail("a group without a \"key\"");
            }
        }
        reader.End();
    } catch (const JsonSyntaxError& problem) {
        error = "--accept: " + path + ":" + std::to_string(problem.Line) + ": " + problem.what();
        return std::nullopt;
    }
    if (!groups) {
        error = "--accept: " + path + " is no report of melvara-sim regress: it has no \"groups\"";
        return std::nullopt;
    }
    return keys;
}

}  // namespace sim
