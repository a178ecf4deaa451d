#pragma once
// Helpers for dialog tests on the offscreen platform. A modal dialog's exec() runs its own event
// loop, so the test acts from single-shot timers: each helper re-arms a 10 ms timer until its
// condition holds, then acts once. A condition that never holds fails the test after a while
// and closes the modal dialogs, so that a broken dialog cannot hang the run.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>

namespace vlrtest {

// Gives up after this many turns (about 30 s).
inline constexpr int kMaxTurns = 3000;

inline void WhenTrue(std::function<bool()> ready, std::function<void()> act, int turn = 0) {
  QTimer::singleShot(10, [ready, act, turn] {
    if (ready()) {
      act();
    } else if (turn < kMaxTurns) {
      WhenTrue(ready, act, turn + 1);
    } else {
      ADD_FAILURE() << "a condition the test waited for never came true";
      while (QWidget* modal = QApplication::activeModalWidget()) {
        if (auto* dialog = qobject_cast<QDialog*>(modal))
          dialog->reject();
        else
          modal->close();
        QApplication::processEvents();
        if (QApplication::activeModalWidget() == modal) break;
      }
    }
  });
}

// Acts on the active modal widget once it is a T.
template <class T>
void WhenModal(std::function<void(T*)> act) {
  WhenTrue([] { return dynamic_cast<T*>(QApplication::activeModalWidget()) != nullptr; },
           [act] { act(dynamic_cast<T*>(QApplication::activeModalWidget())); });
}

template <class T>
T* Child(QObject* parent, const char* name) {
  T* child = parent->findChild<T*>(name);
  EXPECT_NE(child, nullptr) << "no control " << name;
  return child;
}

}  // namespace vlrtest
