#include "operations/sendoptions.h"

#include <cstdio>
#include <new>

#include "foundation/config.h"
#include "foundation/guard.h"
#include "foundation/xmlio.h"
#include "model/blueprint.h"
#include "model/template.h"

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
    element("DisplayReceipt", XmlBool(DisplayReceipt), false);
    element("RoutingOrder", XmlBool(RoutingOrder), false);
    element("Mode", std::to_string(Mode), false);
    element("TemplateFile", TemplateFile, false);
    element("ReceiptType", std::to_string(ReceiptType), false);
    element("CategoryTags", CategoryTags, true);
    element("ReceiptSubject", ReceiptSubject, true);
    element("ExpireAfter", std::to_string(ExpireAfter), false);
    element("ExpireWarn", std::to_string(ExpireWarn), false);
    element("RemindAfter", std::to_string(RemindAfter), false);
    element("RemindFreq", std::to_string(RemindFreq), false);
    element("Broadcast", XmlBool(Broadcast), false);
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
