#pragma once
// Office command bars of a window (explorer, inspector, Word): bars, their controls, and
// buttons that source the Click event. Execute "clicks" a button, as a person would: every
// button with the same non-empty Tag hears the click, as Office delivers it.
#include <memory>
#include <string>
#include <vector>

#include "platform/com/dispatchobject.h"

namespace outlook {

class CommandBarObject;
class CommandBarButtonObject;

class CommandBarsObject : public com::DispatchObject {
 public:
  CommandBarsObject();
  void Remove(CommandBarObject* bar);
  const std::vector<com::ComPtr<CommandBarObject>>& Bars() const { return bars_; }

 protected:
  ~CommandBarsObject() override;

 private:
  std::vector<com::ComPtr<CommandBarObject>> bars_;
};

class CommandBarObject : public com::DispatchObject {
 public:
  CommandBarObject(CommandBarsObject* owner, std::string name, int position, bool temporary);
  const std::string& Name() const { return name_; }
  bool Visible() const { return visible_; }
  void Detach() { owner_ = nullptr; }
  const std::vector<com::ComPtr<CommandBarButtonObject>>& Controls() const { return controls_; }
  void RemoveControl(CommandBarButtonObject* control);

 protected:
  ~CommandBarObject() override;

 private:
  CommandBarsObject* owner_;  // observes; null once deleted
  std::string name_;
  int position_;
  bool temporary_;
  int top_ = 0, left_ = 0, rowIndex_ = 0;
  bool visible_ = false, enabled_ = true;
  std::vector<com::ComPtr<CommandBarButtonObject>> controls_;
};

class CommandBarButtonObject : public com::DispatchObject {
 public:
  explicit CommandBarButtonObject(CommandBarObject* bar);
  const std::string& Caption() const { return caption_; }
  const std::string& Tag() const { return tag_; }
  bool Visible() const { return visible_; }
  bool Enabled() const { return enabled_; }
  void Detach() { bar_ = nullptr; }
  // Delivers a click: Click(Ctrl = this button, CancelDefault = False) to every button that
  // shares its Tag. Returns the number of sinks reached.
  int Click();

 protected:
  ~CommandBarButtonObject() override;

 private:
  CommandBarObject* bar_;  // observes; null once removed
  std::string caption_, tag_, tooltip_, onAction_, parameter_;
  int style_ = 0, faceId_ = 0, state_ = 0;
  bool visible_ = true, enabled_ = true, beginGroup_ = false, facePasted_ = false;
  com::Variant picture_, mask_;
};

}  // namespace outlook
