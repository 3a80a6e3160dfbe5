// The program's main job against a real forest: the details, "&Setup", the
// running phase, the success display, the schema read back without the
// program's provider, and a second run that finds both objects present.
#include "tests/program/ForestTest.h"

#include <cstdio>

namespace ProgramTest {
namespace {

class Setup : public ForestTest {};

// Runs "&Setup" in an open details display and checks the running phase and
// then the success display, kept as screenshot shot.
void RunSetupToSuccess(Program& program, const std::string& shot) {
    program.Click(IDC_SETUP);
    // The job switches the controls before it starts anything, and its first
    // timer tick comes a second later: the running phase is there to see.
    ASSERT_TRUE(WaitUntil([&] { return program.Text(IDC_INSTRUCTION) == kRunningText; }, 2000))
        << "\"&Setup\" did not start the job";
    EXPECT_TRUE(program.Shows(RunningPhase(ForestDetails())));

    const DWORD start = GetTickCount();
    ASSERT_TRUE(WaitUntil([&] { return program.Text(IDC_RESULT_TEXT) == kSuccessText; }, 10000))
        << "no success display; the result reads \"" << Narrow(program.Text(IDC_RESULT_TEXT)) << "\"";
    std::printf("success shown %lu ms after the running phase was seen\n",
                static_cast<unsigned long>(GetTickCount() - start));
    ExpectFinal(program, kSuccessText, IDB_SUCCESS, shot);
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
        program.Post(WM_COMMAND, MAKEWPARAM(1, BN_CLICKED), 0);
        Sleep(1500);
        EXPECT_TRUE(program.Shows(DetailsPhase(ForestDetails())));
        EXPECT_EQ(0, SchemaCount("WexlorAdmin"));

        RunSetupToSuccess(program, "success");
        if (HasFatalFailure()) return;

        // A tick that was already queued when the timer was killed must not
        // turn the success into an error.
        program.Post(WM_TIMER, 1, 0);
        Sleep(1500);
        ExpectFinal(program, kSuccessText, IDB_SUCCESS, "success-after-late-timer-tick");
        EXPECT_TRUE(program.EndsWithCode2());
    }

    const SchemaObject attribute = ReadSchemaObject("WexlorAdmin");
    const SchemaObject klass = ReadSchemaObject("WexlorEnterpriseUser");
    ASSERT_TRUE(attribute.found && klass.found);
    EXPECT_EQ("", Differences(attribute.entry, kAttributeValues));
    EXPECT_EQ("", Differences(klass.entry, kClassValues));

    {
        Program again(Adsi::Provider);
        ExpectDetails(again);
        if (HasFatalFailure()) return;
        RunSetupToSuccess(again, "second-run-success");
        if (HasFatalFailure()) return;
        EXPECT_TRUE(again.EndsWithCode2(Ending::CloseBox));
    }

    // Both objects were there already: the second run changed nothing.
    EXPECT_EQ(attribute.entry, ReadSchemaObject("WexlorAdmin").entry);
    EXPECT_EQ(klass.entry, ReadSchemaObject("WexlorEnterpriseUser").entry);
}

}  // namespace
}  // namespace ProgramTest
