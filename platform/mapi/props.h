#pragma once
// Property rows as C++ values, and their conversion to and from the library's property
// arrays; restriction matching over rows.
#include <string>
#include <vector>

#include "platform/mapi/mapidefs.h"
#include "platform/outlook/abentry.h"

namespace mapi {

// One value; the field that PROP_TYPE(tag) names holds it.
struct Prop {
  Prop(ULONG t, LONG v) : tag(t), number(v) {}
  Prop(ULONG t, std::string v) : tag(t), text(std::move(v)) {}
  Prop(ULONG t, outlook::Bytes v) : tag(t), bytes(std::move(v)) {}
  Prop(ULONG t, std::vector<std::string> v) : tag(t), texts(std::move(v)) {}

  ULONG tag;
  LONG number = 0;
  std::string text;
  outlook::Bytes bytes;
  std::vector<std::string> texts;
};
using PropRow = std::vector<Prop>;

const Prop* FindProp(const PropRow& row, ULONG tag);

// The properties named by `tags` (all of the row when null) as one MAPIAllocateBuffer block
// (values in MAPIAllocateMore blocks tied to it). A property the row lacks comes back as a
// PT_ERROR value with MAPI_E_NOT_FOUND, and the result is then MAPI_W_ERRORS_RETURNED.
HRESULT ToPropArray(const PropRow& row, const SPropTagArray* tags, ULONG* count, LPSPropValue* out);

// Reads the values of a property array (PT_ERROR and unknown types are left out).
PropRow FromPropArray(const SPropValue* props, ULONG count);

// Whether the row satisfies the restriction (null: every row does). Texts compare without
// regard to ASCII letter case, binaries byte for byte.
bool Matches(const PropRow& row, const SRestriction* restriction);

}  // namespace mapi
