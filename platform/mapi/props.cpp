#include "platform/mapi/props.h"

#include <cstring>

#include "platform/mapi/mapi.h"
#include "platform/win/text.h"

namespace mapi {
namespace {

// Copies text into a block tied to `parent`; null when memory runs out.
char* MoreText(const std::string& text, void* parent) {
  void* p = nullptr;
  if (FAILED(MAPIAllocateMore(static_cast<ULONG>(text.size() + 1), parent, &p))) return nullptr;
  std::memcpy(p, text.c_str(), text.size() + 1);
  return static_cast<char*>(p);
}

bool Fill(SPropValue& out, const Prop& prop, void* parent) {
  out.ulPropTag = prop.tag;
  out.dwAlignPad = 0;
  switch (PROP_TYPE(prop.tag)) {
    case PT_LONG:
      out.Value.l = prop.number;
      return true;
    case PT_STRING8:
      out.Value.lpszA = MoreText(prop.text, parent);
      return out.Value.lpszA != nullptr;
    case PT_BINARY: {
      const auto& bytes = prop.bytes;
      void* p = nullptr;
      if (FAILED(MAPIAllocateMore(static_cast<ULONG>(bytes.size()), parent, &p))) return false;
      if (!bytes.empty()) std::memcpy(p, bytes.data(), bytes.size());
      out.Value.bin.cb = static_cast<ULONG>(bytes.size());
      out.Value.bin.lpb = static_cast<LPBYTE>(p);
      return true;
    }
    case PT_MV_STRING8: {
      const auto& list = prop.texts;
      void* p = nullptr;
      if (FAILED(MAPIAllocateMore(static_cast<ULONG>(list.size() * sizeof(LPSTR)), parent, &p))) return false;
      auto** texts = static_cast<LPSTR*>(p);
      for (std::size_t i = 0; i < list.size(); ++i)
        if (!(texts[i] = MoreText(list[i], parent))) return false;
      out.Value.MVszA.cValues = static_cast<ULONG>(list.size());
      out.Value.MVszA.lppszA = texts;
      return true;
    }
    default:
      return false;
  }
}

int Compare(const Prop& a, const SPropValue& b) {
  switch (PROP_TYPE(b.ulPropTag)) {
    case PT_LONG: {
      LONG x = a.number, y = b.Value.l;
      return x < y ? -1 : x > y ? 1 : 0;
    }
    case PT_STRING8: {
      std::string x = win::AsciiLower(a.text);
      std::string y = win::AsciiLower(b.Value.lpszA ? b.Value.lpszA : "");
      return x.compare(y) < 0 ? -1 : x == y ? 0 : 1;
    }
    case PT_BINARY: {
      const auto& x = a.bytes;
      outlook::Bytes y(b.Value.bin.lpb, b.Value.bin.lpb + b.Value.bin.cb);
      return x < y ? -1 : x == y ? 0 : 1;
    }
    default:
      return 2;  // not comparable
  }
}

}  // namespace

const Prop* FindProp(const PropRow& row, ULONG tag) {
  for (const Prop& p : row)
    if (p.tag == tag) return &p;
  return nullptr;
}

HRESULT ToPropArray(const PropRow& row, const SPropTagArray* tags, ULONG* count, LPSPropValue* out) {
  if (!count || !out) return E_INVALIDARG;
  *count = 0;
  *out = nullptr;
  std::vector<ULONG> wanted;
  if (tags) {
    wanted.assign(tags->aulPropTag, tags->aulPropTag + tags->cValues);
  } else {
    for (const Prop& p : row) wanted.push_back(p.tag);
  }
  void* block = nullptr;
  HRESULT hr = MAPIAllocateBuffer(static_cast<ULONG>(wanted.size() * sizeof(SPropValue)), &block);
  if (FAILED(hr)) return hr;
  auto* values = static_cast<SPropValue*>(block);
  bool missing = false;
  for (std::size_t i = 0; i < wanted.size(); ++i) {
    const Prop* p = FindProp(row, wanted[i]);
    if (p) {
      if (!Fill(values[i], *p, block)) {
        MAPIFreeBuffer(block);
        return MAPI_E_NOT_ENOUGH_MEMORY;
      }
    } else {
      values[i].ulPropTag = CHANGE_PROP_TYPE(wanted[i], PT_ERROR);
      values[i].Value.err = MAPI_E_NOT_FOUND;
      missing = true;
    }
  }
  *count = static_cast<ULONG>(wanted.size());
  *out = values;
  return missing ? MAPI_W_ERRORS_RETURNED : S_OK;
}

PropRow FromPropArray(const SPropValue* props, ULONG count) {
  PropRow row;
  for (ULONG i = 0; props && i < count; ++i) {
    const SPropValue& v = props[i];
    switch (PROP_TYPE(v.ulPropTag)) {
      case PT_LONG:
        row.push_back({v.ulPropTag, v.Value.l});
        break;
      case PT_STRING8:
        row.push_back({v.ulPropTag, std::string(v.Value.lpszA ? v.Value.lpszA : "")});
        break;
      case PT_BINARY:
        row.push_back({v.ulPropTag, outlook::Bytes(v.Value.bin.lpb, v.Value.bin.lpb + v.Value.bin.cb)});
        break;
      case PT_MV_STRING8: {
        std::vector<std::string> list;
        for (ULONG k = 0; k < v.Value.MVszA.cValues; ++k)
          list.emplace_back(v.Value.MVszA.lppszA[k] ? v.Value.MVszA.lppszA[k] : "");
        row.push_back({v.ulPropTag, std::move(list)});
        break;
      }
      default:
        break;
    }
  }
  return row;
}

bool Matches(const PropRow& row, const SRestriction* r) {
  if (!r) return true;
  switch (r->rt) {
    case RES_AND:
      for (ULONG i = 0; i < r->res.resAnd.cRes; ++i)
        if (!Matches(row, &r->res.resAnd.lpRes[i])) return false;
      return true;
    case RES_OR:
      for (ULONG i = 0; i < r->res.resOr.cRes; ++i)
        if (Matches(row, &r->res.resOr.lpRes[i])) return true;
      return false;
    case RES_NOT:
      return !Matches(row, r->res.resNot.lpRes);
    case RES_EXIST:
      return FindProp(row, r->res.resExist.ulPropTag) != nullptr;
    case RES_PROPERTY: {
      const SPropValue* value = r->res.resProperty.lpProp;
      const Prop* p = FindProp(row, r->res.resProperty.ulPropTag);
      // A row without the property never satisfies a comparison with it.
      if (!p || !value || PROP_TYPE(value->ulPropTag) != PROP_TYPE(p->tag)) return false;
      int c = Compare(*p, *value);
      if (c == 2) return false;
      switch (r->res.resProperty.relop) {
        case RELOP_LT: return c < 0;
        case RELOP_LE: return c <= 0;
        case RELOP_GT: return c > 0;
        case RELOP_GE: return c >= 0;
        case RELOP_EQ: return c == 0;
        case RELOP_NE: return c != 0;
        default: return false;
      }
    }
    default:
      return false;
  }
}

}  // namespace mapi
