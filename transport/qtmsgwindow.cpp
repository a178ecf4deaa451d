#include "transport/qtmsgwindow.h"

#include <QCoreApplication>

QEvent::Type CWinMsgEvent::Type() {
  static const QEvent::Type type = static_cast<QEvent::Type>(QEvent::registerEventType());
  return type;
}

const CWinMsgEvent* CWinMsgEvent::From(const QEvent* event) {
  return event && event->type() == Type() ? static_cast<const CWinMsgEvent*>(event) : nullptr;
}

void PostWinMessage(QObject* target, unsigned message, std::intptr_t wParam, std::intptr_t lParam) {
  if (target) QCoreApplication::postEvent(target, new CWinMsgEvent(message, wParam, lParam));
}
