// The option parser against the classic single-letter getopt behaviour.
#include "app/getopt.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

struct Step {
    int result;
    const char* arg;  // expected optarg, or null
};

struct Case {
    const char* title;
    std::vector<std::string> words;  // after the program name
    const char* optstring;
    std::vector<Step> steps;  // results up to and including -1
    int final_optind;
};

TEST(Getopt, ParsesLikeTheClassicParser)
{
    const std::vector<Case> cases = {
        {"no words", {}, ":i:c:vs", {{-1, nullptr}}, 1},
        {"grouped letters", {"-vs"}, ":i:c:vs", {{'v', nullptr}, {'s', nullptr}, {-1, nullptr}}, 2},
        {"separate letters", {"-v", "-s", "-v"}, ":i:c:vs",
         {{'v', nullptr}, {'s', nullptr}, {'v', nullptr}, {-1, nullptr}}, 4},
        {"argument in next word even if it starts with -", {"-c", "-v"}, ":i:c:vs", {{'c', "-v"}, {-1, nullptr}}, 3},
        {"argument in same word", {"-c3"}, ":i:c:vs", {{'c', "3"}, {-1, nullptr}}, 2},
        {"argument after grouped letters", {"-vc7"}, ":i:c:vs", {{'v', nullptr}, {'c', "7"}, {-1, nullptr}}, 2},
        {"letter with argument eats the rest of the group", {"-ic"}, ":i:c:vs", {{'i', "c"}, {-1, nullptr}}, 2},
        {"double dash ends and is consumed", {"--", "-v"}, ":i:c:vs", {{-1, nullptr}}, 2},
        {"word starting with double dash ends and is consumed", {"--verbose", "-v"}, ":i:c:vs", {{-1, nullptr}}, 2},
        {"lone dash ends and is not consumed", {"-", "-v"}, ":i:c:vs", {{-1, nullptr}}, 1},
        {"first word without dash ends scanning", {"file", "-v"}, ":i:c:vs", {{-1, nullptr}}, 1},
        {"options stop at first plain word", {"-v", "file", "-s"}, ":i:c:vs", {{'v', nullptr}, {-1, nullptr}}, 2},
        {"missing argument gives colon", {"-c"}, ":i:c:vs", {{':', nullptr}, {-1, nullptr}}, 2},
        {"missing argument after group", {"-vi"}, ":i:c:vs", {{'v', nullptr}, {':', nullptr}, {-1, nullptr}}, 2},
        {"unknown letter then continue", {"-x", "-v"}, ":i:c:vs", {{'?', nullptr}, {'v', nullptr}, {-1, nullptr}}, 3},
        {"unknown letter inside group", {"-vxs"}, ":i:c:vs",
         {{'v', nullptr}, {'?', nullptr}, {'s', nullptr}, {-1, nullptr}}, 2},
        {"dash inside group ends scanning", {"-v-s", "-s"}, ":i:c:vs", {{'v', nullptr}, {-1, nullptr}}, 1},
        {"colon is never an option letter", {"-:"}, ":i:c:vs", {{'?', nullptr}, {-1, nullptr}}, 2},
        {"repeated options", {"-i", "1.2.3.4", "-i", "5.6.7.8", "-c", "1", "-c", "2"}, ":i:c:vs",
         {{'i', "1.2.3.4"}, {'i', "5.6.7.8"}, {'c', "1"}, {'c', "2"}, {-1, nullptr}}, 9},
        {"empty argument word is an argument", {"-i", ""}, ":i:c:vs", {{'i', ""}, {-1, nullptr}}, 3},
    };

    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        std::vector<std::string> storage = {"pyxplugin"};
        storage.insert(storage.end(), c.words.begin(), c.words.end());
        std::vector<char*> argv;
        for (auto& w : storage) argv.push_back(w.data());
        argv.push_back(nullptr);
        int argc = static_cast<int>(storage.size());

        zvopt::optind = 1;
        zvopt::optreset = 1;
        for (const Step& step : c.steps) {
            int r = zvopt::getopt(argc, argv.data(), c.optstring);
            ASSERT_EQ(r, step.result);
            if (r == -1) break;
            if (step.arg == nullptr) {
                EXPECT_EQ(zvopt::optarg, nullptr);
            } else {
                ASSERT_NE(zvopt::optarg, nullptr);
                EXPECT_STREQ(zvopt::optarg, step.arg);
            }
        }
        EXPECT_EQ(zvopt::optind, c.final_optind);
    }
}

TEST(Getopt, PrintsMessagesOnlyWithoutLeadingColon)
{
    std::vector<std::string> storage = {"pyxplugin", "-x", "-c"};
    std::vector<char*> argv;
    for (auto& w : storage) argv.push_back(w.data());
    argv.push_back(nullptr);

    testing::internal::CaptureStdout();
    EXPECT_EQ(zvopt::getopt(3, argv.data(), "i:c:vs"), '?');
    EXPECT_EQ(zvopt::optopt, 'x');
    EXPECT_EQ(zvopt::getopt(3, argv.data(), "i:c:vs"), '?');
    EXPECT_EQ(zvopt::optopt, 'c');
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "illegal option -- x\noption requires an argument -- c\n");

    zvopt::optind = 1;
    zvopt::optreset = 1;
    zvopt::opterr = 0;
    testing::internal::CaptureStdout();
    EXPECT_EQ(zvopt::getopt(3, argv.data(), "i:c:vs"), '?');
    EXPECT_EQ(zvopt::getopt(3, argv.data(), "i:c:vs"), '?');
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

}  // namespace
