// The message loop's filter order, its idle rules and its exit code, and the
// module's per-thread loop registry.
#include "framework/AppModule.h"
#include "framework/MessageLoop.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

const UINT Probe = WM_APP + 1;

// Records the messages it sees; consumes the ones it is told to.
class RecordingFilter : public WTL::CMessageFilter {
public:
    RecordingFilter(std::vector<std::string>& log, std::string name, UINT consumes = 0)
        : m_log(log), m_name(std::move(name)), m_consumes(consumes) {}
    BOOL PreTranslateMessage(MSG* msg) override {
        if (msg->message == WM_QUIT) return FALSE;
        m_log.push_back(m_name);
        if (onMessage) onMessage(msg);
        return msg->message == m_consumes;
    }
    std::function<void(MSG*)> onMessage;

private:
    std::vector<std::string>& m_log;
    std::string m_name;
    UINT m_consumes;
};

TEST(MessageLoop, AsksFiltersLastRegisteredFirstUntilOneConsumes) {
    std::vector<std::string> log;
    RecordingFilter first(log, "first"), second(log, "second", Probe), third(log, "third");
    WTL::CMessageLoop loop;
    for (RecordingFilter* filter : {&first, &second, &third}) ASSERT_TRUE(loop.AddMessageFilter(filter));
    third.onMessage = [](MSG* msg) {
        if (msg->message == Probe) ::PostQuitMessage(0);
    };
    ::PostThreadMessageW(::GetCurrentThreadId(), Probe, 0, 0);
    EXPECT_EQ(0, loop.Run());
    EXPECT_EQ((std::vector<std::string>{"third", "second"}), log);
}

TEST(MessageLoop, SurvivesFiltersThatUnregisterWhileBeingAsked) {
    // What a dialog does when Escape reaches it through its own filter: the
    // window closes and takes itself (and here another filter) off the loop.
    std::vector<std::string> log;
    WTL::CMessageLoop loop;
    RecordingFilter first(log, "first"), second(log, "second"), third(log, "third");
    for (RecordingFilter* filter : {&first, &second, &third}) ASSERT_TRUE(loop.AddMessageFilter(filter));
    third.onMessage = [&](MSG*) {
        loop.RemoveMessageFilter(&third);
        loop.RemoveMessageFilter(&second);
        ::PostQuitMessage(0);
    };
    ::PostThreadMessageW(::GetCurrentThreadId(), Probe, 0, 0);
    EXPECT_EQ(0, loop.Run());
    EXPECT_EQ((std::vector<std::string>{"third", "first"}), log);
    EXPECT_FALSE(loop.RemoveMessageFilter(&third));
    EXPECT_TRUE(loop.RemoveMessageFilter(&first));
}

TEST(MessageLoop, ExitCodeIsTheLow32BitsOfTheQuitMessage) {
    WTL::CMessageLoop loop;
    ::PostThreadMessageW(::GetCurrentThreadId(), WM_QUIT, static_cast<WPARAM>(0xABCD00000007ull), 0);
    EXPECT_EQ(7, loop.Run());
    ::PostQuitMessage(-3);
    EXPECT_EQ(-3, loop.Run());
}

// The first idle pass posts one message and starts a short thread timer;
// the timer's tick ends the loop. Counting idle passes shows whether the
// message started idle processing again.
class IdleScript : public WTL::CIdleHandler, public WTL::CMessageFilter {
public:
    explicit IdleScript(UINT message) : m_message(message) {}
    BOOL OnIdle() override {
        if (++idleCalls == 1) {
            ::PostThreadMessageW(::GetCurrentThreadId(), m_message, 0, 0);
            m_timer = ::SetTimer(nullptr, 0, 50, nullptr);
        }
        return TRUE;  // asks for more; the loop must not call again at once
    }
    BOOL PreTranslateMessage(MSG* msg) override {
        if (msg->message == WM_TIMER && msg->hwnd == nullptr && msg->wParam == m_timer) {
            ::KillTimer(nullptr, m_timer);
            ::PostQuitMessage(0);
            return TRUE;
        }
        return msg->message == m_message;
    }
    int idleCalls = 0;

private:
    UINT m_message;
    UINT_PTR m_timer = 0;
};

struct IdleCase {
    UINT message;
    const char* name;
    int idleCalls;  // before the timer's tick ends the loop
};

class MessageLoopIdle : public ::testing::TestWithParam<IdleCase> {};

TEST_P(MessageLoopIdle, RunsIdleHandlersAgainOnlyAfterActivity) {
    const IdleCase& c = GetParam();
    IdleScript script(c.message);
    WTL::CMessageLoop loop;
    loop.AddMessageFilter(&script);
    loop.AddIdleHandler(&script);
    EXPECT_EQ(0, loop.Run());
    EXPECT_EQ(c.idleCalls, script.idleCalls) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Messages, MessageLoopIdle,
    ::testing::Values(IdleCase{WM_MOUSEMOVE, "WM_MOUSEMOVE", 1},
                      IdleCase{WM_NCMOUSEMOVE, "WM_NCMOUSEMOVE", 1},
                      IdleCase{WM_PAINT, "WM_PAINT", 1},
                      IdleCase{0x0118, "caret blink timer", 1},
                      IdleCase{WM_KEYDOWN, "WM_KEYDOWN", 2},
                      IdleCase{WM_TIMER, "WM_TIMER", 2},
                      IdleCase{WM_MOUSEMOVE + 1, "WM_LBUTTONDOWN", 2}));

TEST(MessageLoop, CallsEveryIdleHandlerInOrderOfRegistration) {
    struct Handler : WTL::CIdleHandler {
        Handler(std::vector<int>& log, int id) : log(log), id(id) {}
        BOOL OnIdle() override {
            log.push_back(id);
            if (id == 3) ::PostQuitMessage(0);
            return FALSE;
        }
        std::vector<int>& log;
        int id;
    };
    std::vector<int> log;
    Handler a(log, 1), b(log, 2), c(log, 3);
    WTL::CMessageLoop loop;
    for (Handler* handler : {&a, &b, &c}) ASSERT_TRUE(loop.AddIdleHandler(handler));
    EXPECT_EQ(0, loop.Run());
    EXPECT_EQ((std::vector<int>{1, 2, 3}), log);
}

TEST(AppModule, KeepsOneLoopPerThread) {
    WTL::CAppModule module;
    WTL::CMessageLoop mine, other;
    EXPECT_FALSE(module.AddMessageLoop(&mine)) << "no registry before Init";
    ASSERT_EQ(S_OK, module.Init());
    EXPECT_EQ(::GetCurrentThreadId(), module.MainThreadId());
    EXPECT_EQ(nullptr, module.GetMessageLoop());

    ASSERT_TRUE(module.AddMessageLoop(&mine));
    EXPECT_FALSE(module.AddMessageLoop(&other)) << "a thread has one loop";
    EXPECT_EQ(&mine, module.GetMessageLoop());

    DWORD mainThread = ::GetCurrentThreadId();
    WTL::CMessageLoop* seenOwn = &mine;
    WTL::CMessageLoop* seenMain = nullptr;
    WTL::CMessageLoop* seenOwnAfterAdd = nullptr;
    std::thread worker([&] {
        seenOwn = module.GetMessageLoop();
        seenMain = module.GetMessageLoop(mainThread);
        module.AddMessageLoop(&other);
        seenOwnAfterAdd = module.GetMessageLoop();
        module.RemoveMessageLoop();
    });
    worker.join();
    EXPECT_EQ(nullptr, seenOwn);
    EXPECT_EQ(&mine, seenMain);
    EXPECT_EQ(&other, seenOwnAfterAdd);
    EXPECT_EQ(&mine, module.GetMessageLoop()) << "the worker removed only its own";

    EXPECT_TRUE(module.RemoveMessageLoop());
    EXPECT_FALSE(module.RemoveMessageLoop());
    EXPECT_EQ(nullptr, module.GetMessageLoop());

    module.AddMessageLoop(&mine);
    module.Term();
    EXPECT_EQ(nullptr, module.GetMessageLoop(mainThread));
    EXPECT_FALSE(module.AddMessageLoop(&mine));
}

}  // namespace
