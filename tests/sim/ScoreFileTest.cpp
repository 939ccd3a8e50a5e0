// Score files: what they accept, how a bad one is reported, round trips and
// atomic writes.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "sim/score/ScoreFile.h"
#include "sim/score/ScoreGenerator.h"
#include "sim/support/AtomicFile.h"
#include "tests/sim/SimTestHelpers.h"

#ifndef MELVARA_SAMPLES_DIR
#error "MELVARA_SAMPLES_DIR must name the samples folder"
#endif

namespace {

namespace fs = std::filesystem;

// A fresh folder for one test, removed afterwards.
class TempDir {
  public:
    TempDir() {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        Path = fs::temp_directory_path() /
               (std::string("melvara-sim-") + info->test_suite_name() + "-" + info->name());
        fs::remove_all(Path);
        fs::create_directories(Path);
    }
    ~TempDir() { fs::remove_all(Path); }
    fs::path Path;
};

using simtest::ReadText;

constexpr const char* kMinimal = R"({
  "measures": 2,
  "staves": [{"slot": 1, "staff": 4}],
  "cells": [
    {"measure": 2, "staff": 4, "layer": 1, "entries": [
      {"entry": 70000, "position": -8, "notes": 2, "tuplets": [
        {"OptionBits": "0x0003", "Position1": 0, "Position2": -1, "Value1": 0, "Value2": 0,
         "Flags": "0x8000", "Value3": 0, "Value4": 0, "Value5": 0, "Value6": 0, "Value7": 0},
        {"index": 5, "words": [1, 2, 3, "0xFFFF", 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0]},
        {"words": [6, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0]}
      ]}
    ]}
  ]
})";

TEST(ScoreFile, ReadsNamedFieldsHexAndDecimalNumbersAndNestedTuplets) {
    const sim::Score score = sim::ParseScore(kMinimal, "minimal.json");
    EXPECT_EQ(score.Document, 1) << "defaults for what is left out";
    EXPECT_EQ(score.LayerCount, 4);
    EXPECT_EQ(score.Measures, 2);
    ASSERT_EQ(score.Staves.size(), 1u);
    EXPECT_EQ(score.Staves[0].Scope, 0);

    sim::CellKey cell;
    const sim::Entry* entry = score.FindEntry(70000, &cell);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(cell, (sim::CellKey{2, 4, 0})) << "layer 1 in the file is index 0";
    EXPECT_EQ(entry->Position, -8);
    EXPECT_EQ(entry->Flags, sim::kEntryHasTuplets) << "flags default to the tuplet bit";
    EXPECT_EQ(entry->Notes.size(), 2u);

    EXPECT_EQ(score.TupletIndices(70000), (std::vector<uint16_t>{0, 5, 6}))
        << "a tuplet without an index follows the one before it";
    const auto first = score.Tuplet(70000, 0);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->OptionBits, 3);
    EXPECT_EQ(first->Position2, 0xFFFF) << "-1 is the word 0xFFFF";
    EXPECT_EQ(first->Flags, 0x8000);
    EXPECT_EQ(score.Tuplet(70000, 5)->HeadWords, (std::array<uint16_t, 4>{1, 2, 3, 0xFFFF}))
        << "raw words, with an index";
    EXPECT_NE(score.FindRecord(sim::kTupletTag, {70000 & 0xFFFF, 1, 5, 0}), nullptr)
        << "keys: entry number low word, high word, index, 0";
}

TEST(ScoreFile, MalformedFilesNameTheFileThePlaceAndTheProblem) {
    struct Case {
        const char* name;
        std::string text;
        int line;
        const char* pointer;
        const char* problem;
    };
    const Case cases[] = {
        {"not JSON", "{\n  \"measures\": 2,\n  \"staves\": [\n}", 4, "", "not valid JSON"},
        {"empty file", "", 1, "", "not valid JSON"},
        {"top level not an object", "[1, 2]", 1, "", "expected an object"},
        {"unknown top-level field", "{\n \"measure\": 3\n}", 2, "/measure",
         "unknown field \"measure\""},
        {"word out of range",
         "{\"measures\": 1, \"staves\": [{\"slot\": 1, \"staff\": 1}],\n \"cells\": [{\"measure\": 1, \"staff\": 1,"
         " \"layer\": 1,\n  \"entries\": [{\"entry\": 1, \"tuplets\": [\n   {\"Flags\": "
         "\"0x1FFFF\"}]}]}]}",
         4, "/cells/0/entries/0/tuplets/0/Flags", "expected a number from -32768 to 65535"},
        {"misspelt field name", "{\"defaults\": {\n  \"Postion1\": 3\n}}", 2, "/defaults/Postion1",
         "unknown field \"Postion1\""},
        {"bad hex string", "{\"document\": \"0xZZ\"}", 1, "/document",
         "not a decimal or \"0x...\""},
        {"fraction", "{\"measures\": 1.5}", 1, "/measures", "expected an integer"},
        {"staff not in staves",
         "{\"measures\": 1, \"staves\": [{\"slot\": 1, \"staff\": 1}],\n\"cells\": [\n {\"measure\": 1, \"staff\": "
         "2, "
         "\"layer\": 1}]}",
         3, "/cells/0/staff", "no staff 2"},
        {"measure beyond the score",
         "{\"measures\": 2, \"staves\": [{\"slot\": 1, \"staff\": 1}],\n\"cells\": [\n "
         "{\"measure\": 3, "
         "\"staff\": 1, \"layer\": 1}]}",
         3, "/cells/0/measure", "from 1 to 2"},
        {"entry number used twice",
         "{\"measures\": 1, \"staves\": [{\"slot\": 1, \"staff\": 1}], \"cells\": [{\"measure\": 1, "
         "\"staff\": 1, \"layer\": 1, \"entries\": [\n{\"entry\": 5},\n{\"entry\": 5}]}]}",
         3, "/cells/0/entries/1/entry", "used twice (also at /cells/0/entries/0, line 2)"},
        {"thirteen notes",
         "{\"measures\": 1, \"staves\": [{\"slot\": 1, \"staff\": 1}], \"cells\": [{\"measure\": 1, "
         "\"staff\": 1, \"layer\": 1, \"entries\": [{\"entry\": 5, \"notes\": 13}]}]}",
         1, "/cells/0/entries/0/notes", "from 0 to 12"},
        {"staff given twice",
         "{\"staves\": [\n{\"slot\": 1, \"staff\": 1},\n{\"slot\": 2, \"staff\": 1}]}", 3,
         "/staves/1/staff", "staff 1 is given twice"},
        {"thirteen note blocks",
         "{\"measures\": 1, \"staves\": [{\"slot\": 1, \"staff\": 1}], \"cells\": [{\"measure\": 1, "
         "\"staff\": 1, \"layer\": 1, \"entries\": [{\"entry\": 5, \"notes\": [\"00000000000000000000\", "
         "\"00000000000000000000\", \"00000000000000000000\", \"00000000000000000000\", "
         "\"00000000000000000000\", \"00000000000000000000\", \"00000000000000000000\", "
         "\"00000000000000000000\", \"00000000000000000000\", \"00000000000000000000\", "
         "\"00000000000000000000\", \"00000000000000000000\", \"00000000000000000000\"]}]}]}",
         1, "/cells/0/entries/0/notes/12", "an entry record holds at most 12 notes"},
        {"slot given twice",
         "{\"staves\": [\n{\"slot\": 1, \"staff\": 1},\n{\"slot\": 1, \"staff\": 2}]}", 3,
         "/staves/1/slot", "slot 1 is given twice"},
        {"record given twice",
         "{\"measures\": 1, \"defaults\": {\"words\": [7]},\n\"records\": [\n{\"tag\": \"pfTP\", "
         "\"keys\": [1,0,0,0], \"bytes\": \"\"}]}",
         3, "/records/0", "given twice (also at /defaults, line 1)"},
        {"odd hex digits",
         "{\"records\": [{\"tag\": \"ot14\", \"keys\": [1,0,0,0],\n \"bytes\": \"123\"}]}", 2,
         "/records/0/bytes", "odd number of hex digits"},
        {"bad tag", "{\"records\": [{\"tag\": \"ot1\", \"keys\": [1,0,0,0], \"words\": []}]}", 1,
         "/records/0/tag", "four characters"},
        {"three keys", "{\"records\": [{\"tag\": \"ot14\", \"keys\": [1,0,0], \"words\": []}]}", 1,
         "/records/0/keys", "four key words"},
        {"fields and raw bytes", "{\"defaults\": {\"Value1\": 1, \"bytes\": \"00\"}}", 1,
         "/defaults/Value1", "cannot be given together with raw bytes"},
        {"hidden layer beyond the count", "{\"layers\": {\"count\": 2, \"hidden\": [3]}}", 1,
         "/layers/hidden/0", "from 1 to 2"},
        {"hidden layer 0", "{\"layers\": {\"count\": 2, \"hidden\": [0]}}", 1,
         "/layers/hidden/0", "from 1 to 2, found 0"},
        {"hidden layer of a score without layers",
         "{\"layers\": {\"count\": 0, \"hidden\": [1]}}", 1, "/layers/hidden/0",
         "the score has no layers"},
        {"a note block of 9 bytes",
         "{\"measures\": 1, \"staves\": [{\"slot\": 1, \"staff\": 1}], \"cells\": [{\"measure\": 1, "
         "\"staff\": 1, \"layer\": 1, \"entries\": [{\"entry\": 1, \"notes\": [\n"
         "\"3C00 0100 0000 0000 00\"]}]}]}",
         2, "/cells/0/entries/0/notes/0", "a note block has 10 bytes, found 9"},
        {"hidden layer listed twice", "{\"layers\": {\"count\": 2, \"hidden\": [1, 1]}}", 1,
         "/layers/hidden/1", "layer 1 is listed twice"},
        {"an entry number used three times: the first repeat is named",
         "{\"measures\": 1, \"staves\": [{\"slot\": 1, \"staff\": 1}], \"cells\": [{\"measure\": 1, "
         "\"staff\": 1, \"layer\": 1, \"entries\": [\n{\"entry\": 5},\n{\"entry\": 5},\n{\"entry\": 5}]}]}",
         3, "/cells/0/entries/1/entry", "used twice (also at /cells/0/entries/0, line 2)"},
        {"a tuplet after index 65535",
         "{\"measures\": 1, \"staves\": [{\"slot\": 1, \"staff\": 1}], \"cells\": [{\"measure\": 1, "
         "\"staff\": 1, \"layer\": 1, \"entries\": [{\"entry\": 1, \"tuplets\": [\n"
         "{\"index\": 65535, \"bytes\": \"\"},\n{\"bytes\": \"\"}]}]}]}",
         3, "/cells/0/entries/0/tuplets/1", "no index left after 65535"},
        {"the same cell twice",
         "{\"measures\": 1, \"staves\": [{\"slot\": 1, \"staff\": 1}], \"cells\": [\n"
         "{\"measure\": 1, \"staff\": 1, \"layer\": 1},\n{\"measure\": 1, \"staff\": 1, \"layer\": 1}]}",
         3, "/cells/1", "staff 1, measure 1, layer 1 is given twice (also at /cells/0, line 2)"},
        {"a record given three times: the first repeat is named",
         "{\"measures\": 1, \"records\": [\n{\"tag\": \"ot14\", \"keys\": [1,0,0,0], \"words\": []},\n"
         "{\"tag\": \"ot14\", \"keys\": [1,0,0,0], \"words\": []},\n"
         "{\"tag\": \"ot14\", \"keys\": [1,0,0,0], \"words\": []}]}",
         3, "/records/1", "given twice (also at /records/0, line 2)"},
        {"wrong format", "{\"format\": \"other\"}", 1, "/format",
         "expected \"melvara-sim score 1\""},
        {"number beyond a double", "[1e400]", 1, "", "expected an object, found [1e400]"},
        {"unknown field holding such a number", "{\"a\":-1e999}", 1, "/a", "unknown field \"a\""},
        {"such a number where an integer belongs", "{\n\"measures\": -1e999}", 2, "/measures",
         "expected an integer (decimal, or a \"0x...\" hex string), found -1e999"},
        {"integer beyond 64 bits", "{\"measures\": 99999999999999999999}", 1, "/measures",
         "from 0 to 32767, found 99999999999999999999"},
        {"100,000 brackets", std::string(100000, '[') + std::string(100000, ']'), 1, "",
         "expected an object, found [[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[..."},
        {"100,000 brackets among the cells, before the measures",
         "{\"cells\": [" + std::string(100000, '[') + std::string(100000, ']') +
             "],\n\"measures\": 1}",
         1, "/cells/0", "expected an object, found [[["},
        {"key given twice", "{\"measures\": 1,\n\"measures\": 2}", 2, "/measures",
         "\"measures\" is given twice (first at line 1)"},
        {"no measures", "{\n  \"staves\": []\n}", 1, "", "missing field \"measures\""},
        {"empty tuplet",
         "{\"measures\": 1, \"staves\": [{\"slot\": 1, \"staff\": 1}], \"layers\": {}, \"cells\": "
         "[{\"measure\": 1, \"staff\": 1, \"layer\": 1, \"entries\": [{\"entry\": 1, \"tuplets\": "
         "[\n{}]}]}]}",
         2, "/cells/0/entries/0/tuplets/0", "no fields given: a tuplet definition needs"},
        {"tuplet without some fields",
         "{\"measures\": 1, \"defaults\": {\"HeadWords\": [0, 0, 0, 0], \"OptionBits\": 0, "
         "\"Position2\": 0, \"Value1\": 0, \"Value2\": 0, \"Flags\": 0, \"Value3\": 0, \"Value4\": "
         "0, \"Value5\": 0, \"Value6\": 0}}",
         1, "/defaults", "missing fields \"Position1\", \"Value7\""},
        {"cells before the fields they need",
         "{\"cells\": [\n{\"measure\": 3, \"staff\": 1, \"layer\": 1}],\n\"measures\": 2, "
         "\"staves\": [{\"slot\": 1, \"staff\": 1}]}",
         2, "/cells/0/measure", "from 1 to 2, found 3"},
        {"text after the score", "{\"measures\": 1}\n{}", 2, "", "not valid JSON (column 1)"},
        {"bytes that are not UTF-8", "{\"measures\": 1, \"description\": \"\xFF\"}", 1, "",
         "not valid JSON (column 33): a string holds byte 0xFF, which is not UTF-8"},
        {"leading zero", "{\"measures\": 01}", 1, "", "may not start with 0"},
        {"leading zero in a string", "{\"measures\": \"010\"}", 1, "/measures",
         "\"010\" starts with 0"},
        {"space in a string", "{\"measures\": \" 1\"}", 1, "/measures", "not a decimal"},
        {"trailing comma", "{\"measures\": 1,}", 1, "", "expected a member name"},
        {"a string that never ends, for a score", "\"measu\\", 1, "",
         "expected an object, found \"measu\\"},
    };
    for (const Case& c : cases) {
        try {
            sim::ParseScore(c.text, "bad.json");
            ADD_FAILURE() << c.name << ": accepted";
        } catch (const sim::ScoreFileError& e) {
            EXPECT_EQ(e.File, "bad.json") << c.name;
            EXPECT_EQ(e.Line, c.line) << c.name << ": " << e.what();
            EXPECT_EQ(e.Pointer, c.pointer) << c.name << ": " << e.what();
            EXPECT_NE(e.Problem.find(c.problem), std::string::npos) << c.name << ": " << e.what();
            const std::string expectedStart = "bad.json:" + std::to_string(c.line) + ": ";
            EXPECT_EQ(std::string(e.what()).rfind(expectedStart, 0), 0u)
                << c.name << ": " << e.what();
        }
    }
}

TEST(ScoreFile, AFileThatCannotBeReadLoadsNothing) {
    TempDir dir;
    std::string error;
    EXPECT_FALSE(sim::ReadScoreFile(dir.Path / "missing.json", error));
    EXPECT_NE(error.find("missing.json"), std::string::npos) << error;
    EXPECT_FALSE(sim::ReadScoreFile(dir.Path, error)) << "a folder";
    EXPECT_NE(error.find("directory"), std::string::npos) << error;

    std::ofstream(dir.Path / "bad.json") << "{\"measures\": \"many\"}";
    EXPECT_FALSE(sim::ReadScoreFile(dir.Path / "bad.json", error));
    EXPECT_NE(error.find("bad.json:1: /measures: "), std::string::npos) << error;
}

sim::Score BuiltScore() {
    sim::Score score;
    score.Description = "built \"by hand\" \xC3\xA9";
    score.Document = -2;
    score.SetMeasures(5).SetLayers(3, {0, 2});
    score.AddStaff(9, 4, 0xFFFF).AddStaff(2, 1);
    score.AddEntry(9, 5, 1, 100,
                   {sim::TupletDefinition{.HeadWords = {1, 2, 3, 4}, .Value7 = 0x8001}});
    sim::Entry notes;
    notes.Number = 0x10001;
    notes.Flags = 0xFFFFFFFF;
    notes.Position = -2147483647 - 1;
    notes.Notes = {sim::NoteBlock{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, sim::NoteBlock{}};
    score.AddEntry(sim::CellKey{1, 2, 0}, notes);
    score.SetRecord(sim::kTupletTag, sim::TupletKeys(0x10001, 3), sim::Bytes{1, 2, 3});
    score.SetRecord(sim::kTupletTag, sim::TupletKeys(424242, 0), sim::Bytes(30, 7));
    score.SetRecord(sim::kTupletTag, sim::Keys{1, 0, 0, 9}, sim::Bytes(30, 1));
    score.SetRecord(sim::kTupletDefaultsTag, sim::Keys{2, 0, 0, 0}, sim::Bytes(30, 2));
    score.SetPartRecord('1', '4', 0, {0, 0, 0, 0, 5, 0xFFFF});
    score.SetRecord(0x00010203, sim::Keys{0, 0, 0, 0}, sim::Bytes{0xAB});
    score.SetRecord(sim::MakeTag('e', 'm', 'p', 't'), sim::Keys{}, sim::Bytes{});
    score.Cells[sim::CellKey{2, 2, 1}];  // an empty cell
    return score;
}

TEST(ScoreFile, WritingAndReadingBackGivesTheSameScore) {
    const sim::Score built = BuiltScore();
    const std::string text = sim::FormatScore(built);
    const sim::Score read = sim::ParseScore(text, "written.json");
    EXPECT_EQ(read, built) << text;
    EXPECT_EQ(sim::FormatScore(read), text) << "writing is stable";

    for (const char* sample : {"piece.json", "single.json"}) {
        std::string error;
        const auto score = sim::ReadScoreFile(fs::path(MELVARA_SAMPLES_DIR) / sample, error);
        ASSERT_TRUE(score) << error;
        EXPECT_EQ(sim::ParseScore(sim::FormatScore(*score), sample), *score) << sample;
    }
}

TEST(ScoreFile, TupletsAreWrittenInTheirEntriesWithNamedFields) {
    const std::string text = sim::FormatScore(BuiltScore());
    EXPECT_NE(text.find("\"tuplets\": ["), std::string::npos);
    EXPECT_NE(text.find("\"Value7\": 32769"), std::string::npos);
    EXPECT_NE(text.find("\"OptionBits\": \"0x0000\""), std::string::npos) << "bit fields in hex";
    EXPECT_NE(text.find("\"flags\": \"0x00080000\""), std::string::npos);
    EXPECT_NE(text.find("\"tag\": \"0x00010203\""), std::string::npos) << "a tag that is not text";
    EXPECT_NE(text.find("\"keys\": [\"0xFFFE\", 0, 0, 0], \"words\": [0, 0, 0, 0, 5, \"0xFFFF\"]"),
              std::string::npos)
        << text;
}

TEST(ScoreFile, WritesReplaceTheFileAtomically) {
    TempDir dir;
    const fs::path path = dir.Path / "score.json";
    std::ofstream(path) << "old contents";
    std::string error;
    ASSERT_TRUE(sim::WriteScoreFile(BuiltScore(), path, error)) << error;
    EXPECT_EQ(ReadText(path), sim::FormatScore(BuiltScore()));
    ASSERT_TRUE(sim::WriteFileAtomically(path, "second", error)) << error;
    EXPECT_EQ(ReadText(path), "second");

    // Beyond the 64 KiB in which the pieces are gathered before writing.
    sim::GeneratorOptions options;
    options.Measures = 4;
    options.Staves = 4;
    options.Entries = 20;
    const sim::Score large = sim::GenerateScore(options);
    ASSERT_TRUE(sim::WriteScoreFile(large, path, error)) << error;
    EXPECT_GT(fs::file_size(path), 64u * 1024);
    const auto read = sim::ReadScoreFile(path, error);
    ASSERT_TRUE(read) << error;
    EXPECT_TRUE(*read == large) << "written and read back whole";
    size_t files = 0;
    for (const auto& item : fs::directory_iterator(dir.Path)) {
        ++files;
        EXPECT_EQ(item.path().filename(), "score.json") << "no temporary file left";
    }
    EXPECT_EQ(files, 1u);
}

TEST(ScoreFile, AFailedWriteLeavesNothingBehind) {
    TempDir dir;
    std::string error;
    EXPECT_FALSE(sim::WriteScoreFile(BuiltScore(), dir.Path / "no-such-folder" / "x.json", error));
    EXPECT_NE(error.find("x.json"), std::string::npos) << error;

    // A folder where the file should go cannot be replaced by a file.
    fs::create_directories(dir.Path / "taken.json" / "inside");
    EXPECT_FALSE(sim::WriteFileAtomically(dir.Path / "taken.json", "text", error));
    size_t entries = 0;
    for (const auto& item : fs::directory_iterator(dir.Path)) {
        ++entries;
        EXPECT_EQ(item.path().filename(), "taken.json");
    }
    EXPECT_EQ(entries, 1u) << "the temporary file is removed";
}

}  // namespace
