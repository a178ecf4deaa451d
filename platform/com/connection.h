#pragma once
// Connection points: how event sources hand their events to the sinks that advised them.
#include <cstddef>
#include <functional>
#include <vector>

#include "platform/com/dispatch.h"
#include "platform/com/object.h"
#include "platform/com/unknown.h"

struct IConnectionPoint;

struct IConnectionPointContainer : IUnknown {
  static constexpr IID kIid = com::GuidLiteral("B196B284-BAB4-101A-B69C-00AA00341D07");
  // CONNECT_E_NOCONNECTION when the object sends no events of that interface.
  virtual HRESULT FindConnectionPoint(const IID& iid, IConnectionPoint** out) = 0;

 protected:
  ~IConnectionPointContainer() = default;
};

struct IConnectionPoint : IUnknown {
  static constexpr IID kIid = com::GuidLiteral("B196B286-BAB4-101A-B69C-00AA00341D07");
  virtual HRESULT GetConnectionInterface(IID* out) = 0;
  // E_UNEXPECTED once the source object is gone.
  virtual HRESULT GetConnectionPointContainer(IConnectionPointContainer** out) = 0;
  // The sink must answer the event interface and IDispatch (else CONNECT_E_CANNOTCONNECT);
  // the cookie is never 0.
  virtual HRESULT Advise(IUnknown* sink, DWORD* cookie) = 0;
  // CONNECT_E_NOCONNECTION for a cookie that is not advised.
  virtual HRESULT Unadvise(DWORD cookie) = 0;

 protected:
  ~IConnectionPoint() = default;
};

constexpr IID IID_IConnectionPointContainer = IConnectionPointContainer::kIid;
constexpr IID IID_IConnectionPoint = IConnectionPoint::kIid;

namespace com {

// The connection points of one event source, kept by the source object. Events go to each
// sink's IDispatch::Invoke(id, IID_NULL, DISPATCH_METHOD, args).
class EventSources {
 public:
  // `owner` is the container that hands out the points.
  explicit EventSources(IConnectionPointContainer* owner);
  // Detaches the points from the owner and lets go of every sink still advised.
  ~EventSources();
  EventSources(const EventSources&) = delete;
  EventSources& operator=(const EventSources&) = delete;

  void Add(const IID& source);
  bool Empty() const { return points_.empty(); }
  HRESULT Find(const IID& source, IConnectionPoint** out) const;

  // Delivers one event to the sinks advised to `source` when delivery starts, in the order they
  // advised. A sink that unadvises during delivery (itself or another) gets nothing more; one
  // that advises during delivery waits for the next event. Failures of sinks are ignored.
  // Returns the number of sinks called.
  int Fire(const IID& source, DISPID id, const DispParams& args = {}) const;
  std::size_t SinkCount(const IID& source) const;

 private:
  class Point;
  Point* FindPoint(const IID& source) const;

  IConnectionPointContainer* owner_;
  std::vector<ComPtr<IConnectionPoint>> points_;
};

// Advises `sink` to `source`'s connection point for `events`; keeps the point and cookie for
// Unadvise. Returns E_NOINTERFACE when the source has no connection points, otherwise the
// code of FindConnectionPoint or Advise.
HRESULT Advise(IUnknown* source, const IID& events, IUnknown* sink, ComPtr<IConnectionPoint>& point,
               DWORD& cookie);
// Unadvises and drops the point; nothing happens when `point` is null.
HRESULT Unadvise(ComPtr<IConnectionPoint>& point, DWORD& cookie);

// A sink that hands every event to a function. It answers IUnknown, IDispatch and `events`.
class FunctionSink : public Object<IDispatch> {
 public:
  using Handler = std::function<void(DISPID id, const DispParams& args)>;
  FunctionSink(const IID& events, Handler handler);

  HRESULT Connect(IUnknown* source);
  HRESULT Disconnect();
  bool Connected() const { return static_cast<bool>(point_); }

  HRESULT GetTypeInfoCount(unsigned* count) override;
  HRESULT GetTypeInfo(unsigned index, void** info) override;
  HRESULT GetIDsOfNames(const IID& iid, const char* const* names, unsigned count, DISPID* ids) override;
  HRESULT Invoke(DISPID id, const IID& iid, WORD flags, DispParams* params, Variant* result) override;

 protected:
  HRESULT QueryOther(const IID& iid, void** out) override;

 private:
  IID events_;
  Handler handler_;
  ComPtr<IConnectionPoint> point_;
  DWORD cookie_ = 0;
};

}  // namespace com
