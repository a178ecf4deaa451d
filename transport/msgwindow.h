#pragma once
// A window that takes posted, numbered messages. A dialog that drives an operation stage by
// stage is one: each stage posts the next stage to it. The Qt dialogs implement it
// (transport/qtmsgwindow.h); programs without a user interface pass none and run an operation
// to its end in one call.
#include <cstdint>

class CMsgWindow {
 public:
  virtual ~CMsgWindow() = default;
  // Queues the message for a later turn of the event loop; never handles it inside this call.
  virtual void PostMessage(unsigned message, std::intptr_t wParam, std::intptr_t lParam) = 0;
};

inline constexpr unsigned WM_USER = 0x0400;
// The pump's message: wParam is the stage to show and run next, lParam is 0.
inline constexpr unsigned WMU_RUN_OP = WM_USER + 100;  // 1124
