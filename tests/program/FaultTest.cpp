// Real faults while the program runs against the forest: a DC that stops
// answering in the middle of the job, one that dies (during the job, or while
// the dialog is closing), one that is gone by the time "&Setup" is pressed,
// a schema that already uses the program's OID, and two copies of the
// program at once.
#include "tests/program/ForestTest.h"

#include <cstdio>

namespace ProgramTest {
namespace {

const HRESULT kServerDown = static_cast<HRESULT>(0x8007203A);
const HRESULT kUnwillingToPerform = static_cast<HRESULT>(0x80072035);

std::wstring BindFailure() { return L"Unable to get schema container.:\r\n" + SystemDescription(kServerDown); }

class Fault : public ForestTest {
protected:
    // A program showing its details, with "&Setup" pressed while the DC is
    // paused (SIGSTOP: it accepts connections and never answers): on return
    // the job is surely inside a directory call that gets no answer. The
    // activity bar's position as the running phase appears goes to start.
    static void StartJobAgainstPausedDc(Program& program, int* start = nullptr) {
        ExpectDetails(program);
        if (testing::Test::HasFatalFailure()) return;
        ASSERT_TRUE(AgentDoes("forest-pause"));
        program.Click(IDC_SETUP);
        ASSERT_TRUE(WaitUntil([&] { return program.Text(IDC_INSTRUCTION) == kRunningText; }, 2000));
        if (start) *start = program.ProgressPosition();
        Sleep(1500);
    }
};

TEST_F(Fault, JobThatHangsOnAPausedDcEndsWithinTheStopBoundAfterCancel) {
    Program program(Adsi::Provider);
    int start = -1;
    StartJobAgainstPausedDc(program, &start);
    if (HasFatalFailure()) return;

    // The activity bar starts at 0 and steps by 10 on each one-second tick
    // while the job hangs.
    EXPECT_EQ(0, start);
    int last = program.ProgressPosition();
    for (int tick = 0; tick < 3; ++tick) {
        ASSERT_TRUE(WaitUntil([&] { return program.ProgressPosition() != last; }, 3000))
            << "the activity bar stopped at " << last;
        const int now = program.ProgressPosition();
        EXPECT_EQ((last + 10) % 100, now);
        last = now;
    }
    EXPECT_TRUE(program.Shows(RunningPhase(ForestDetails())));
    Screenshot("running-while-dc-paused");

    program.Click(IDCANCEL);
    const DWORD cancelled = GetTickCount();
    DWORD code = 0;
    const bool ended = program.WaitForExit(20000, &code);
    std::printf("the program ended %lu ms after Cancel\n", static_cast<unsigned long>(GetTickCount() - cancelled));
    ASSERT_TRUE(ended) << "still running 20 s after Cancel; the worker wait is bounded by 10 s";
    EXPECT_EQ(2u, code);
}

// The worker fails while the dialog's thread waits for it to stop: its
// report must get through, and the program end about as soon as the
// directory call fails, not when the stop bound runs out.
TEST_F(Fault, ExitWhileTheJobFailsEndsWithoutWaitingOutTheBound) {
    // The baseline: how long any exit takes here, with no job to stop.
    DWORD plainExit = 0;
    {
        Program idle(Adsi::Provider);
        ExpectDetails(idle);
        if (HasFatalFailure()) return;
        const DWORD start = GetTickCount();
        ASSERT_TRUE(idle.EndsWithCode2());
        plainExit = GetTickCount() - start;
    }

    Program program(Adsi::Provider);
    StartJobAgainstPausedDc(program);
    if (HasFatalFailure()) return;
    program.Click(IDCANCEL);
    const DWORD cancelled = GetTickCount();
    Sleep(2000);
    ASSERT_TRUE(AgentDoes("forest-kill"));
    const DWORD killed = GetTickCount();

    DWORD code = 0;
    const bool ended = program.WaitForExit(30000, &code);
    const DWORD end = GetTickCount();
    std::printf("the program ended %lu ms after the DC was killed, %lu ms after Cancel; "
                "an exit without a job: %lu ms\n",
                static_cast<unsigned long>(end - killed), static_cast<unsigned long>(end - cancelled),
                static_cast<unsigned long>(plainExit));
    ASSERT_TRUE(ended) << "still running 30 s after the DC was killed";
    EXPECT_EQ(2u, code);
}

TEST_F(Fault, DcKilledDuringTheJobShowsTheBindFailure) {
    Program program(Adsi::Provider);
    // Paused first, so that the job is surely inside a directory call when
    // the DC dies.
    StartJobAgainstPausedDc(program);
    if (HasFatalFailure()) return;
    ASSERT_TRUE(AgentDoes("forest-kill"));  // as a crash would end it

    ASSERT_TRUE(program.WaitForFinal(60000)) << "no final display after the DC died";
    ExpectFinal(program, BindFailure(), IDB_FAILURE, "dc-killed-during-job");

    // "&Setup" had the focus when the job disabled it; Escape reaches the
    // dialog only while one of its controls has the keyboard focus.
    EXPECT_GT(program.FocusedControl(), 0) << "no control has the keyboard focus";
    EXPECT_TRUE(program.EndsWithCode2(Ending::Escape));
}

TEST_F(Fault, DcStoppedBetweenDetailsAndSetupShowsTheBindFailure) {
    Program program(Adsi::Provider);
    ExpectDetails(program);
    if (HasFatalFailure()) return;

    ASSERT_TRUE(AgentDoes("forest-stop"));
    program.Click(IDC_SETUP);
    ASSERT_TRUE(program.WaitForFinal(30000)) << "no final display";
    ExpectFinal(program, BindFailure(), IDB_FAILURE, "dc-stopped-before-setup");
    EXPECT_TRUE(program.EndsWithCode2());
}

TEST_F(Fault, AttributeOidTakenUnderAnotherNameFailsTheCommitAndCreatesNothing) {
    const AgentReply plant = AskAgent("plant-oid-collision");
    ASSERT_EQ(0, plant.status) << plant.output;
    // What the server answers to the program's own attribute.
    const size_t info = plant.output.find("additional info: ");
    ASSERT_NE(std::string::npos, info) << plant.output;
    const std::string serverText = plant.output.substr(info + 17, plant.output.find('\n', info) - info - 17);
    std::printf("the server refuses the attribute with: %s\n", serverText.c_str());
    ASSERT_EQ(1, SchemaCount("OtherAdminFlag"));

    Program program(Adsi::Provider);
    ExpectDetails(program);
    if (HasFatalFailure()) return;
    program.Click(IDC_SETUP);
    ASSERT_TRUE(program.WaitForFinal(30000)) << "no final display";
    // 0x80072035 lies outside the directory range of the error texts, so the
    // text is the system's description of the code, not the server's words.
    ExpectFinal(program, L"Unable to commit new attribute to schema:\r\n" + SystemDescription(kUnwillingToPerform),
                IDB_FAILURE, "oid-collision");
    EXPECT_TRUE(program.EndsWithCode2());

    EXPECT_EQ(0, SchemaCount("WexlorAdmin"));
    EXPECT_EQ(0, SchemaCount("WexlorEnterpriseUser"));
    EXPECT_EQ(1, SchemaCount("OtherAdminFlag"));
}

TEST_F(Fault, TwoInstancesAtOnceBothSucceedAndTheSchemaHoldsOneOfEach) {
    Program first(Adsi::Provider);
    Program second(Adsi::Provider);
    ExpectDetails(first);
    if (HasFatalFailure()) return;
    ExpectDetails(second);
    if (HasFatalFailure()) return;
    // Both open centred on the same spot; side by side, each can be clicked.
    first.MoveTo(10, 100);
    second.MoveTo(650, 100);
    Sleep(500);

    first.Click(IDC_SETUP);
    second.Click(IDC_SETUP);
    for (Program* program : {&first, &second}) {
        ASSERT_TRUE(WaitUntil([&] { return program->Text(IDC_RESULT_TEXT) == kSuccessText; }, 30000))
            << "an instance shows \"" << Narrow(program->Text(IDC_RESULT_TEXT)) << "\"";
    }
    Sleep(300);
    Screenshot("two-instances");
    for (Program* program : {&first, &second}) {
        EXPECT_TRUE(program->Shows(FinishedPhase(kSuccessText)));
        EXPECT_EQ(IDB_SUCCESS, program->PictureShown());
        EXPECT_TRUE(program->EndsWithCode2());
    }
    EXPECT_EQ(1, SchemaCount("WexlorAdmin"));
    EXPECT_EQ(1, SchemaCount("WexlorEnterpriseUser"));
}

}  // namespace
}  // namespace ProgramTest
