// The setup dialog's resource identifiers: its template, its controls and
// the pictures and icon it loads. They live with the dialog; the resource
// script takes them from here through app/res/resource.h. The numbers are
// part of the program's outside contract (tests and tools look controls up
// by them), so they never change.
#pragma once

// The one dialog.
#define IDD_SCHEMA_SETUP 5

// Its controls, in template (and tab) order. The Cancel button is the
// system's IDCANCEL (2), so Escape and the close box reach it for free.
#define IDC_SETUP 1003
#define IDC_INSTRUCTION 1000
#define IDC_WAIT_LABEL 1004
#define IDC_PROGRESS 1005
#define IDC_DETAILS_GROUP 1007
#define IDC_DETAILS 1006
#define IDC_TITLE 1010
#define IDC_STATUS_PICTURE 1011
#define IDC_RESULT_TEXT 1013

// Pictures: the banner behind the whole client area and the two status
// pictures of the final display.
#define IDB_BANNER 201
#define IDB_SUCCESS 203
#define IDB_FAILURE 204

// The window's icon group.
#define IDI_MAIN 128
