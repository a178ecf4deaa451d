#pragma once
// Drives an operation stage by stage as a dialog would, without a user interface: every
// posted stage is run on the next turn, one at a time, until the operation completes or a
// stage fails. It records what happened for the tests to look at.
#include <deque>
#include <vector>

#include "transport/msgwindow.h"
#include "transport/webop.h"

namespace vlrtest {

class StepDriver : public CMsgWindow {
 public:
  void PostMessage(unsigned message, std::intptr_t wParam, std::intptr_t) override {
    if (message == WMU_RUN_OP) queue_.push_back(static_cast<int>(wParam));
  }

  // True when the run reached stage 5 without a failed stage.
  bool Drive(CWebSvrOp& op) {
    queue_.assign(1, 0);
    bool ok = true;
    while (!queue_.empty()) {
      const int stage = queue_.front();
      queue_.pop_front();
      stages.push_back(stage);
      if (stage == 5) break;
      if (!op.Run(this, WMU_RUN_OP, stage)) {
        ok = false;
        failedStage = stage;
      }
    }
    op.CloseRequest();
    return ok;
  }

  int Calls(int stage) const {
    int n = 0;
    for (int s : stages) n += s == stage;
    return n;
  }

  std::vector<int> stages;  // every stage run (and the final 5), in order
  int failedStage = -1;

 private:
  std::deque<int> queue_;
};

}  // namespace vlrtest
