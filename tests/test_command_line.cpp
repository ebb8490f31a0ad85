// The program's command line: --at and its value, and what is refused.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/command_line.h"

namespace {

bool parse(std::vector<std::string> args, CommandLine& options, std::string& error) {
    args.insert(args.begin(), "starloom");
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    return parseCommandLine(static_cast<int>(args.size()), argv.data(), options, error);
}

}  // namespace

TEST(CommandLine, AtTakesTheNextArgumentWhateverItLooksLike) {
    CommandLine options;
    std::string error;
    ASSERT_TRUE(parse({}, options, error));
    EXPECT_TRUE(options.at.empty());
    ASSERT_TRUE(parse({"--at", "M-CFXT-12"}, options, error)) << error;
    EXPECT_EQ(options.at, "M-CFXT-12");
    // The value is read as it is: a text starting with dashes is still the value.
    ASSERT_TRUE(parse({"--at", "--at"}, options, error)) << error;
    EXPECT_EQ(options.at, "--at");
    // The last one counts.
    ASSERT_TRUE(parse({"--at", "a", "--at", "b"}, options, error)) << error;
    EXPECT_EQ(options.at, "b");
}

TEST(CommandLine, MissingValuesAndUnknownArgumentsAreRefused) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--at"}, {"--where"}, {"M-CFXT-12"}, {"--at", "x", "extra"}, {"-a", "x"}}) {
        CommandLine options;
        std::string error;
        EXPECT_FALSE(parse(args, options, error)) << args[0];
        EXPECT_FALSE(error.empty());
    }
}
