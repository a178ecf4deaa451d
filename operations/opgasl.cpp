#include "operations/opgasl.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string_view>

#include "foundation/xmldoc.h"

namespace {

constexpr const char* kAction = "GetAccountSettingsList";

}  // namespace

// CAcctSets

CAcctSets::~CAcctSets() = default;

void CAcctSets::CopyFrom(const CAcctSets& source) {
  UserOverrides = source.UserOverrides;
  Reminders = source.Reminders;
  Expirations = source.Expirations;
  RemindDelay = source.RemindDelay;
  RemindFreq = source.RemindFreq;
  ExpiresAfter = source.ExpiresAfter;
  ExpireWarnBuffer = source.ExpireWarnBuffer;
}

bool CAcctSets::Write(CXMLIO& out) const {
  const std::pair<const char*, std::string> elements[] = {
      {"UserOverrides", XmlBool(UserOverrides)},     {"Reminders", XmlBool(Reminders)},
      {"Expirations", XmlBool(Expirations)},         {"ExpiresAfter", std::to_string(ExpiresAfter)},
      {"ExpireWarnBuffer", std::to_string(ExpireWarnBuffer)}, {"RemindDelay", std::to_string(RemindDelay)},
      {"RemindFreq", std::to_string(RemindFreq)}};
  if (out.WriteRaw("<AccountSettings>\n") != S_OK) return false;
  for (const auto& [name, value] : elements)
    if (out.WriteElement(name, value, false, false) != S_OK) return false;
  return out.WriteRaw("</AccountSettings>\n") == S_OK;
}

// OpGASL

OpGASL::OpGASL(std::string url, const CCredentials& credentials) : OpAttestra(std::move(url), credentials) {
  kind_ = "OpGASL";
  progress_[0] = "Preparing Data";
  progress_[1] = "Connecting to Attestra";
  progress_[2] = "Requesting Account Settings";
  progress_[3] = "Receiving Response";
  progress_[4] = "Confirming Result";
  progress_[5] = "Account Settings Received";
  action_ = kAction;
  soapAction_ = "http://" + host_ + "/api/3.0/" + kAction;
  parseOnFault_ = true;
  faultElement_ = "soap:Fault";
  bodyPath_ = "/soap:Envelope/soap:Body";
}

// The request file normally goes once it is posted; after a failed transfer it would stay behind
// with the password in it.
OpGASL::~OpGASL() {
  if (bodyFromFile_ && !body_.empty()) std::remove(body_.c_str());
}

bool OpGASL::PrepareData() {
  if (!settings_) {
    result_ = E_INVALIDARG;
    return false;
  }
  return BuildRequestFile([this](std::FILE* file) {
    return WriteElement("AccountId", MarkupSafe(credentials_.accountId), file, false, false) == S_OK;
  });
}

bool OpGASL::ParseResponse() {
  CXMLDoc* doc = doc_.get();
  if (!doc || !settings_) {
    result_ = E_FAIL;
    return false;
  }
  if ((result_ = doc->GotoNode("GetAccountSettingsListResponse")) != S_OK) return false;
  long count = 0;
  // An answer without settings leaves the record as it was.
  if (doc->GotoNode("GetAccountSettingsListResult") != S_OK || doc->LoadNodesByName("AccountSetting") != S_OK ||
      doc->GetNodeCount(count) != S_OK) {
    result_ = S_OK;
    return true;
  }
  CAcctSets& s = *settings_;
  for (long i = 0; i < count; ++i) {
    if ((result_ = doc->GotoNodeAt(i)) != S_OK) return false;
    std::string name, value;
    if (doc->GetSingleNodeValue("Name", name) != S_OK || doc->GetSingleNodeValue("Value", value) != S_OK) continue;
    long number = 0;
    doc->GetSingleNodeValue("Value", number);
    const auto n = static_cast<std::int32_t>(std::clamp<long>(number, INT32_MIN, INT32_MAX));
    const std::int32_t on = value == "True" ? 1 : 0;
    if (name == "UserOverrideEnabled")
      s.UserOverrides = on;
    else if (name == "ReminderEnabled")
      s.Reminders = on;
    else if (name == "ExpireEnabled")
      s.Expirations = on;
    else if (name == "ReminderDelay")
      s.RemindDelay = n;
    else if (name == "ReminderFrequency")
      s.RemindFreq = n;
    else if (name == "ExpireAfter")
      s.ExpiresAfter = n;
    else if (name == "ExpireWarnBuffer")
      s.ExpireWarnBuffer = n;
  }
  result_ = S_OK;
  return true;
}
