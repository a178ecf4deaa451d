#include "platform/outlook/commandbars.h"

#include <algorithm>

#include "platform/outlook/collection.h"
#include "platform/outlook/events.h"
#include "platform/win/text.h"

namespace outlook {
namespace {

constexpr int msoControlButton = 1;
constexpr int msoBarFloating = 4;

// Every button alive in this process, for Office's rule that a click reaches all buttons that
// carry the clicked button's Tag. One thread owns the object model, so no lock.
std::vector<CommandBarButtonObject*>& LiveButtons() {
  static std::vector<CommandBarButtonObject*> buttons;
  return buttons;
}

}  // namespace

CommandBarsObject::CommandBarsObject() {
  Property("Count", [this] { return static_cast<int>(bars_.size()); });
  Method("Item", 1, 1, [this](const com::DispParams& a) {
    std::size_t i = IndexArg(a[0], bars_.size(), [&](std::size_t k) { return bars_[k]->Name(); });
    return bars_[i];
  });
  // Add(Name, Position, MenuBar, Temporary)
  Method("Add", 0, 4, [this](const com::DispParams& a) {
    std::string name = a.TextOr(0, "Custom " + std::to_string(bars_.size() + 1));
    for (const auto& bar : bars_)
      if (win::EqualsNoCase(bar->Name(), name)) com::Throw(E_INVALIDARG);  // names are unique
    int position = a.IntOr(1, msoBarFloating);
    auto bar = com::Make<CommandBarObject>(this, name, position, a.BoolOr(3, false));
    bars_.push_back(bar);
    return bar;
  });
}

CommandBarsObject::~CommandBarsObject() {
  for (auto& bar : bars_) bar->Detach();
}

void CommandBarsObject::Remove(CommandBarObject* bar) {
  std::erase_if(bars_, [bar](const auto& b) { return b.Get() == bar; });
}

CommandBarObject::CommandBarObject(CommandBarsObject* owner, std::string name, int position, bool temporary)
    : owner_(owner), name_(std::move(name)), position_(position), temporary_(temporary) {
  Property("Name", [this] { return name_; }, [this](const com::Variant& v) { name_ = v.AsText(); });
  Property("NameLocal", [this] { return name_; });
  Property("Index", [this](com::Variant& r) -> HRESULT {
    if (!owner_) return E_FAIL;
    const auto& bars = owner_->Bars();
    for (std::size_t i = 0; i < bars.size(); ++i)
      if (bars[i].Get() == this) r = com::Variant(static_cast<int>(i + 1));
    return S_OK;
  });
  Property("Type", [] { return 0; });  // msoBarTypeNormal
  Property("BuiltIn", [] { return false; });
  Property("Temporary", [this] { return temporary_; });
  Property("Top", [this] { return top_; }, [this](const com::Variant& v) { top_ = v.AsInt(); });
  Property("Left", [this] { return left_; }, [this](const com::Variant& v) { left_ = v.AsInt(); });
  Property("Position", [this] { return position_; },
           [this](const com::Variant& v) {
             int p = v.AsInt();
             if (p < 0 || p > 6) com::Throw(E_INVALIDARG);
             position_ = p;
           });
  Property("RowIndex", [this] { return rowIndex_; }, [this](const com::Variant& v) { rowIndex_ = v.AsInt(); });
  Property("Visible", [this] { return visible_; }, [this](const com::Variant& v) { visible_ = v.AsBool(); });
  Property("Enabled", [this] { return enabled_; }, [this](const com::Variant& v) { enabled_ = v.AsBool(); });
  Method("Delete", 0, 0, [this](const com::DispParams&) {
    com::ComPtr<IDispatch> keep(this);
    if (owner_) owner_->Remove(this);
    owner_ = nullptr;
  });
  // The Controls collection's members live on a small object of their own.
  class Controls : public com::DispatchObject {
   public:
    explicit Controls(com::ComPtr<CommandBarObject> bar) : bar_(std::move(bar)) {
      Property("Count", [this] { return static_cast<int>(bar_->controls_.size()); });
      Method("Item", 1, 1, [this](const com::DispParams& a) {
        auto& list = bar_->controls_;
        std::size_t i = IndexArg(a[0], list.size(), [&](std::size_t k) { return list[k]->Caption(); });
        return list[i];
      });
      // Add(Type, Id, Parameter, Before, Temporary)
      Method("Add", 0, 5, [this](const com::DispParams& a) {
        if (a.IntOr(0, msoControlButton) != msoControlButton) com::Throw(E_NOTIMPL);
        auto button = com::Make<CommandBarButtonObject>(bar_.Get());
        auto& list = bar_->controls_;
        std::size_t before = a.Has(3) ? static_cast<std::size_t>(std::max(1, a.Int(3))) : list.size() + 1;
        list.insert(list.begin() + static_cast<std::ptrdiff_t>(std::min(before - 1, list.size())), button);
        return button;
      });
    }

   private:
    com::ComPtr<CommandBarObject> bar_;
  };
  Property("Controls", [this] { return com::Make<Controls>(com::ComPtr<CommandBarObject>(this)); });
  Property("Parent", [this](com::Variant& r) -> HRESULT {
    if (!owner_) return E_FAIL;
    r = com::Variant(static_cast<IDispatch*>(owner_));
    return S_OK;
  });
}

CommandBarObject::~CommandBarObject() {
  for (auto& control : controls_) control->Detach();
}

void CommandBarObject::RemoveControl(CommandBarButtonObject* control) {
  std::erase_if(controls_, [control](const auto& c) { return c.Get() == control; });
}

CommandBarButtonObject::CommandBarButtonObject(CommandBarObject* bar) : bar_(bar) {
  LiveButtons().push_back(this);
  AddEventSource(IID_CommandBarButtonEvents);
  auto text = [this](std::string CommandBarButtonObject::*field) {
    return [this, field](const com::Variant& v) { this->*field = v.AsText(); };
  };
  Property("Type", [] { return msoControlButton; });
  Property("Id", [] { return 1; });
  Property("BuiltIn", [] { return false; });
  Property("Caption", [this] { return caption_; }, text(&CommandBarButtonObject::caption_));
  Property("Tag", [this] { return tag_; }, text(&CommandBarButtonObject::tag_));
  Property("TooltipText", [this] { return tooltip_; }, text(&CommandBarButtonObject::tooltip_));
  Property("OnAction", [this] { return onAction_; }, text(&CommandBarButtonObject::onAction_));
  Property("Parameter", [this] { return parameter_; }, text(&CommandBarButtonObject::parameter_));
  Property("Style", [this] { return style_; }, [this](const com::Variant& v) { style_ = v.AsInt(); });
  Property("FaceId", [this] { return faceId_; }, [this](const com::Variant& v) { faceId_ = v.AsInt(); });
  Property("State", [this] { return state_; }, [this](const com::Variant& v) { state_ = v.AsInt(); });
  Property("Visible", [this] { return visible_; }, [this](const com::Variant& v) { visible_ = v.AsBool(); });
  Property("Enabled", [this] { return enabled_; }, [this](const com::Variant& v) { enabled_ = v.AsBool(); });
  Property("BeginGroup", [this] { return beginGroup_; }, [this](const com::Variant& v) { beginGroup_ = v.AsBool(); });
  auto picture = [this](com::Variant CommandBarButtonObject::*field) {
    return [this, field](const com::Variant& v) {
      if (!v.IsObject()) com::Throw(DISP_E_TYPEMISMATCH);
      this->*field = v;
    };
  };
  Property("Picture", [this] { return picture_; }, picture(&CommandBarButtonObject::picture_),
           picture(&CommandBarButtonObject::picture_));
  Property("Mask", [this] { return mask_; }, picture(&CommandBarButtonObject::mask_),
           picture(&CommandBarButtonObject::mask_));
  // There is no clipboard here: the face counts as pasted.
  Method("PasteFace", 0, 0, [this](const com::DispParams&) { facePasted_ = true; });
  Property("Index", [this](com::Variant& r) -> HRESULT {
    if (!bar_) return E_FAIL;
    const auto& list = bar_->Controls();
    for (std::size_t i = 0; i < list.size(); ++i)
      if (list[i].Get() == this) r = com::Variant(static_cast<int>(i + 1));
    return S_OK;
  });
  Property("Parent", [this](com::Variant& r) -> HRESULT {
    if (!bar_) return E_FAIL;
    r = com::Variant(static_cast<IDispatch*>(bar_));
    return S_OK;
  });
  Method("Delete", 0, 1, [this](const com::DispParams&) {
    com::ComPtr<IDispatch> keep(this);
    if (bar_) bar_->RemoveControl(this);
    bar_ = nullptr;
  });
  Method("Execute", 0, 0, [this](const com::DispParams&) {
    if (!enabled_) com::Throw(E_FAIL);
    Click();
  });
}

CommandBarButtonObject::~CommandBarButtonObject() { std::erase(LiveButtons(), this); }

int CommandBarButtonObject::Click() {
  std::vector<com::ComPtr<CommandBarButtonObject>> targets;
  if (tag_.empty()) {
    targets.emplace_back(this);
  } else {
    for (CommandBarButtonObject* b : LiveButtons())
      if (b->tag_ == tag_) targets.emplace_back(b);
  }
  com::DispParams args{com::Variant(static_cast<IDispatch*>(this)), com::Variant(false)};
  int reached = 0;
  for (auto& target : targets) reached += target->FireEvent(IID_CommandBarButtonEvents, DISPID_Click, args);
  return reached;
}

}  // namespace outlook
