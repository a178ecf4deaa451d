// Memory blocks and the helpers that free or copy what the library hands out.
#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/mapi/mapi.h"

namespace {

constexpr std::uint32_t kMagic = 0x4D415049;  // "MAPI"

// Every block starts with this header; blocks from MAPIAllocateMore hang off their parent's
// chain and go when the parent goes.
struct alignas(16) BlockHeader {
  std::uint32_t magic;
  BlockHeader* nextMore;
};

BlockHeader* HeaderOf(void* p) { return reinterpret_cast<BlockHeader*>(static_cast<char*>(p) - sizeof(BlockHeader)); }

void* NewBlock(ULONG cb) {
  void* raw = std::calloc(1, sizeof(BlockHeader) + (cb ? cb : 1));
  if (!raw) return nullptr;
  auto* header = static_cast<BlockHeader*>(raw);
  header->magic = kMagic;
  header->nextMore = nullptr;
  return static_cast<char*>(raw) + sizeof(BlockHeader);
}

std::size_t Align(std::size_t n) { return (n + 7) & ~std::size_t(7); }

// Bytes the value's own data needs beyond the SPropValue.
std::size_t ExtraSize(const SPropValue& v) {
  switch (PROP_TYPE(v.ulPropTag)) {
    case PT_STRING8:
      return v.Value.lpszA ? Align(std::strlen(v.Value.lpszA) + 1) : 0;
    case PT_BINARY:
      return Align(v.Value.bin.cb);
    case PT_MV_STRING8: {
      std::size_t n = Align(v.Value.MVszA.cValues * sizeof(LPSTR));
      for (ULONG i = 0; i < v.Value.MVszA.cValues; ++i)
        n += Align(std::strlen(v.Value.MVszA.lppszA[i] ? v.Value.MVszA.lppszA[i] : "") + 1);
      return n;
    }
    default:
      return 0;
  }
}

char* CopyText(const char* text, char*& free) {
  const char* s = text ? text : "";
  std::size_t n = std::strlen(s) + 1;
  char* out = free;
  std::memcpy(out, s, n);
  free += Align(n);
  return out;
}

}  // namespace

SCODE MAPIAllocateBuffer(ULONG cb, void** out) {
  if (!out) return E_INVALIDARG;
  *out = NewBlock(cb);
  return *out ? S_OK : MAPI_E_NOT_ENOUGH_MEMORY;
}

SCODE MAPIAllocateMore(ULONG cb, void* parent, void** out) {
  if (!out || !parent) return E_INVALIDARG;
  BlockHeader* head = HeaderOf(parent);
  if (head->magic != kMagic) return E_INVALIDARG;
  void* block = NewBlock(cb);
  if (!block) return MAPI_E_NOT_ENOUGH_MEMORY;
  BlockHeader* more = HeaderOf(block);
  more->nextMore = head->nextMore;
  head->nextMore = more;
  *out = block;
  return S_OK;
}

ULONG MAPIFreeBuffer(void* buffer) {
  if (!buffer) return S_OK;
  BlockHeader* head = HeaderOf(buffer);
  if (head->magic != kMagic) return static_cast<ULONG>(E_INVALIDARG);  // not ours: leave it alone
  head->magic = 0;
  for (BlockHeader* more = head->nextMore; more;) {
    BlockHeader* next = more->nextMore;
    more->magic = 0;
    std::free(more);
    more = next;
  }
  std::free(head);
  return S_OK;
}

void FreeProws(LPSRowSet rows) {
  if (!rows) return;
  for (ULONG i = 0; i < rows->cRows; ++i) MAPIFreeBuffer(rows->aRow[i].lpProps);
  MAPIFreeBuffer(rows);
}

void FreePadrlist(LPADRLIST list) {
  if (!list) return;
  for (ULONG i = 0; i < list->cEntries; ++i) MAPIFreeBuffer(list->aEntries[i].rgPropVals);
  MAPIFreeBuffer(list);
}

SCODE ScDupPropset(int count, LPSPropValue props, LPALLOCATEBUFFER allocate, LPSPropValue* out) {
  if (!out || !allocate || count < 0 || (count > 0 && !props)) return E_INVALIDARG;
  *out = nullptr;
  std::size_t total = Align(static_cast<std::size_t>(count) * sizeof(SPropValue));
  for (int i = 0; i < count; ++i) total += ExtraSize(props[i]);
  if (total > 0xFFFFFFFFu) return MAPI_E_NOT_ENOUGH_MEMORY;
  void* block = nullptr;
  SCODE sc = allocate(static_cast<ULONG>(total), &block);
  if (FAILED(sc)) return sc;
  auto* copy = static_cast<SPropValue*>(block);
  char* free = static_cast<char*>(block) + Align(static_cast<std::size_t>(count) * sizeof(SPropValue));
  for (int i = 0; i < count; ++i) {
    copy[i] = props[i];
    switch (PROP_TYPE(props[i].ulPropTag)) {
      case PT_STRING8:
        if (props[i].Value.lpszA) copy[i].Value.lpszA = CopyText(props[i].Value.lpszA, free);
        break;
      case PT_BINARY:
        copy[i].Value.bin.lpb = reinterpret_cast<LPBYTE>(free);
        if (props[i].Value.bin.cb) std::memcpy(free, props[i].Value.bin.lpb, props[i].Value.bin.cb);
        free += Align(props[i].Value.bin.cb);
        break;
      case PT_MV_STRING8: {
        auto** list = reinterpret_cast<LPSTR*>(free);
        free += Align(props[i].Value.MVszA.cValues * sizeof(LPSTR));
        for (ULONG k = 0; k < props[i].Value.MVszA.cValues; ++k) list[k] = CopyText(props[i].Value.MVszA.lppszA[k], free);
        copy[i].Value.MVszA.lppszA = list;
        break;
      }
      default:
        break;
    }
  }
  *out = copy;
  return S_OK;
}
