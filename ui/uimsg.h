// Private window messages of the shared interface components, with the
// system messages they post in place of real mouse input.
#pragma once

enum WM_UI : unsigned {
    WM_RBUTTONDOWN = 0x204,           // context-menu key of a list (wParam, lParam -1)
    WM_LIST_COLUMN_TRACKED = 0x7F2,   // a column width changed; lParam the column
    WM_LIST_FOCUS_ROW = 0x7F4,        // the focused row shows while the list has the focus
    WM_LIST_DELETE_KEY = 0x7F5,       // Delete pressed in a list; wParam the list
    WM_SRC_MENU_REQUEST = 0x7F8,      // a flagged source button asks its owner for a menu
    WM_SRC_CONTEXT_MENU = 0x7FC,      // right click on a source button
    WM_POPUP_MENU_CLOSED = 0x7FD,     // a source pane's popup menu went away
    WM_SRC_CHANGED = 0x800,           // a source pane switched its source
};
