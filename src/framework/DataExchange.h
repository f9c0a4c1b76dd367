#pragma once
// Dialog data exchange: the same binding serves both directions. Pulling (saveAndValidate)
// reads the controls into the members; pushing writes the members into the controls.
#include <windows.h>

#include <string>

class CWnd;

class DataExchange {
public:
    DataExchange(HWND dialog, bool saveAndValidate) : dialog(dialog), saveAndValidate(saveAndValidate) {}
    HWND dialog;
    bool saveAndValidate;
};

// A check box's state as an int: 1 ticked, 0 not ticked.
void DDX_Check(DataExchange& exchange, int id, int& value);
// A control's text as CP936 bytes, through the wide functions.
void DDX_Text(DataExchange& exchange, int id, std::string& value);
// Binds the control's handle to a window object (no subclassing).
void DDX_Control(DataExchange& exchange, int id, CWnd& control);
