#include "operations/sendoptions.h"

#include <cstdio>
#include <new>

#include "foundation/config.h"
#include "foundation/guard.h"
#include "model/blueprint.h"
#include "model/template.h"

namespace {

const char* Flag(std::int32_t value) { return value ? "true" : "false"; }

std::string Number(std::int32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "%d", value);
  return text;
}

// The document is not escaped, but a text that holds markup would break it for its reader.
std::string MarkupSafe(const std::string& text) {
  return text.find_first_of("&<>") == std::string::npos ? text : XmlEscape(text);
}

}  // namespace

CSendOptions::CSendOptions() { ReceiptType = static_cast<std::int32_t>(CConfig().GetReceiptType()); }

CSendOptions::~CSendOptions() = default;

HRESULT CSendOptions::SetTransaction(const CTransaction& transaction) {
  try {
    if (transaction.IsKindOf("CBlueprint"))
      Transaction = static_cast<const CBlueprint&>(transaction).Clone();
    else if (transaction.IsKindOf("CTemplate"))
      Transaction = static_cast<const CTemplate&>(transaction).Clone();
    else
      return E_INVALIDARG;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  return Transaction ? S_OK : E_OUTOFMEMORY;
}

bool CSendOptions::Write(std::string& path) {
  path.clear();
  const HRESULT hr = Guarded("CSendOptions::Write", [&] {
    Check(OpenFile(".xml"));
    auto element = [this](const char* name, const std::string& value, bool omitWhenEmpty) {
      Check(WriteElement(name, MarkupSafe(value), omitWhenEmpty, false));
    };
    Check(WriteRaw("<SendOptions>\n"));
    element("Password", Password, true);
    element("DisplayReceipt", Flag(DisplayReceipt), false);
    element("RoutingOrder", Flag(RoutingOrder), false);
    element("Mode", Number(Mode), false);
    element("TemplateFile", TemplateFile, false);
    element("ReceiptType", Number(ReceiptType), false);
    element("CategoryTags", CategoryTags, true);
    element("ReceiptSubject", ReceiptSubject, true);
    element("ExpireAfter", Number(ExpireAfter), false);
    element("ExpireWarn", Number(ExpireWarn), false);
    element("RemindAfter", Number(RemindAfter), false);
    element("RemindFreq", Number(RemindFreq), false);
    element("Broadcast", Flag(Broadcast), false);
    CheckTrue(AccountSettings.Write(*this));
    Check(WriteRaw("</SendOptions>\n"));
    Check(CloseFile());
  });
  if (FAILED(hr)) {
    CloseFile();
    if (!FilePath().empty()) std::remove(FilePath().c_str());
    Reset();
    return false;
  }
  path = FilePath();
  Reset();  // the file is the caller's now; the next Write makes a new one
  return true;
}
