// The program's main job against a real forest: the details, "&Setup", the
// running phase, the success display, the schema read back without the
// program's provider, and a second run that finds both objects present.
#include "tests/program/ForestTest.h"

#include <cstdio>

namespace ProgramTest {
namespace {

class Setup : public ForestTest {};

// Runs "&Setup" in an open details display and checks the running phase and
// then the success display.
void RunSetupToSuccess(Program& program) {
    program.Click(1003);
    // The job switches the controls before it starts anything, and its first
    // timer tick comes a second later: the running phase is there to see.
    ASSERT_TRUE(WaitUntil([&] { return program.Text(1000) == kRunningText; }, 2000))
        << "\"&Setup\" did not start the job";
    EXPECT_TRUE(ShowsPhase(program, RunningPhase()));

    const DWORD start = GetTickCount();
    ASSERT_TRUE(WaitUntil([&] { return program.Text(1013) == kSuccessText; }, 10000))
        << "no success display; the result reads \"" << Narrow(program.Text(1013)) << "\"";
    std::printf("success shown %lu ms after the running phase was seen\n",
                static_cast<unsigned long>(GetTickCount() - start));
    Sleep(300);  // let the picture paint before it is read from the screen
    EXPECT_TRUE(ShowsPhase(program, FinishedPhase(kSuccessText)));
    EXPECT_EQ(203, program.PictureShown());
}

std::string SchemaEntry(const char* name, const char* attributes) {
    const AgentReply reply = AskAgent(std::string("schema-entry ") + name + " " + attributes);
    EXPECT_EQ(0, reply.status) << reply.output;
    return reply.output;
}

TEST_F(Setup, DetailsSetupSuccessAndSecondRunAgainstTheForest) {
    ASSERT_EQ(0, SchemaCount("WexlorAdmin"));
    ASSERT_EQ(0, SchemaCount("WexlorEnterpriseUser"));
    {
        Program program(Adsi::Provider);
        ExpectDetails(program);
        if (HasFatalFailure()) return;
        Screenshot("details");

        // IDOK is no command of this dialog: nothing may change, nothing may start.
        const auto before = program.Controls();
        program.Post(WM_COMMAND, MAKEWPARAM(1, BN_CLICKED), 0);
        Sleep(1500);
        EXPECT_TRUE(ShowsPhase(program, DetailsPhase(kForestDetails, true)));
        EXPECT_EQ(0, SchemaCount("WexlorAdmin"));

        RunSetupToSuccess(program);
        if (HasFatalFailure()) return;
        Screenshot("success");

        // A tick that was already queued when the timer was killed must not
        // turn the success into an error.
        program.Post(WM_TIMER, 1, 0);
        Sleep(1500);
        EXPECT_TRUE(ShowsPhase(program, FinishedPhase(kSuccessText)));
        EXPECT_EQ(203, program.PictureShown());
        Screenshot("success-after-late-timer-tick");

        program.Click(2);
        DWORD code = 0;
        ASSERT_TRUE(program.WaitForExit(15000, &code)) << "\"&Exit\" did not end the program";
        EXPECT_EQ(2u, code);
    }

    EXPECT_EQ(1, SchemaCount("WexlorAdmin"));
    EXPECT_EQ(1, SchemaCount("WexlorEnterpriseUser"));
    const std::string attribute =
        SchemaEntry("WexlorAdmin", "attributeID attributeSyntax oMSyntax isSingleValued searchFlags uSNChanged");
    const std::string klass =
        SchemaEntry("WexlorEnterpriseUser", "governsID objectClassCategory mayContain uSNChanged");
    EXPECT_NE(std::string::npos, attribute.find("attributeID: 1.3.6.1.4.1.32473.1.3.1")) << attribute;
    EXPECT_NE(std::string::npos, attribute.find("attributeSyntax: 2.5.5.8")) << attribute;
    EXPECT_NE(std::string::npos, attribute.find("oMSyntax: 1\n")) << attribute;
    EXPECT_NE(std::string::npos, attribute.find("isSingleValued: TRUE")) << attribute;
    EXPECT_NE(std::string::npos, attribute.find("searchFlags: 1\n")) << attribute;
    EXPECT_NE(std::string::npos, klass.find("governsID: 1.3.6.1.4.1.32473.1.4")) << klass;
    EXPECT_NE(std::string::npos, klass.find("objectClassCategory: 3")) << klass;
    EXPECT_NE(std::string::npos, klass.find("mayContain: WexlorAdmin")) << klass;

    {
        Program again(Adsi::Provider);
        ExpectDetails(again);
        if (HasFatalFailure()) return;
        RunSetupToSuccess(again);
        if (HasFatalFailure()) return;
        Screenshot("second-run-success");

        ASSERT_TRUE(again.ClickCloseBox()) << "no close box where the caption should have it";
        DWORD code = 0;
        ASSERT_TRUE(again.WaitForExit(15000, &code)) << "the close box did not end the program";
        EXPECT_EQ(2u, code);
    }

    // Both objects were there already: the second run changed nothing.
    EXPECT_EQ(1, SchemaCount("WexlorAdmin"));
    EXPECT_EQ(1, SchemaCount("WexlorEnterpriseUser"));
    EXPECT_EQ(attribute, SchemaEntry("WexlorAdmin",
                                     "attributeID attributeSyntax oMSyntax isSingleValued searchFlags uSNChanged"));
    EXPECT_EQ(klass, SchemaEntry("WexlorEnterpriseUser", "governsID objectClassCategory mayContain uSNChanged"));
}

}  // namespace
}  // namespace ProgramTest
