// zvmp-recording on the recording in recordings/ (made by scripts/make-recording): csv's rows and a
// value, info's summary, and what it answers to a command line it cannot carry out.
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "record/format.h"
#include "tools/recording/recording.h"

namespace {

const std::string kRecording = ZV_SOURCE_DIR "/recordings/builtin-flight.zvrec";
// What the committed recording holds: blocks, and the heading bug the panel set (120 degrees,
// in the radians the definition asks for).
constexpr std::size_t kBlocks = 1490;
const std::string kBugAtTheEnd = "2.0943951023931953";

struct Outcome {
    int status;
    std::string out;
    std::string err;
};

Outcome run(std::vector<std::string> words)
{
    words.insert(words.begin(), "zvmp-recording");
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    int status = zvrtool_main(static_cast<int>(words.size()), argv.data());
    std::fflush(stdout);
    std::string out = testing::internal::GetCapturedStdout();
    return {status, out, testing::internal::GetCapturedStderr()};
}

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> out;
    for (std::size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1)
        out.push_back(text.substr(at, end - at));
    return out;
}

TEST(RecordingTool, CsvAndInfoOnTheCommittedRecording)
{
    Outcome all = run({"csv", kRecording});
    ASSERT_EQ(all.status, ZVRTOOL_OK) << all.err;
    std::vector<std::string> rows = lines(all.out);
    ASSERT_EQ(rows.size(), kBlocks + 1);
    EXPECT_EQ(rows[0].rfind("time_s,TITLE,ABSOLUTE TIME,PLANE LATITUDE,", 0), 0u) << rows[0];
    EXPECT_EQ(rows[1].find(",Built-in Simulator Airliner,"), 5u) << rows[1];

    Outcome bug = run({"csv", kRecording, "--every", "10", "autopilot heading lock dir"});
    ASSERT_EQ(bug.status, ZVRTOOL_OK) << bug.err;
    rows = lines(bug.out);
    ASSERT_EQ(rows.size(), (kBlocks + 9) / 10 + 1);
    EXPECT_EQ(rows[0], "time_s,AUTOPILOT HEADING LOCK DIR");
    EXPECT_EQ(rows.back().substr(rows.back().find(',') + 1), kBugAtTheEnd);

    Outcome info = run({"info", kRecording});
    ASSERT_EQ(info.status, ZVRTOOL_OK) << info.err;
    for (const std::string& line : std::vector<std::string>{
             "program        Zorvan FS2020 Pyx Plugin 1.0.1", "simulator      Built-in simulator 11.0 (build 0.0)",
          "definition     0: 83 variables, 760 bytes", "blocks         " + std::to_string(kBlocks),
          "exceptions     0", "gaps over 1 s  none", "end            complete"})
        EXPECT_NE(info.out.find(line), std::string::npos) << line << "\n" << info.out;

    // Names from a recording reach the terminal without their control characters.
    ZvrecHeader hostile;
    hostile.program = "Evil\x1b[2J\x7f 1.0";
    hostile.events.push_back({1, "HDG\rEVENT"});
    const std::string path = testing::TempDir() + "/hostile.zvrec";
    std::vector<std::uint8_t> bytes = zvrec_encode_header(hostile);
    std::uint8_t sent[ZVREC_RECORD_HEAD + 8];
    zvrec_encode_record_head(sent, ZVREC_CLIENT_EVENT, 0, 8);
    zvrec_put_u32(sent + ZVREC_RECORD_HEAD, 1);
    zvrec_put_u32(sent + ZVREC_RECORD_HEAD + 4, 0);
    bytes.insert(bytes.end(), sent, sent + sizeof sent);
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
    info = run({"info", path});
    EXPECT_NE(info.out.find("program        Evil?[2J? 1.0\n"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("HDG?EVENT 1"), std::string::npos) << info.out;
    EXPECT_EQ(info.out.find_first_of("\x1b\x7f\r"), std::string::npos) << info.out;
}

TEST(RecordingTool, SaysWhatItCannotDo)
{
    const std::string usage = "usage: zvmp-recording info FILE\n       zvmp-recording csv FILE [--every N] [NAME...]\n";
    struct Case {
        std::vector<std::string> words;
        int status;
        std::string err;
    };
    const Case cases[] = {
        {{"info"}, ZVRTOOL_USAGE, usage},
        {{"plot", kRecording}, ZVRTOOL_USAGE, usage},
        {{"info", kRecording, "more"}, ZVRTOOL_USAGE, usage},
        {{"csv", kRecording, "--every", "0"}, ZVRTOOL_USAGE, "zvmp-recording: --every takes a whole number from 1 up\n"},
        {{"csv", kRecording, "--every"}, ZVRTOOL_USAGE, "zvmp-recording: --every takes a whole number from 1 up\n"},
        {{"csv", kRecording, "NO SUCH VARIABLE"}, ZVRTOOL_USAGE,
         "zvmp-recording: no variable \"NO SUCH VARIABLE\" in the definition of " + kRecording + "\n"},
        {{"info", "/no/such/file"}, ZVRTOOL_DAMAGED, "zvmp-recording: /no/such/file: No such file or directory\n"},
        {{"csv", ZV_SOURCE_DIR "/README.md"}, ZVRTOOL_DAMAGED,
         "zvmp-recording: " ZV_SOURCE_DIR "/README.md: not a recording (it does not begin with ZVREC)\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.words[0] + " " + c.words.back());
        Outcome r = run(c.words);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.err, c.err);
    }
}

}  // namespace
