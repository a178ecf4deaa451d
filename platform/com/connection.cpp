#include "platform/com/connection.h"

#include <algorithm>

namespace com {

class EventSources::Point : public Object<IConnectionPoint> {
 public:
  Point(const IID& events, IConnectionPointContainer* owner) : events_(events), owner_(owner) {}

  HRESULT GetConnectionInterface(IID* out) override {
    if (!out) return E_POINTER;
    *out = events_;
    return S_OK;
  }

  HRESULT GetConnectionPointContainer(IConnectionPointContainer** out) override {
    if (!out) return E_POINTER;
    *out = owner_;
    if (!owner_) return E_UNEXPECTED;
    owner_->AddRef();
    return S_OK;
  }

  HRESULT Advise(IUnknown* sink, DWORD* cookie) override {
    if (!sink || !cookie) return E_POINTER;
    *cookie = 0;
    ComPtr<IUnknown> events;
    ComPtr<IDispatch> dispatch;
    if (FAILED(sink->QueryInterface(events_, events.PutVoid())) || FAILED(Query(sink, dispatch)) || !dispatch)
      return CONNECT_E_CANNOTCONNECT;
    *cookie = nextCookie_++;
    connections_.push_back({*cookie, std::move(dispatch)});
    return S_OK;
  }

  HRESULT Unadvise(DWORD cookie) override {
    auto it = std::find_if(connections_.begin(), connections_.end(),
                           [cookie](const Connection& c) { return c.cookie == cookie; });
    if (it == connections_.end()) return CONNECT_E_NOCONNECTION;
    // Moved out first: the sink's release may call back into this point.
    ComPtr<IDispatch> sink = std::move(it->sink);
    connections_.erase(it);
    return S_OK;
  }

  const IID& Events() const { return events_; }
  std::size_t Count() const { return connections_.size(); }

  int Fire(DISPID id, const DispParams& args) {
    ComPtr<Point> keep(this);  // a sink may drop the source, and with it this point
    // The snapshot holds its own references, so sinks may unadvise (or be released) mid-way.
    const std::vector<Connection> snapshot = connections_;
    int called = 0;
    for (const Connection& c : snapshot) {
      if (!IsAdvised(c.cookie)) continue;
      DispParams copy = args;  // each sink gets the arguments as the source gave them
      c.sink->Invoke(id, IID_NULL, DISPATCH_METHOD, &copy, nullptr);
      ++called;
    }
    return called;
  }

  // The source is going away: sinks are let go of, and the container may no longer be handed out.
  void Detach() {
    owner_ = nullptr;
    std::vector<Connection> gone;
    gone.swap(connections_);
  }

 private:
  struct Connection {
    DWORD cookie;
    ComPtr<IDispatch> sink;
  };

  bool IsAdvised(DWORD cookie) const {
    return std::any_of(connections_.begin(), connections_.end(),
                       [cookie](const Connection& c) { return c.cookie == cookie; });
  }

  IID events_;
  IConnectionPointContainer* owner_;
  std::vector<Connection> connections_;
  DWORD nextCookie_ = 1;
};

EventSources::EventSources(IConnectionPointContainer* owner) : owner_(owner) {}

EventSources::~EventSources() {
  for (auto& p : points_) static_cast<Point*>(p.Get())->Detach();
}

void EventSources::Add(const IID& source) {
  if (FindPoint(source)) return;
  points_.push_back(Make<Point>(source, owner_));
}

EventSources::Point* EventSources::FindPoint(const IID& source) const {
  for (const auto& p : points_) {
    auto* point = static_cast<Point*>(p.Get());
    if (point->Events() == source) return point;
  }
  return nullptr;
}

HRESULT EventSources::Find(const IID& source, IConnectionPoint** out) const {
  if (!out) return E_POINTER;
  *out = nullptr;
  Point* point = FindPoint(source);
  if (!point) return CONNECT_E_NOCONNECTION;
  point->AddRef();
  *out = point;
  return S_OK;
}

int EventSources::Fire(const IID& source, DISPID id, const DispParams& args) const {
  Point* point = FindPoint(source);
  return point ? point->Fire(id, args) : 0;
}

std::size_t EventSources::SinkCount(const IID& source) const {
  Point* point = FindPoint(source);
  return point ? point->Count() : 0;
}

HRESULT Advise(IUnknown* source, const IID& events, IUnknown* sink, ComPtr<IConnectionPoint>& point,
               DWORD& cookie) {
  if (!source || !sink) return E_POINTER;
  ComPtr<IConnectionPointContainer> container;
  HRESULT hr = Query(source, container);
  if (FAILED(hr)) return hr;
  ComPtr<IConnectionPoint> found;
  hr = container->FindConnectionPoint(events, found.Put());
  if (FAILED(hr)) return hr;
  DWORD newCookie = 0;
  hr = found->Advise(sink, &newCookie);
  if (FAILED(hr)) return hr;
  point = std::move(found);
  cookie = newCookie;
  return S_OK;
}

HRESULT Unadvise(ComPtr<IConnectionPoint>& point, DWORD& cookie) {
  if (!point) return S_OK;
  ComPtr<IConnectionPoint> held = std::move(point);
  HRESULT hr = held->Unadvise(cookie);
  cookie = 0;
  return hr;
}

FunctionSink::FunctionSink(const IID& events, Handler handler) : events_(events), handler_(std::move(handler)) {}

HRESULT FunctionSink::Connect(IUnknown* source) {
  if (point_) return E_UNEXPECTED;
  return Advise(source, events_, Identity(), point_, cookie_);
}

HRESULT FunctionSink::Disconnect() { return Unadvise(point_, cookie_); }

HRESULT FunctionSink::GetTypeInfoCount(unsigned* count) {
  if (!count) return E_POINTER;
  *count = 0;
  return S_OK;
}

HRESULT FunctionSink::GetTypeInfo(unsigned, void** info) {
  if (info) *info = nullptr;
  return E_FAIL;
}

HRESULT FunctionSink::GetIDsOfNames(const IID&, const char* const*, unsigned count, DISPID* ids) {
  if (ids)
    for (unsigned i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
  return DISP_E_UNKNOWNNAME;
}

HRESULT FunctionSink::Invoke(DISPID id, const IID&, WORD, DispParams* params, Variant*) {
  if (!handler_) return S_OK;
  // A sink never lets a failure out to the source.
  try {
    handler_(id, params ? *params : DispParams{});
  } catch (...) {
  }
  return S_OK;
}

HRESULT FunctionSink::QueryOther(const IID& iid, void** out) {
  if (iid != events_) return E_NOINTERFACE;
  *out = static_cast<IDispatch*>(this);
  return S_OK;
}

}  // namespace com
