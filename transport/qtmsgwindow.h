#pragma once
// Posted, numbered messages on Qt: a window handle is a QObject, and posting a message queues a
// CWinMsgEvent to it on the user-interface thread. The receiver handles it in event().
#include <QEvent>
#include <QPointer>

#include <cstdint>

#include "transport/msgwindow.h"

class CWinMsgEvent : public QEvent {
 public:
  CWinMsgEvent(unsigned message, std::intptr_t wParam, std::intptr_t lParam)
      : QEvent(Type()), message(message), wParam(wParam), lParam(lParam) {}

  static QEvent::Type Type();
  // The event as a posted message, or nullptr for any other event.
  static const CWinMsgEvent* From(const QEvent* event);

  const unsigned message;
  const std::intptr_t wParam;
  const std::intptr_t lParam;
};

// Queues the message for `target`; nothing happens when the target is gone by then.
void PostWinMessage(QObject* target, unsigned message, std::intptr_t wParam, std::intptr_t lParam);

// A QObject as the window an operation posts its stages to.
class CQtMsgWindow : public CMsgWindow {
 public:
  explicit CQtMsgWindow(QObject* target) : target_(target) {}
  void PostMessage(unsigned message, std::intptr_t wParam, std::intptr_t lParam) override {
    PostWinMessage(target_, message, wParam, lParam);
  }
  QObject* Target() const { return target_; }

 private:
  QPointer<QObject> target_;
};
