// Binding a dialog object to its window: which object gets the window, how
// message results travel back, and letting go of the window at its end.
#include "gui/DialogIds.h"
#include "framework/DialogImpl.h"


#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>
#include <vector>

namespace {

const UINT AnswerWith42 = WM_APP + 1;
const UINT Throws = WM_APP + 2;

template <int Template>
class ProbeDialog : public ATL::CDialogImpl<ProbeDialog<Template>> {
public:
    enum { IDD = Template };

    BOOL ProcessWindowMessage(HWND window, UINT message, WPARAM, LPARAM, LRESULT& result,
                              DWORD mapId) override {
        messages.push_back(message);
        if (mapId != 0) return FALSE;
        switch (message) {
        case WM_INITDIALOG:
            windowAtInit = window;
            boundAtInit = this->m_hWnd;
            result = FALSE;  // returned as is: no default focus
            return TRUE;
        case AnswerWith42:
            result = 42;
            return TRUE;
        case WM_CTLCOLORSTATIC:
            result = reinterpret_cast<LRESULT>(::GetStockObject(GRAY_BRUSH));
            return TRUE;
        case Throws:
            throw std::runtime_error("escaping handler");
        }
        return FALSE;
    }
    void OnFinalMessage(HWND window) override { finalMessages.push_back(window); }

    std::vector<UINT> messages;
    std::vector<HWND> finalMessages;
    HWND windowAtInit = nullptr;
    HWND boundAtInit = nullptr;
};

using Probe = ProbeDialog<IDD_SCHEMA_SETUP>;
using MissingTemplateDialog = ProbeDialog<999>;

class DialogBinding : public ::testing::Test {
protected:
    void SetUp() override {
        window = probe.Create(nullptr);
        ASSERT_NE(nullptr, window);
    }
    void TearDown() override {
        if (::IsWindow(window)) ::DestroyWindow(window);
    }

    Probe probe;
    HWND window = nullptr;
};

TEST_F(DialogBinding, BindsTheCreatingObjectBeforeInitDialog) {
    EXPECT_EQ(window, probe.m_hWnd);
    EXPECT_EQ(window, probe.windowAtInit);
    EXPECT_EQ(window, probe.boundAtInit);
    EXPECT_NE(probe.messages.end(),
              std::find(probe.messages.begin(), probe.messages.end(), WM_INITDIALOG));
    EXPECT_EQ(nullptr, probe.Create(nullptr)) << "one window per object";
}

TEST_F(DialogBinding, ReturnsResultsThroughTheRightChannel) {
    // An ordinary handled message: its result travels in DWLP_MSGRESULT.
    EXPECT_EQ(42, ::SendMessageW(window, AnswerWith42, 0, 0));
    // A colour message: the brush is the dialog procedure's own answer.
    EXPECT_EQ(reinterpret_cast<LRESULT>(::GetStockObject(GRAY_BRUSH)),
              ::SendMessageW(window, WM_CTLCOLORSTATIC, 0, 0));
    // Not handled: the default dialog processing answers.
    EXPECT_EQ(0, ::SendMessageW(window, WM_APP + 9, 0, 0));
}

TEST_F(DialogBinding, KeepsHandlerExceptionsInsideTheWindowProcedure) {
    EXPECT_EQ(0, ::SendMessageW(window, Throws, 0, 0));
    EXPECT_TRUE(::IsWindow(window));
    EXPECT_EQ(42, ::SendMessageW(window, AnswerWith42, 0, 0));
}

TEST_F(DialogBinding, ForgetsTheWindowAfterItsLastMessage) {
    ::DestroyWindow(window);
    EXPECT_EQ(nullptr, probe.m_hWnd);
    EXPECT_EQ(std::vector<HWND>{window}, probe.finalMessages);
    EXPECT_EQ(WM_NCDESTROY, probe.messages.back());
}

TEST_F(DialogBinding, ObjectGoingFirstTakesItsWindowWithIt) {
    HWND other;
    {
        Probe going;
        other = going.Create(nullptr);
        ASSERT_NE(nullptr, other);
    }
    EXPECT_FALSE(::IsWindow(other));
}

TEST_F(DialogBinding, FailedCreationLeavesNoEntryForTheNextWindow) {
    MissingTemplateDialog missing;
    EXPECT_EQ(nullptr, missing.Create(nullptr));
    EXPECT_TRUE(missing.messages.empty());

    // The failed object is still alive: the next window must still bind to
    // the object that creates it, not to the one that waited first.
    Probe next;
    HWND created = next.Create(nullptr);
    ASSERT_NE(nullptr, created);
    EXPECT_EQ(created, next.m_hWnd);
    EXPECT_TRUE(missing.messages.empty());
    EXPECT_EQ(nullptr, missing.m_hWnd);
    ::DestroyWindow(created);
}

}  // namespace
