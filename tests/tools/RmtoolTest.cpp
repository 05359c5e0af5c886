// rmtool end to end: what a user or a script sees of each command.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "CommandLine.h"
#include "RecordFileBuilder.h"

using namespace rollmode::rmtool;
using rollmode::testing::StandardRecording;
using rollmode::testing::TRecordFileBuilder;
namespace fs = std::filesystem;

namespace {

struct Outcome {
    int status = -1;
    std::string out, err;
};

std::string Slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class RmtoolTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::path(::testing::TempDir()) /
               (std::string("rmtool_") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override {
        std::error_code ec;
        fs::permissions(dir_, fs::perms::owner_all, ec);
        fs::remove_all(dir_, ec);
    }
    // Runs rmtool in the test's folder; `prefix` goes before it in the shell (a ulimit).
    Outcome Rmtool(const std::string& args, const std::string& prefix = "") {
        const std::string command = "cd '" + dir_.string() + "' && " + prefix + " '" RMTOOL_PATH "' " + args +
                                    " >stdout.txt 2>stderr.txt";
        const int raw = std::system(("sh -c \"" + command + "\"").c_str());
        Outcome r;
        r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        r.out = Slurp(dir_ / "stdout.txt");
        r.err = Slurp(dir_ / "stderr.txt");
        fs::remove(dir_ / "stdout.txt");
        fs::remove(dir_ / "stderr.txt");
        return r;
    }
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir_)) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    fs::path dir_;
};

}  // namespace

TEST(RmtoolCommandLine, ParsesWithoutTouchingFiles) {
    ParseResult r = ParseCommandLine({"export", "--format", "csv", "--measurement", "2", "--from", "1.5", "--to", "3",
                                      "--every", "10", "-o", "out.csv", "no-such-file.rmd"});
    ASSERT_EQ(r.error, "");
    EXPECT_EQ(r.options.command, Command::Export);
    EXPECT_EQ(r.options.format, Format::Csv);
    EXPECT_EQ(r.options.range.measurement, 2u);
    EXPECT_EQ(r.options.range.fromPs, 1'500'000'000'000ULL);
    EXPECT_EQ(r.options.range.toPs, 3'000'000'000'000ULL);
    EXPECT_EQ(r.options.every, 10u);
    EXPECT_EQ(r.options.file, "no-such-file.rmd");

    // Each mistake is named; none is taken for something else.
    const std::vector<std::pair<std::vector<std::string>, std::string>> bad = {
        {{"export", "--format", "xls", "-o", "o", "f"}, "unknown format xls"},
        {{"export", "--format", "csv", "f"}, "no output"},
        {{"export", "--format", "csv", "-o", "o", "--from", "2", "--to", "2", "f"}, "empty range"},
        {{"export", "--format", "csv", "-o", "o", "--from", "-1", "f"}, "--from needs seconds"},
        {{"export", "--format", "wav", "-o", "o", "--every", "2", "f"}, "--every is for --format csv"},
        {{"info", "--frobnicate", "f"}, "unknown option --frobnicate for info"},
        {{"stats", "-o", "o", "f"}, "stats needs --window"},
        {{"check", "a", "b"}, "one record file at a time"},
        {{"cheque", "f"}, "unknown command cheque"},
        {{"help", "nothing"}, "no command nothing"},
        {{}, "no command given"},
    };
    for (const auto& [args, message] : bad) {
        r = ParseCommandLine(args);
        EXPECT_NE(r.error.find(message), std::string::npos) << "got: " << r.error << " wanted: " << message;
    }
    EXPECT_EQ(ParseCommandLine({"export", "--help"}).options.helpTopic, "export");
}

TEST_F(RmtoolTest, InfoJsonMatchesTheGoldenFile) {
    StandardRecording().Write((dir_ / "standard.rmd").string(), {0, 0, 5});
    const Outcome r = Rmtool("info --json standard.rmd");
    EXPECT_EQ(r.status, exitcode::kTornTail) << r.err;
    const std::string golden = Slurp(fs::path(RMTOOL_GOLDEN) / "info.json");
    ASSERT_FALSE(golden.empty());
    EXPECT_EQ(r.out, golden);
    EXPECT_NE(r.err.find("the last 3 bytes (from byte"), std::string::npos) << r.err;
}

TEST_F(RmtoolTest, CheckTellsWholeMalformedAndTornFilesApart) {
    TRecordFileBuilder b = StandardRecording();
    b.Write((dir_ / "whole.rmd").string());
    b.Write((dir_ / "torn.rmd").string(), {0, 0, 6, 0});
    const uint64_t end = 2 * b.words.size();
    b.words.insert(b.words.end(), {0, 5, 4, 1, 0});  // code 4 has length 4
    b.Samples(10);
    b.Write((dir_ / "bad.rmd").string());

    Outcome r = Rmtool("check whole.rmd");
    EXPECT_EQ(r.status, exitcode::kOk);
    EXPECT_NE(r.out.find("whole"), std::string::npos);
    EXPECT_EQ(r.err, "");
    r = Rmtool("check torn.rmd");
    EXPECT_EQ(r.status, exitcode::kTornTail);
    EXPECT_NE(r.err.find("the last 4 bytes (from byte " + std::to_string(end) + ")"), std::string::npos) << r.err;
    r = Rmtool("check bad.rmd");
    EXPECT_EQ(r.status, exitcode::kMalformed);
    EXPECT_NE(r.err.find("malformed item at byte " + std::to_string(end) +
                         ": settings record code 4 with length 5 instead of 4"),
              std::string::npos)
        << r.err;
    // Dump reads the same way and keeps rmdump's output.
    r = Rmtool("dump -r whole.rmd");
    EXPECT_EQ(r.status, exitcode::kOk);
    EXPECT_NE(r.out.find("measurement starts"), std::string::npos);
    EXPECT_NE(r.out.find("sample rate"), std::string::npos);
}

TEST_F(RmtoolTest, ExportWritesTheRangeAndTellsOfOverflowMarksAndRows) {
    StandardRecording().Write((dir_ / "in.rmd").string());
    Outcome r = Rmtool("export --format csv --measurement 2 --from 0.4 --to 0.6 -o part.csv in.rmd");
    ASSERT_EQ(r.status, exitcode::kOk) << r.err;
    const std::string csv = Slurp(dir_ / "part.csv");
    EXPECT_EQ(csv.substr(0, 29), "measurement,time_s,a_mV,b_mV\n");
    EXPECT_NE(csv.find("\n2,0.400000000,"), std::string::npos);
    EXPECT_EQ(csv.find("\n2,0.600000000,"), std::string::npos);
    EXPECT_NE(r.err.find("2 overflow marks in the range"), std::string::npos) << r.err;

    r = Rmtool("export --format hdf5 --progress -o all.h5 in.rmd");
    EXPECT_EQ(r.status, exitcode::kOk) << r.err;
    EXPECT_NE(r.err.find("100%"), std::string::npos);  // the bar, asked for although not a terminal
    r = Rmtool("export --format hdf5 -o quiet.h5 in.rmd");
    EXPECT_EQ(r.err.find('%'), std::string::npos);  // none by default when not a terminal
}

TEST_F(RmtoolTest, FailuresGiveOneMessageAStatusAndNoOutput) {
    TRecordFileBuilder b;  // no samples before the first measurement: no warning about them
    b.Start(1000, {128, 128}, {100, 100});
    b.Samples(5000);
    b.Stop();
    b.Write((dir_ / "in.rmd").string());
    fs::create_directory(dir_ / "locked");
    fs::permissions(dir_ / "locked", fs::perms::owner_read | fs::perms::owner_exec);
    const bool root = ::geteuid() == 0;  // root writes anywhere: that case needs another user

    struct Case {
        std::string args, message;
        int status;
        std::string prefix;
    };
    std::vector<Case> cases = {
        {"export --format csv -o out.csv missing.rmd", "cannot open missing.rmd", exitcode::kFailed, ""},
        {"export --format csv -o nowhere/out.csv in.rmd", "cannot write nowhere/out.csv", exitcode::kFailed, ""},
        {"export --format csv --measurement 7 -o out.csv in.rmd", "no measurement 7", exitcode::kFailed, ""},
        {"export --format csv --from 100 -o out.csv in.rmd", "empty range", exitcode::kFailed, ""},
        {"export --format csv --colour -o out.csv in.rmd", "unknown option --colour", exitcode::kUsage, ""},
        {"export --format csv -o ./in.rmd in.rmd", "is the record file itself", exitcode::kFailed, ""},
        // A full disk: a file-size limit of 8 blocks, far below the export.
        {"export --format csv -o out.csv in.rmd", "File too large", exitcode::kFailed, "ulimit -f 8;"},
        {"export --format wav -o out.wav in.rmd", "cannot write", exitcode::kFailed, "ulimit -f 8;"},
        {"export --format hdf5 -o out.h5 in.rmd", "cannot write out.h5", exitcode::kFailed, "ulimit -f 8;"},
        {"stats --window 0.1 -o out.csv in.rmd", "cannot write", exitcode::kFailed, "ulimit -f 1;"},
    };
    if (!root) cases.push_back({"export --format hdf5 -o locked/out.h5 in.rmd", "cannot write", exitcode::kFailed, ""});
    for (const Case& c : cases) {
        const Outcome r = Rmtool(c.args, c.prefix);
        EXPECT_EQ(r.status, c.status) << c.args << "\n" << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << c.args << "\n" << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << c.args << "\n" << r.err;
        EXPECT_EQ(Names(), (std::vector<std::string>{"in.rmd", "locked"})) << c.args;
    }
    EXPECT_EQ(fs::file_size(dir_ / "in.rmd"), 2 * b.words.size());
}

TEST_F(RmtoolTest, ManualAndVersionForHelp2man) {
    Outcome r = Rmtool("--help");
    EXPECT_EQ(r.status, exitcode::kOk);
    EXPECT_EQ(r.out.rfind("Usage: rmtool info", 0), 0u);
    for (const char* word : {"info", "check", "dump", "export", "stats", "Exit status:", "--every", "--window"})
        EXPECT_NE(r.out.find(word), std::string::npos) << word;
    r = Rmtool("help stats");
    EXPECT_EQ(r.out.rfind("Usage: rmtool stats --window S", 0), 0u) << r.out;
    r = Rmtool("--version");
    EXPECT_EQ(r.out.rfind("rmtool (Corvo RollMode) ", 0), 0u) << r.out;
    r = Rmtool("help nothing");
    EXPECT_EQ(r.status, exitcode::kUsage);
}
