// Key codes that windows alert on and that events carry.
//
// A key code is the key's number with the modifier bits added: Shift 0x100, Ctrl 0x200,
// Alt 0x400 (Ctrl+Enter is 0x20D = 525, Shift+Enter 0x10D = 269). Mouse buttons have small
// numbers of their own; a double click of the left button is 130.
#pragma once

namespace zelt::runtime::key {

inline constexpr int MouseLeft = 1;
inline constexpr int MouseRight = 2;
inline constexpr int MouseCenter = 3;
inline constexpr int MouseLeft2 = 130;  // double click

inline constexpr int Backspace = 8;
inline constexpr int Tab = 9;
inline constexpr int Enter = 13;
inline constexpr int Escape = 27;
inline constexpr int Space = 32;
inline constexpr int PageUp = 33;
inline constexpr int PageDown = 34;
inline constexpr int End = 35;
inline constexpr int Home = 36;
inline constexpr int Left = 37;
inline constexpr int Up = 38;
inline constexpr int Right = 39;
inline constexpr int Down = 40;
inline constexpr int Insert = 45;
inline constexpr int Delete = 46;
inline constexpr int F1 = 112;
// Letters are their capitals' codes ('A' 65 to 'Z' 90), keys only with Ctrl or Alt:
// Ctrl + 'F' is Ctrl+F.

inline constexpr int Shift = 0x100;
inline constexpr int Ctrl = 0x200;
inline constexpr int Alt = 0x400;

inline constexpr int CtrlEnter = Ctrl + Enter;    // 525
inline constexpr int ShiftEnter = Shift + Enter;  // 269
inline constexpr int CtrlHome = Ctrl + Home;
inline constexpr int CtrlEnd = Ctrl + End;

}  // namespace zelt::runtime::key
