// The setup dialog on a real window from the program's own template, with
// discovery and the extension replaced by fakes: what each phase shows, the
// job's start, completion and stop, and every failure reaching the final
// display.
#include "framework/AppModule.h"
#include "framework/MessageLoop.h"
#include "gui/DialogIds.h"
#include "ad/Errors.h"
#include "base/Scoped.h"
#include "gui/DirectoryCalls.h"
#include "gui/SchemaSetupDialog.h"

#include "tests/support/Fakes.h"
#include "tests/support/Controls.h"
#include "tests/support/DialogTexts.h"
#include "tests/support/Phases.h"
#include "tests/support/Wait.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <memory>
#include <new>
#include <ostream>
#include <stdexcept>
#include <thread>

using namespace TestSupport;

namespace {

// The module is initialised on the main thread, as the program's entry does.
class ModuleEnvironment : public ::testing::Environment {
    void SetUp() override { App::Module.Init(); }
    void TearDown() override { App::Module.Term(); }
};
const auto* const Module = ::testing::AddGlobalTestEnvironment(new ModuleEnvironment);

// The schema master as the test forest has it, whose details are ForestDetails().
const wchar_t ServerDn[] =
    L"CN=DC1,CN=Servers,CN=Default-First-Site-Name,CN=Sites,CN=Configuration,DC=samdom,DC=test";

enum class Failure { None, Directory, Atl, BadAlloc, Other };

// --- discovery -----------------------------------------------------------

Fakes::FakeObject* Server = nullptr;
Failure DiscoveryFailure = Failure::None;
HRESULT DiscoveryResult = S_OK;

void Throw(Failure failure, HRESULT hr, const char* message) {
    switch (failure) {
    case Failure::None:
        return;
    case Failure::Directory:
        throw AD::HResultException(hr, message);
    case Failure::Atl:
        ATL::AtlThrow(E_OUTOFMEMORY);
    case Failure::BadAlloc:
        throw std::bad_alloc();
    case Failure::Other:
        throw std::logic_error("no such thing");
    }
}

void FakeFindSchemaMaster(IADs** server) {
    *server = nullptr;
    Throw(DiscoveryFailure, DiscoveryResult, "");
    Server->AddRef();
    *server = Server;
}

// --- the extension -----------------------------------------------------

std::atomic<int> ExtendCalls{0};
std::wstring ExtendDomain;
std::atomic<bool> ExtendHadCancelEvent{false};
std::atomic<bool> ExtendSawCancel{false};
Failure ExtendFailure = Failure::None;
HRESULT ExtendResult = S_OK;

void Record(const std::wstring& domainName, HANDLE cancelEvent) {
    ExtendDomain = domainName;
    ExtendHadCancelEvent = cancelEvent != nullptr;
    ++ExtendCalls;
}

void FakeExtend(const std::wstring& domainName, HANDLE cancelEvent) {
    Record(domainName, cancelEvent);
    Throw(ExtendFailure, ExtendResult, "Unable to get schema container.");
}

// Runs until told to stop, the way the real procedure stops at its next
// step once the cancel event is set.
void ExtendUntilCancelled(const std::wstring& domainName, HANDLE cancelEvent) {
    Record(domainName, cancelEvent);
    while (::WaitForSingleObject(cancelEvent, 20) != WAIT_OBJECT_0) {
    }
    ExtendSawCancel = true;
}

// A directory call that fails once the dialog is closing, so that the worker
// reports its failure while the dialog's thread waits for it.
void ExtendFailsOnceCancelled(const std::wstring& domainName, HANDLE cancelEvent) {
    ExtendUntilCancelled(domainName, cancelEvent);
    throw AD::HResultException(static_cast<HRESULT>(0x8007203A), "Unable to create new class");
}

// A worker whose thread, once its job is over and the ready event set,
// holds at its very end until released: a stop that waits for it is still
// waiting when a message sent at that moment arrives, with the outcome in
// place. A fiber-local slot's callback runs on the exiting thread before the
// thread counts as ended.
Scoped::Handle WorkerHeld, WorkerReleased;
std::atomic<bool> HeldWorkerEnded{false};

void WINAPI HoldAtExit(void*) {
    ::SetEvent(WorkerHeld.get());
    // Bounded, so that a stop that waits for the worker from inside the
    // sent message (the fault the rows look for) cannot hang the run.
    ::WaitForSingleObject(WorkerReleased.get(), 5000);
    HeldWorkerEnded = true;
}

// extend, on a worker that then holds at its end.
template <void (*extend)(const std::wstring&, HANDLE)>
void ThenHold(const std::wstring& domainName, HANDLE cancelEvent) {
    static const DWORD slot = ::FlsAlloc(HoldAtExit);
    ::FlsSetValue(slot, &WorkerHeld);
    extend(domainName, cancelEvent);
}

// A directory call that never comes back.
void ExtendHangs(const std::wstring& domainName, HANDLE cancelEvent) {
    Record(domainName, cancelEvent);
    ::Sleep(60000);
}

// Button 2 of the dialog, watched for the last step of a final display.
WNDPROC ButtonProc = nullptr;
std::atomic<bool> ExitLabelSet{false};

LRESULT CALLBACK WatchButton(HWND button, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_SETTEXT && lParam &&
        std::wstring(reinterpret_cast<const wchar_t*>(lParam)) == L"&Exit")
        ExitLabelSet = true;
    return ::CallWindowProcW(ButtonProc, button, message, wParam, lParam);
}

void WatchExitLabel(HWND dialog) {
    ExitLabelSet = false;
    ButtonProc = reinterpret_cast<WNDPROC>(::SetWindowLongPtrW(
        ::GetDlgItem(dialog, IDCANCEL), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(WatchButton)));
}

// The pixels of a bitmap resource of the test program's own image.
std::vector<DWORD> ResourcePixels(int id) {
    Scoped::GdiObject<HBITMAP> bitmap(static_cast<HBITMAP>(
        ::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR)));
    return BitmapPixels(bitmap.get());
}

class SchemaSetupDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        server.strings = {{L"dnsHostName", L"dc1.samdom.test"}, {L"distinguishedName", ServerDn}};
        server.path = std::wstring(L"LDAP://") + ServerDn;
        Server = &server;
        DiscoveryFailure = Failure::None;
        ExtendFailure = Failure::None;
        ExtendCalls = 0;
        ExtendDomain.clear();
        ExtendHadCancelEvent = false;
        ExtendSawCancel = false;
        HeldWorkerEnded = false;
        WorkerHeld.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
        WorkerReleased.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
        GUI::Directory = {FakeFindSchemaMaster, FakeExtend};
        ASSERT_TRUE(App::Module.AddMessageLoop(&loop));
    }
    void TearDown() override {
        if (dialog && dialog->m_hWnd) Close();
        TakeQuit();
        dialog.reset();
        App::Module.RemoveMessageLoop();
        GUI::Directory = GUI::RealDirectory;
        EXPECT_EQ(0, server.refs) << "the server object is released";
    }

    HWND Open() {
        dialog = std::make_unique<GUI::SchemaSetupDialog>();
        window = dialog->Create(nullptr);
        if (!window) ADD_FAILURE() << "dialog not created, error " << ::GetLastError();
        return window;
    }
    // Opens the dialog and starts a job that runs extend; returns once the
    // worker is inside it.
    void StartJobWith(void (*extend)(const std::wstring&, HANDLE)) {
        GUI::Directory.extendSchema = extend;
        ASSERT_NE(nullptr, Open());
        Command(IDC_SETUP);
        ASSERT_TRUE(PumpUntil([] { return ExtendCalls.load() == 1; }, 2000));
    }
    void Command(int id, int code = BN_CLICKED) {
        ::SendMessageW(window, WM_COMMAND, MAKEWPARAM(id, code), 0);
    }
    void Close() { Command(IDCANCEL); }
    // The worker's final display is carried out step by step on this thread
    // while it pumps; relabelling button 2 is its last step.
    bool WaitForResult(DWORD ms = 3000) {
        return PumpUntil([this] { return ItemText(window, IDCANCEL) == L"&Exit"; }, ms);
    }

    void ExpectFinalDisplay(const std::wstring& text, int picture) {
        EXPECT_TRUE(ShowsPhase(window, FinishedPhase(text)));
        const auto shown = reinterpret_cast<HBITMAP>(
            ::SendDlgItemMessageW(window, IDC_STATUS_PICTURE, STM_GETIMAGE, IMAGE_BITMAP, 0));
        EXPECT_EQ(ResourcePixels(picture), BitmapPixels(shown)) << "picture " << picture;
    }
    // Opens the dialog on a discovery that fails: the failure is its final
    // display, and the details are never shown.
    void OpenOnFailedDiscovery(const std::wstring& detail) {
        ASSERT_NE(nullptr, Open());
        ExpectFinalDisplay(kNoMasterPrefix + detail, IDB_FAILURE);
        EXPECT_EQ(L"", ItemText(window, IDC_DETAILS)) << "the details are never shown";
    }
    // Runs a job whose extension fails: the failure shows at once. The next
    // tick sees the ready event and ends the job; the failure stays.
    void RunFailingJob(const std::wstring& text) {
        ASSERT_NE(nullptr, Open());
        Command(IDC_SETUP);
        ASSERT_TRUE(WaitForResult());
        ExpectFinalDisplay(text, IDB_FAILURE);
        PumpFor(2200);
        EXPECT_FALSE(TimerRunning());
        ExpectFinalDisplay(text, IDB_FAILURE);
    }
    // Closes the dialog during a job: the window goes and the loop is told
    // to end with code 2. Returns how long closing took, in ms.
    DWORD CloseDuringJob() {
        const DWORD start = ::GetTickCount();
        Close();
        const DWORD elapsed = ::GetTickCount() - start;
        EXPECT_FALSE(::IsWindow(window));
        EXPECT_EQ(IDCANCEL, TakeQuit());
        return elapsed;
    }
    // Whether the progress timer still exists. Asking kills it, so this is
    // the last look at a job.
    bool TimerRunning() { return ::KillTimer(window, 1) != 0; }

    Fakes::Log log;
    Fakes::FakeObject server{log};
    WTL::CMessageLoop loop;
    std::unique_ptr<GUI::SchemaSetupDialog> dialog;
    HWND window = nullptr;
};

// --- the details -----------------------------------------------------------

TEST_F(SchemaSetupDialogTest, ShowsTheSchemaMasterAndEnablesSetup) {
    ASSERT_NE(nullptr, Open());
    EXPECT_TRUE(ShowsPhase(window, DetailsPhase(ForestDetails())));
    LONG style = ::GetWindowLongW(::GetDlgItem(window, IDC_DETAILS), GWL_STYLE);
    EXPECT_EQ(WS_VSCROLL | WS_HSCROLL, style & (WS_VSCROLL | WS_HSCROLL));
    EXPECT_EQ(0, server.refs);
}

struct DetailsCase {
    const char* name;
    bool dnsHostNameIsNumber;  // else the server has none
    bool distinguishedName;
    const wchar_t* text;
};

class SchemaSetupDetails : public SchemaSetupDialogTest,
                           public ::testing::WithParamInterface<DetailsCase> {};

TEST_P(SchemaSetupDetails, LeavesOutWhatCannotBeRead) {
    const DetailsCase& c = GetParam();
    server.strings.erase(L"dnsHostName");
    if (c.dnsHostNameIsNumber) server.integers[L"dnsHostName"] = 7;
    if (!c.distinguishedName) server.strings.erase(L"distinguishedName");
    ASSERT_NE(nullptr, Open());
    EXPECT_EQ(c.text, ItemText(window, IDC_DETAILS)) << c.name;
    EXPECT_TRUE(ItemEnabled(window, IDC_SETUP));
}

INSTANTIATE_TEST_SUITE_P(
    Properties, SchemaSetupDetails,
    ::testing::Values(
        DetailsCase{"no dnsHostName", false, true,
                    L"Schema owner name:\r\n  CN=DC1,CN=Servers,CN=Default-First-Site-Name,CN=Sites,"
                    L"CN=Configuration,DC=samdom,DC=test\r\n\r\nDomain name:\r\n  DC=samdom,DC=test"},
        DetailsCase{"neither", false, false, L"Domain name:\r\n  DC=samdom,DC=test"},
        // A value that is not a string is not read as one: label only.
        DetailsCase{"dnsHostName not a string", true, false,
                    L"DNS name:\r\n  \r\n\r\nDomain name:\r\n  DC=samdom,DC=test"}));

TEST_F(SchemaSetupDialogTest, KeepsSetupDisabledWithoutADomainName) {
    server.path = L"LDAP://CN=DC1,CN=Servers,dc=samdom,dc=test";
    ASSERT_NE(nullptr, Open());
    const std::wstring details = ItemText(window, IDC_DETAILS);
    EXPECT_EQ(L"Domain name:\r\n  ", details.substr(details.size() - 16));
    EXPECT_TRUE(ShowsPhase(window, DetailsPhase(details, false)));

    // Even a command that gets through starts nothing.
    Command(IDC_SETUP);
    PumpFor(100);
    EXPECT_EQ(0, ExtendCalls.load());
    EXPECT_TRUE(ShowsPhase(window, DetailsPhase(details, false)));
    EXPECT_FALSE(TimerRunning());
}

TEST_F(SchemaSetupDialogTest, OpensInTheFinalDisplayWhenDiscoveryFails) {
    DiscoveryFailure = Failure::Directory;
    DiscoveryResult = static_cast<HRESULT>(0x8000500D);
    OpenOnFailedDiscovery(L"ADSI error occured E_ADS_PROPERTY_NOT_FOUND (0x8000500D)");
}

TEST_F(SchemaSetupDialogTest, ReportsAPathThatCannotBeReadAsADirectoryFailure) {
    server.pathResult = static_cast<HRESULT>(0x8000500E);
    OpenOnFailedDiscovery(L"ADSI error occured E_ADS_OBJECT_EXISTS (0x8000500E)");
}

struct FailureCase {
    const char* name;
    Failure failure;
    std::wstring detail;  // what follows the caller's prefix
};

std::vector<FailureCase> NonDirectoryFailures() {
    return {{"CAtlException", Failure::Atl, SystemDescription(E_OUTOFMEMORY)},
            {"bad_alloc", Failure::BadAlloc, SystemDescription(E_OUTOFMEMORY)},
            {"logic_error", Failure::Other, L"no such thing"}};
}

TEST_F(SchemaSetupDialogTest, ShowsOtherDiscoveryFailuresInsteadOfEnding) {
    for (const FailureCase& c : NonDirectoryFailures()) {
        SCOPED_TRACE(c.name);
        ASSERT_FALSE(c.detail.empty());
        DiscoveryFailure = c.failure;
        OpenOnFailedDiscovery(c.detail);
        Close();
        TakeQuit();
    }
}

// --- the job -----------------------------------------------------------------

TEST_F(SchemaSetupDialogTest, RunsTheJobAndShowsSuccessAfterATick) {
    ASSERT_NE(nullptr, Open());
    Command(IDC_SETUP);
    // The running look is in place before the worker can report anything.
    EXPECT_TRUE(ShowsPhase(window, RunningPhase(ForestDetails())));

    DWORD start = ::GetTickCount();
    ASSERT_TRUE(WaitForResult(3500));
    EXPECT_GE(::GetTickCount() - start, 500u) << "success is shown by the timer's tick";
    ExpectFinalDisplay(kSuccessText, IDB_SUCCESS);
    EXPECT_EQ(1, ExtendCalls.load());
    EXPECT_EQ(L"DC=samdom,DC=test", ExtendDomain);
    EXPECT_TRUE(ExtendHadCancelEvent);
    EXPECT_FALSE(TimerRunning()) << "the job's end stops the timer";

    // A second "&Setup" cannot start a second job.
    Command(IDC_SETUP);
    PumpFor(100);
    EXPECT_EQ(1, ExtendCalls.load());
    ExpectFinalDisplay(kSuccessText, IDB_SUCCESS);
}

TEST_F(SchemaSetupDialogTest, ATimerTickBeforeAnyJobIsAnError) {
    ASSERT_NE(nullptr, Open());
    ::SendMessageW(window, WM_TIMER, 1, 0);
    ExpectFinalDisplay(L"Error: received timer tick in inconsistent state.", IDB_FAILURE);
    EXPECT_FALSE(TimerRunning());
}

TEST_F(SchemaSetupDialogTest, IgnoresTheLateTickOfAFinishedJob) {
    ASSERT_NE(nullptr, Open());
    // After success: a tick that was queued before the timer was killed.
    Command(IDC_SETUP);
    ASSERT_TRUE(WaitForResult(3500));
    ::SendMessageW(window, WM_TIMER, 1, 0);
    ::PostMessageW(window, WM_TIMER, 1, 0);
    PumpFor(100);
    ExpectFinalDisplay(kSuccessText, IDB_SUCCESS);
}

TEST_F(SchemaSetupDialogTest, ShowsADirectoryFailureWithItsStep) {
    ExtendFailure = Failure::Directory;
    ExtendResult = static_cast<HRESULT>(0x8000500E);
    RunFailingJob(L"Unable to get schema container.:\r\nADSI error occured E_ADS_OBJECT_EXISTS (0x8000500E)");
}

TEST_F(SchemaSetupDialogTest, ShowsOtherWorkerFailuresAndStillEndsTheJob) {
    for (const FailureCase& c : NonDirectoryFailures()) {
        SCOPED_TRACE(c.name);
        ExtendFailure = c.failure;
        // The worker sets the ready event as for a directory failure.
        RunFailingJob(L"Domain schema extension has failed.\r\n" + c.detail);
        Close();
        TakeQuit();
    }
}

TEST_F(SchemaSetupDialogTest, ClosingDuringTheJobCancelsIt) {
    ASSERT_NO_FATAL_FAILURE(StartJobWith(ExtendUntilCancelled));
    EXPECT_LT(CloseDuringJob(), 2000u);
    EXPECT_TRUE(ExtendSawCancel);
}

TEST_F(SchemaSetupDialogTest, ClosingWhileTheWorkerReportsAFailureLetsItFinish) {
    ASSERT_NO_FATAL_FAILURE(StartJobWith(ExtendFailsOnceCancelled));
    WatchExitLabel(window);
    const DWORD elapsed = CloseDuringJob();
    std::printf("closing while the worker reports took %lu ms\n", static_cast<unsigned long>(elapsed));
    EXPECT_TRUE(ExitLabelSet) << "the worker was cut off in the middle of its report";
    const DWORD bound = GUI::SchemaSetupDialog::JobStopTimeout;
    EXPECT_LT(elapsed, bound) << "the stop waited out its bound";
}

// What an automation tool may send while the dialog's thread waits for the
// worker to stop: each is served inside that wait.
struct SentDuringStop {
    const char* name;
    bool toButton;
    UINT message;
    WPARAM wParam;
    bool buttonAsLParam;
};

void PrintTo(const SentDuringStop& c, std::ostream* out) { *out << c.name; }

// Sends c from another thread once the worker holds at its end and the test
// has begun its stop (sendNow), that is inside that stop's wait, then lets
// the worker end. Started before the job: a thread that starts while the
// worker exits waits for it.
struct SenderDuringStop {
    SenderDuringStop(HWND& dialog, const SentDuringStop& c) : thread([this, &dialog, c] {
        const HANDLE both[] = {WorkerHeld.get(), sendNow.get()};
        if (::WaitForMultipleObjects(2, both, TRUE, 10000) == WAIT_OBJECT_0) {
            HWND button = ::GetDlgItem(dialog, IDCANCEL);
            DWORD_PTR result = 0;
            // Bounded: a message left unserved would otherwise hold up the
            // test's join for good.
            served = ::SendMessageTimeoutW(c.toButton ? button : dialog, c.message, c.wParam,
                                           c.buttonAsLParam ? reinterpret_cast<LPARAM>(button) : 0,
                                           SMTO_NORMAL, 20000, &result) != 0;
            windowAlive = ::IsWindow(dialog) != FALSE;
            resultShown = windowAlive && ItemVisible(dialog, IDC_RESULT_TEXT);
        }
        ::SetEvent(WorkerReleased.get());
    }) {}

    Scoped::Handle sendNow{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    // What the dialog looked like once the message was served.
    bool served = false;
    bool windowAlive = false;
    bool resultShown = false;
    std::thread thread;  // last: it reads the members above
};

class SchemaSetupSentDuringStop : public SchemaSetupDialogTest,
                                  public ::testing::WithParamInterface<SentDuringStop> {};

TEST_P(SchemaSetupSentDuringStop, LeavesTheStopsHandlesAlone) {
    SenderDuringStop sender(window, GetParam());
    StartJobWith(ThenHold<ExtendUntilCancelled>);
    // Without the guard, a second stop ran inside the first one's wait and
    // closed the handles under it; the failed wait then ended this process
    // with TerminateProcess.
    ::SetEvent(sender.sendNow.get());
    CloseDuringJob();
    sender.thread.join();
    EXPECT_TRUE(sender.served);
    EXPECT_TRUE(sender.windowAlive) << "the window went while its stop still waited";
    EXPECT_FALSE(sender.resultShown) << "an outcome was shown on a closing dialog";
    EXPECT_TRUE(HeldWorkerEnded) << "the worker did not end by itself";
    // A deferred close finds the window gone: nothing more happens.
    PumpFor(100);
    EXPECT_EQ(-1, TakeQuit());
}

INSTANTIATE_TEST_SUITE_P(
    WhileTheStopWaits, SchemaSetupSentDuringStop,
    ::testing::Values(
        SentDuringStop{"command 2", false, WM_COMMAND, IDCANCEL, false},
        SentDuringStop{"BM_CLICK", true, BM_CLICK, 0, false},
        // The command that the window's close (WM_CLOSE, SC_CLOSE) posts,
        // sent instead: posted, it waits in the queue until the stop is over.
        SentDuringStop{"close command, sent", false, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), true},
        // The worker has set the ready event: a tick that got through would
        // end the job a second time and show its outcome on a closing dialog.
        SentDuringStop{"timer tick", false, WM_TIMER, 1, false}));

TEST_F(SchemaSetupDialogTest, ACancelInsideTheTicksStopClosesTheDialogOnceThatStopIsOver) {
    SenderDuringStop sender(window, {"command 2", false, WM_COMMAND, IDCANCEL, false});
    StartJobWith(ThenHold<FakeExtend>);
    EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(WorkerHeld.get(), 5000));
    // The tick finds the job done and stops it; the Cancel arrives inside
    // that stop's wait.
    ::SetEvent(sender.sendNow.get());
    ::SendMessageW(window, WM_TIMER, 1, 0);
    sender.thread.join();
    EXPECT_TRUE(sender.served) << "the stop's wait left the Cancel unserved";
    EXPECT_TRUE(sender.windowAlive) << "the window went while the tick's stop still waited";
    EXPECT_TRUE(HeldWorkerEnded);
    ExpectFinalDisplay(kSuccessText, IDB_SUCCESS);
    EXPECT_TRUE(PumpUntil([this] { return !::IsWindow(window); }, 2000)) << "the Cancel was lost";
    EXPECT_EQ(IDCANCEL, TakeQuit());
}

TEST_F(SchemaSetupDialogTest, DestroyingTheDialogStopsAJobStillRunning) {
    ASSERT_NO_FATAL_FAILURE(StartJobWith(ExtendUntilCancelled));
    // As when the loop ends on a quit message that the Cancel command did
    // not post: the dialog goes while its worker runs.
    dialog.reset();
    EXPECT_TRUE(ExtendSawCancel) << "the worker was left running without its dialog";
}

TEST_F(SchemaSetupDialogTest, ClosingEndsAWorkerThatDoesNotStopWithinTheBound) {
    ASSERT_NO_FATAL_FAILURE(StartJobWith(ExtendHangs));
    const DWORD elapsed = CloseDuringJob();
    EXPECT_GE(elapsed, 9500u);
    EXPECT_LT(elapsed, 13000u);
}

// --- commands and the loop ----------------------------------------------------

TEST_F(SchemaSetupDialogTest, IgnoresOtherCommands) {
    ASSERT_NE(nullptr, Open());
    Command(IDOK);
    Command(1000);
    PumpFor(50);
    EXPECT_TRUE(::IsWindow(window));
    EXPECT_EQ(-1, TakeQuit());
    EXPECT_TRUE(ShowsPhase(window, DetailsPhase(ForestDetails())));
}

TEST_F(SchemaSetupDialogTest, SetupRunsWhateverTheNotificationCode) {
    ASSERT_NE(nullptr, Open());
    Command(IDC_SETUP, BN_DOUBLECLICKED);
    EXPECT_EQ(kRunningText, ItemText(window, IDC_INSTRUCTION));
    ASSERT_TRUE(WaitForResult(3500));
}

TEST_F(SchemaSetupDialogTest, EscapeThroughTheLoopEndsWithCode2) {
    ASSERT_NE(nullptr, Open());
    ::PostMessageW(window, WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_EQ(IDCANCEL, loop.Run());
    EXPECT_FALSE(::IsWindow(window));
    EXPECT_EQ(nullptr, dialog->m_hWnd);
}

TEST_F(SchemaSetupDialogTest, CloseCommandOfTheWindowEndsWithCode2) {
    ASSERT_NE(nullptr, Open());
    ::PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(IDCANCEL, loop.Run());
    EXPECT_FALSE(::IsWindow(window));
}

// --- the look -------------------------------------------------------------------

TEST_F(SchemaSetupDialogTest, GivesOnlyTheTitleItsFontAndColour) {
    ASSERT_NE(nullptr, Open());
    for (int id : {IDC_TITLE, IDC_INSTRUCTION, IDC_RESULT_TEXT}) {
        SCOPED_TRACE(id);
        Scoped::MemoryDC dc(nullptr);  // compatible with the screen
        ::SetTextColor(dc.get(), RGB(1, 2, 3));
        ::SetBkMode(dc.get(), TRANSPARENT);
        LRESULT brush = ::SendMessageW(window, WM_CTLCOLORSTATIC,
                                       reinterpret_cast<WPARAM>(dc.get()),
                                       reinterpret_cast<LPARAM>(::GetDlgItem(window, id)));
        EXPECT_EQ(reinterpret_cast<LRESULT>(::GetStockObject(WHITE_BRUSH)), brush);
        EXPECT_EQ(OPAQUE, ::GetBkMode(dc.get()));
        // The font asked for; Wine may render it with a substitute face.
        LOGFONTW font{};
        ::GetObjectW(::GetCurrentObject(dc.get(), OBJ_FONT), sizeof font, &font);
        if (id == IDC_TITLE) {
            EXPECT_EQ(RGB(0, 51, 153), ::GetTextColor(dc.get()));
            EXPECT_STREQ(L"Tahoma", font.lfFaceName);
            EXPECT_EQ(-14, font.lfHeight);
        } else {
            EXPECT_EQ(RGB(1, 2, 3), ::GetTextColor(dc.get()));
            EXPECT_STRNE(L"Tahoma", font.lfFaceName);
        }
    }
}

TEST_F(SchemaSetupDialogTest, PaintsTheBannerAsTheBackground) {
    ASSERT_NE(nullptr, Open());
    // A client area larger than the banner each way, as a substituted font
    // can make it, so that there is something beyond the banner to paint.
    RECT client{}, frame{};
    ::GetClientRect(window, &client);
    ::GetWindowRect(window, &frame);
    ASSERT_TRUE(::SetWindowPos(window, nullptr, 0, 0, frame.right - frame.left + 700 - client.right,
                               frame.bottom - frame.top + 400 - client.bottom, SWP_NOMOVE | SWP_NOZORDER));
    ::GetClientRect(window, &client);
    ASSERT_EQ(700, client.right);
    ASSERT_EQ(400, client.bottom);
    HDC screen = ::GetDC(nullptr);
    Scoped::GdiObject<HBITMAP> canvas(::CreateCompatibleBitmap(screen, client.right, client.bottom));
    {
        Scoped::MemoryDC dc(screen);
        dc.select(canvas.get());
        ::FillRect(dc.get(), &client, static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH)));
        EXPECT_EQ(1, ::SendMessageW(window, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc.get()), 0));
    }
    ::ReleaseDC(nullptr, screen);

    std::vector<DWORD> painted = BitmapPixels(canvas.get());
    std::vector<DWORD> banner = ResourcePixels(IDB_BANNER);
    ASSERT_EQ(593u * 345u, banner.size());
    ASSERT_EQ(static_cast<size_t>(client.right) * client.bottom, painted.size());
    // Compare where both exist; what lies beyond the banner must be white,
    // not left as it was.
    size_t mismatches = 0, notWhite = 0;
    for (size_t i = 0; i < painted.size(); ++i) {
        const size_t x = i % client.right, y = i / client.right;
        if (x < 593 && y < 345)
            mismatches += painted[i] != banner[y * 593 + x];
        else
            notWhite += painted[i] != 0xFFFFFF;
    }
    EXPECT_EQ(0u, mismatches);
    EXPECT_EQ(0u, notWhite);
}

TEST_F(SchemaSetupDialogTest, CentresOnTheWorkArea) {
    ASSERT_NE(nullptr, Open());
    RECT frame{};
    ::GetWindowRect(window, &frame);
    MONITORINFO info{};
    info.cbSize = sizeof info;
    ASSERT_TRUE(::GetMonitorInfoW(::MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &info));
    const RECT& work = info.rcWork;
    LONG w = frame.right - frame.left, h = frame.bottom - frame.top;
    EXPECT_EQ(std::max(work.left, (work.left + work.right) / 2 - w / 2), frame.left);
    EXPECT_EQ(std::max(work.top, (work.top + work.bottom) / 2 - h / 2), frame.top);
}

}  // namespace
