#pragma once
// The installer's modal message boxes and its one beep.

#include <windows.h>

#include <string>

#include "core/Platform.h"

namespace tazel::win32 {

// A modal box with no icon whose first button is the default; an empty title reads "TazelDeck".
// Escape or the close control of an OK-and-Cancel box gives Cancel.
BoxResult ShowMessageBox(HWND owner, const std::wstring& prompt, const std::wstring& title, Buttons buttons);

// The platform's default beep; returns without waiting for the sound.
void DefaultBeep();

} // namespace tazel::win32
