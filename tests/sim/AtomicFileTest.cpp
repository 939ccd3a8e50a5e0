// Writing a file whole or not at all, and only over a regular file that may
// be written.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>

#include "sim/support/AtomicFile.h"
#include "tests/sim/SimTestHelpers.h"

namespace {

namespace fs = std::filesystem;

using simtest::ReadText;

void WriteText(const fs::path& path, const std::string& text, fs::perms mode) {
    std::ofstream(path) << text;
    fs::permissions(path, mode);
}

// A character device in the folder (as /dev/null, which only root may
// make); where none can be made, /dev/null itself, which then no writer
// may replace either.
fs::path Device(const fs::path& dir) {
    const fs::path device = dir / "device";
    return mknod(device.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0 ? device : "/dev/null";
}

class AtomicFileTest : public ::testing::Test {
  protected:
    void SetUp() override { Fresh(); }
    void TearDown() override { fs::remove_all(Dir); }

    // An empty folder of the test's own.
    void Fresh() {
        Dir = fs::temp_directory_path() /
              ("melvara-sim-atomic-" +
               std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(Dir);
        fs::create_directories(Dir);
    }

    // The files in the folder, but for those named.
    size_t Leftovers(std::initializer_list<const char*> expected) const {
        size_t others = 0;
        for (const auto& item : fs::directory_iterator(Dir)) {
            const std::string name = item.path().filename().string();
            others += std::find(expected.begin(), expected.end(), name) == expected.end();
        }
        return others;
    }

    fs::path Dir;
};

TEST_F(AtomicFileTest, OnlyARegularFileThatMayBeWrittenIsReplaced) {
    using fs::perms;
    struct Case {
        const char* name;
        std::function<fs::path(const fs::path&)> setUp;  // gives the path to write
        const char* problem;                             // nullptr: written
        const char* written;  // the file that must then hold the new text
        perms mode;           // and its mode
    };
    const perms kRw = perms::owner_read | perms::owner_write;
    const perms kRwR = kRw | perms::group_read;
    const Case cases[] = {
        {"a new file", [](const fs::path& d) { return d / "new.json"; }, nullptr, "new.json",
         perms::unknown},
        {"a file, whose mode is kept",
         [&](const fs::path& d) {
             WriteText(d / "old.json", "old", kRwR);
             return d / "old.json";
         },
         nullptr, "old.json", kRwR},
        {"a link, written through to its target",
         [&](const fs::path& d) {
             WriteText(d / "target.json", "old", kRw);
             fs::create_symlink("target.json", d / "link.json");
             return d / "link.json";
         },
         nullptr, "target.json", kRw},
        {"a dangling link, whose target is made",
         [](const fs::path& d) {
             fs::create_symlink("made.json", d / "link.json");
             return d / "link.json";
         },
         nullptr, "made.json", perms::unknown},
        {"a device", [](const fs::path& d) { return Device(d); }, ": it is a device", nullptr,
         perms::unknown},
        {"a link to a device",
         [](const fs::path& d) {
             fs::create_symlink(Device(d), d / "null.json");
             return d / "null.json";
         },
         " (its link target) is a device", nullptr, perms::unknown},
        {"a directory",
         [](const fs::path& d) {
             fs::create_directory(d / "dir.json");
             return d / "dir.json";
         },
         "it is a directory", nullptr, perms::unknown},
        {"a read-only file",
         [&](const fs::path& d) {
             WriteText(d / "ro.json", "old", perms::owner_read);
             return d / "ro.json";
         },
         "it is read-only", nullptr, perms::unknown},
        {"a file read-only to all",
         [&](const fs::path& d) {
             WriteText(d / "ro.json", "old",
                       perms::owner_read | perms::group_read | perms::others_read);
             return d / "ro.json";
         },
         "it is read-only", nullptr, perms::unknown},
        {"a named pipe that no program reads, never waited on",
         [](const fs::path& d) {
             mkfifo((d / "pipe").c_str(), 0600);
             return d / "pipe";
         },
         "it is a named pipe that no program reads", nullptr, perms::unknown},
        {"a folder that is not there", [](const fs::path& d) { return d / "missing" / "x.json"; },
         "there is no folder", nullptr, perms::unknown},
        {"a loop of links",
         [](const fs::path& d) {
             fs::create_symlink("b", d / "a");
             fs::create_symlink("a", d / "b");
             return d / "a";
         },
         "too many levels of symbolic links", nullptr, perms::unknown},
        {"a chain of 41 links to a file, one more than the system follows",
         [&](const fs::path& d) {
             fs::create_directory(d / "chain");
             WriteText(d / "chain" / "41", "old", kRw);
             for (int i = 0; i <= 40; ++i) {
                 fs::create_symlink(std::to_string(i + 1), d / "chain" / std::to_string(i));
             }
             return d / "chain" / "0";
         },
         "too many levels of symbolic links", nullptr, perms::unknown},
    };
    for (const Case& c : cases) {
        Fresh();
        const fs::path path = c.setUp(Dir);
        std::error_code code;
        const fs::file_type before = fs::status(path, code).type();
        fs::path resolved;
        std::string error;
        const bool resolves = sim::AtomicFile::Resolve(path, resolved, error);
        const bool wrote = sim::WriteFileAtomically(path, "new", error);
        // Whether a pipe is read shows only when it is opened.
        EXPECT_EQ(resolves, wrote || path.filename() == "pipe") << c.name;
        if (c.problem == nullptr) {
            ASSERT_TRUE(wrote) << c.name << ": " << error;
            EXPECT_EQ(ReadText(Dir / c.written), "new") << c.name;
            EXPECT_EQ(fs::is_symlink(path), path.filename() == "link.json") << c.name;
            if (c.mode != perms::unknown) {
                EXPECT_EQ(fs::status(Dir / c.written).permissions(), c.mode) << c.name;
            }
        } else {
            EXPECT_FALSE(wrote) << c.name;
            EXPECT_NE(error.find(c.problem), std::string::npos) << c.name << ": " << error;
            EXPECT_EQ(fs::status(path, code).type(), before) << c.name << ": still what it was";
            if (fs::is_regular_file(path, code)) {
                EXPECT_EQ(ReadText(path), "old") << c.name;
            }
        }
        EXPECT_EQ(Leftovers({"new.json", "old.json", "target.json", "link.json", "made.json",
                             "null.json", "device", "dir.json", "ro.json", "pipe", "a", "b",
                             "chain"}),
                  0u)
            << c.name << ": no temporary file is left";
    }
}

TEST_F(AtomicFileTest, PipesAndTheProgramsOwnDescriptorsAreWrittenAsTheyCome) {
    int ends[2] = {-1, -1};
    ASSERT_EQ(pipe(ends), 0);
    mkfifo((Dir / "pipe").c_str(), 0600);
    const int reader = open((Dir / "pipe").c_str(), O_RDONLY | O_NONBLOCK);
    for (const auto& [path, from] :
         {std::pair{fs::path("/dev/fd/" + std::to_string(ends[1])), ends[0]},
          std::pair{Dir / "pipe", reader}}) {
        std::string error;
        ASSERT_TRUE(sim::WriteFileAtomically(path, "new", error)) << path << ": " << error;
        char got[8] = {};
        EXPECT_EQ(read(from, got, sizeof got), 3) << path;
        EXPECT_STREQ(got, "new") << path;
    }
    for (int end : {ends[0], ends[1], reader})
        close(end);
    EXPECT_TRUE(sim::AtomicFile::IsStandardOutput("-"));
    EXPECT_TRUE(sim::AtomicFile::IsStandardOutput("/dev/stdout"));
    EXPECT_FALSE(sim::AtomicFile::IsStandardOutput("/dev/stderr"));
}

TEST_F(AtomicFileTest, AScoreThatIsNoFileIsRefusedOrReadWithoutWaiting) {
    mkfifo((Dir / "pipe").c_str(), 0600);
    const std::pair<fs::path, const char*> cases[] = {
        {"/dev/zero", "it is a device, not a file to read"},
        {Dir, "it is a directory"},
        {Dir / "pipe", "it is a pipe that nothing was written to"},
    };
    for (const auto& [path, problem] : cases) {
        std::string content, error;
        EXPECT_FALSE(sim::ReadWholeFile(path, content, error)) << path;
        EXPECT_NE(error.find(problem), std::string::npos) << path << ": " << error;
    }
}

TEST_F(AtomicFileTest, AStopWhileWritingRemovesTheTemporaryFile) {
    const fs::path path = Dir / "score.json";
    WriteText(path, "old", fs::perms::owner_all);
    for (int signal : {SIGTERM, SIGINT}) {
        EXPECT_EXIT(
            {
                sim::AtomicFile file;
                std::string error;
                if (!file.Open(path, error))
                    std::exit(1);
                file.Write(std::string(200000, 'x'));
                std::raise(signal);
                std::exit(2);
            },
            ::testing::KilledBySignal(signal), "")
            << signal;
        EXPECT_EQ(ReadText(path), "old");
        EXPECT_EQ(Leftovers({"score.json"}), 0u) << "signal " << signal;
    }
    // Once the file is written, the signals are as they were.
    struct sigaction before {};
    sigaction(SIGTERM, nullptr, &before);
    sim::AtomicFile file;
    std::string error;
    ASSERT_TRUE(file.Open(path, error)) << error;
    file.Write("new");
    ASSERT_TRUE(file.Commit(error)) << error;
    struct sigaction after {};
    sigaction(SIGTERM, nullptr, &after);
    EXPECT_EQ(after.sa_handler, before.sa_handler);

    // A file opened and given up leaves nothing behind.
    {
        sim::AtomicFile dropped;
        ASSERT_TRUE(dropped.Open(path, error)) << error;
        dropped.Write("dropped");
    }
    EXPECT_EQ(ReadText(path), "new");
    EXPECT_EQ(Leftovers({"score.json"}), 0u);
}

}  // namespace
