// A dialog object bound to its window: the window is created from a template
// in the program's own image, and from its first message on every message
// goes to the object's message map.
#pragma once

#include "framework/AppModule.h"
#include "framework/WindowCreation.h"

#include <windows.h>

namespace ATL {

// The window handle and the few operations on it that the dialog uses.
class CWindow {
public:
    HWND m_hWnd = nullptr;

    operator HWND() const noexcept { return m_hWnd; }
    HWND GetDlgItem(int id) const noexcept { return ::GetDlgItem(m_hWnd, id); }
};

class CMessageMap {
public:
    // True when the message was handled; result is then its message result.
    // mapId selects an alternate map; 0 is the window's own.
    virtual BOOL ProcessWindowMessage(HWND window, UINT message, WPARAM wParam,
                                      LPARAM lParam, LRESULT& result, DWORD mapId) = 0;

protected:
    ~CMessageMap() = default;
};

class CDialogImplBase : public CWindow, public CMessageMap {
public:
    CDialogImplBase() noexcept = default;
    CDialogImplBase(const CDialogImplBase&) = delete;
    CDialogImplBase& operator=(const CDialogImplBase&) = delete;
    // A window that outlives its object is cut loose and destroyed, so that
    // no message can reach the object afterwards.
    virtual ~CDialogImplBase();

    // The procedure that serves the window once it is bound.
    virtual DLGPROC GetDialogProc() noexcept { return DialogProc; }
    // Called after WM_NCDESTROY, when the object has let go of its window.
    virtual void OnFinalMessage(HWND /*window*/) {}

    static INT_PTR CALLBACK StartDialogProc(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam);
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam,
                                       LPARAM lParam);

protected:
    // Creates the modeless dialog; null when the window cannot be created or
    // when this object already has one.
    HWND CreateFromTemplate(HINSTANCE instance, int templateId, HWND parent,
                            LPARAM initParam) noexcept;

private:
    App::CreationEntry m_creation;
};

template <class T, class TBase = CWindow>
class CDialogImpl : public CDialogImplBase {
public:
    // The template is T::IDD in the module's resource instance.
    HWND Create(HWND parent, LPARAM initParam = 0) noexcept {
        return CreateFromTemplate(App::Module.ResourceInstance(), T::IDD, parent, initParam);
    }
};

}  // namespace ATL
