#include "platform/com/dispatchobject.h"

#include <algorithm>
#include <exception>
#include <new>

#include "platform/win/text.h"

namespace com {

DispatchObject::DispatchObject() : events_(this) {}

DispatchObject::~DispatchObject() = default;

HRESULT DispatchObject::GetTypeInfoCount(unsigned* count) {
  if (!count) return E_POINTER;
  *count = 0;
  return S_OK;
}

HRESULT DispatchObject::GetTypeInfo(unsigned, void** info) {
  if (info) *info = nullptr;
  return E_FAIL;
}

DISPID DispatchObject::MemberId(std::string_view name) const {
  for (std::size_t i = 0; i < members_.size(); ++i)
    if (win::EqualsNoCase(members_[i].name, name)) return static_cast<DISPID>(i + 1);
  return DISPID_UNKNOWN;
}

HRESULT DispatchObject::GetIDsOfNames(const IID& iid, const char* const* names, unsigned count, DISPID* ids) {
  if (iid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
  if (!names || !ids) return E_POINTER;
  if (count == 0) return E_INVALIDARG;
  for (unsigned i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
  if (!names[0]) return E_POINTER;
  ids[0] = MemberId(names[0]);
  return ids[0] == DISPID_UNKNOWN || count > 1 ? DISP_E_UNKNOWNNAME : S_OK;
}

HRESULT DispatchObject::Invoke(DISPID id, const IID& iid, WORD flags, DispParams* params, Variant* result) {
  if (iid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
  if (id < 1 || static_cast<std::size_t>(id) > members_.size()) return DISP_E_MEMBERNOTFOUND;
  if (!params) return E_POINTER;
  ComPtr<IDispatch> keep(this);  // a member may drop the caller's last reference to us
  Variant value;
  HRESULT hr;
  try {
    hr = InvokeMember(members_[static_cast<std::size_t>(id - 1)], flags, *params, value);
  } catch (const ComError& e) {
    hr = e.code;
  } catch (const std::bad_alloc&) {
    hr = E_OUTOFMEMORY;
  } catch (...) {
    hr = DISP_E_EXCEPTION;
  }
  if (SUCCEEDED(hr) && result) *result = std::move(value);
  return hr;
}

HRESULT DispatchObject::InvokeMember(const Member& m, WORD flags, const DispParams& params, Variant& result) {
  const std::size_t count = params.Count();
  if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
    // By reference only where the member takes it so; otherwise callers fall back to a put.
    const Setter& set = (flags & DISPATCH_PROPERTYPUTREF) && m.putRef ? m.putRef
                        : (flags & DISPATCH_PROPERTYPUT)               ? m.put
                                                                       : m.putRef;
    if (!set) return DISP_E_MEMBERNOTFOUND;
    if (count != 1) return DISP_E_BADPARAMCOUNT;
    return set(params[0]);
  }
  if ((flags & DISPATCH_METHOD) && m.call) {
    if (count < m.minArgs || count > m.maxArgs) return DISP_E_BADPARAMCOUNT;
    return m.call(params, result);
  }
  if ((flags & (DISPATCH_PROPERTYGET | DISPATCH_METHOD)) && m.get) {
    if (count != 0) return DISP_E_BADPARAMCOUNT;
    return m.get(result);
  }
  return DISP_E_MEMBERNOTFOUND;
}

HRESULT DispatchObject::FindConnectionPoint(const IID& iid, IConnectionPoint** out) { return events_.Find(iid, out); }

int DispatchObject::FireEvent(const IID& events, DISPID id, const DispParams& args) {
  ComPtr<IDispatch> keep(this);
  return events_.Fire(events, id, args);
}

HRESULT DispatchObject::QueryOther(const IID& iid, void** out) {
  if (iid == IID_IConnectionPointContainer && !events_.Empty()) {
    *out = static_cast<IConnectionPointContainer*>(this);
    return S_OK;
  }
  if (std::find(alsoIids_.begin(), alsoIids_.end(), iid) != alsoIids_.end()) {
    *out = static_cast<IDispatch*>(this);
    return S_OK;
  }
  return E_NOINTERFACE;
}

void DispatchObject::AddMember(std::string_view name, Getter get, Setter put, Setter putRef, Caller call,
                               unsigned minArgs, unsigned maxArgs) {
  // Adding a name again replaces the member, keeping its id: a derived class may override.
  DISPID existing = MemberId(name);
  Member m{std::string(name), std::move(get), std::move(put), std::move(putRef), std::move(call), minArgs, maxArgs};
  if (existing != DISPID_UNKNOWN)
    members_[static_cast<std::size_t>(existing - 1)] = std::move(m);
  else
    members_.push_back(std::move(m));
}

}  // namespace com
