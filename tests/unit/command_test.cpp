// The value-name grammar and the table queries that the option parser, the
// help and the generators all rely on.

#include "core/command.h"
#include "core/options.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

// "A B*;C" back from the parse, so that a case reads as its input.
std::string spelled(const std::vector<ValueAlternative> &alternatives)
{
    std::string result;
    for (std::size_t i = 0; i < alternatives.size(); ++i) {
        if (i > 0)
            result += ';';
        for (std::size_t k = 0; k < alternatives[i].size(); ++k) {
            result += k > 0 ? " [" : "[";
            result += std::string(alternatives[i][k].name) + (alternatives[i][k].repeated ? "]*" : "]");
        }
    }
    return result;
}

TEST(ValueName, Grammar)
{
    EXPECT_EQ(spelled(parseValueName("X Y")), "[X] [Y]");
    EXPECT_EQ(spelled(parseValueName("FILE*")), "[FILE]*");
    EXPECT_EQ(spelled(parseValueName("MODE;CLOCK HDISPLAY FLAG*")), "[MODE];[CLOCK] [HDISPLAY] [FLAG]*");
    EXPECT_EQ(spelled(parseValueName("A B* C;D")), "[A] [B]* [C];[D]");
    // An empty alternative takes no words; no text has no alternative.
    EXPECT_EQ(parseValueName("A;").size(), 2u);
    EXPECT_TRUE(parseValueName("A;")[1].empty());
    EXPECT_TRUE(parseValueName("").empty());
}

TEST(ValueName, Arity)
{
    const std::vector<ValueAlternative> alternatives = parseValueName("A B* C;D;");
    EXPECT_EQ(arityOf(alternatives[0]), (Arity{2, std::nullopt}));
    EXPECT_EQ(arityOf(alternatives[1]), (Arity{1, 1}));
    EXPECT_EQ(arityOf(alternatives[2]), (Arity{0, 0}));
}

TEST(Queries, PartitionTheCommands)
{
    const Command *self = findSelf();
    ASSERT_NE(self, nullptr);
    EXPECT_STREQ(self->name, "self");
    EXPECT_FALSE(isGlobal(*self));
    const std::size_t global = globalCommands().size();
    const std::vector<const Command *> output = outputCommands();
    EXPECT_EQ(global + output.size() + 1, commandTable().size());
    for (const Command *command : output)
        EXPECT_FALSE(isGlobal(*command) || isSelf(*command)) << command->name;
}

TEST(Queries, EveryExampleHasItsCommand)
{
    for (const CommandExample &example : exampleTable()) {
        const Command *command = commandOf(example);
        ASSERT_NE(command, nullptr) << example.command;
        EXPECT_STREQ(command->name, example.command);
        EXPECT_TRUE(sameScope(command->scope, example.scope)) << example.command;
    }
}

TEST(Queries, OptionsOfACommand)
{
    const auto command = [](const char *name) {
        for (const Command *command : outputCommands()) {
            if (std::strcmp(command->name, name) == 0)
                return command;
        }
        return static_cast<const Command *>(nullptr);
    };
    const Command *addCustomMode = command("add-custom-mode");
    ASSERT_NE(addCustomMode, nullptr);
    const std::vector<const CommandOption *> named = namedOptionsOf(*addCustomMode);
    ASSERT_EQ(named.size(), 1u);
    EXPECT_STREQ(named[0]->name, "reduced-blanking");
    // The positional record stands after the flag in the unit.
    EXPECT_EQ(positionalPattern(*addCustomMode).size(), 2u);
    EXPECT_EQ(positionalOf(*addCustomMode), positionalOf(optionsFor(*addCustomMode)));

    const Command *getName = command("get-name");
    ASSERT_NE(getName, nullptr);
    EXPECT_EQ(positionalOf(*getName), nullptr);
    EXPECT_TRUE(positionalPattern(*getName).empty());
}

} // namespace
