#include "service-sim/wssecurity.h"

#include <algorithm>
#include <charconv>
#include <ctime>

#include "service-sim/soapfault.h"
#include "transport/servicenames.h"
#include "transport/soapnames.h"

namespace sim {
namespace {

constexpr int64_t kFutureSkewSeconds = 300;

std::string Trim(std::string_view s) {
  size_t b = s.find_first_not_of(" \t\r\n");
  if (b == std::string_view::npos) return {};
  size_t e = s.find_last_not_of(" \t\r\n");
  return std::string(s.substr(b, e - b + 1));
}

bool Number(std::string_view s, size_t pos, size_t len, int& out) {
  if (pos + len > s.size()) return false;
  for (size_t i = pos; i < pos + len; ++i)
    if (s[i] < '0' || s[i] > '9') return false;
  std::from_chars(s.data() + pos, s.data() + pos + len, out);
  return true;
}

[[noreturn]] void Invalid(const std::string& why) {
  throw SoapFault(faultcode::kInvalidSecurity,
                  "An error was discovered processing the <wsse:Security> header: " + why);
}

[[noreturn]] void Unauthenticated(const std::string& why) {
  throw SoapFault(faultcode::kFailedAuthentication,
                  "The security token could not be authenticated or authorized: " + why);
}

int64_t RequiredTime(const XmlElement& timestamp, const char* name) {
  const XmlElement* e = timestamp.Child(soapns::kWsu, name);
  if (!e) Invalid(std::string("the timestamp has no wsu:") + name + ".");
  std::optional<int64_t> t = ParseUtcTime(Trim(e->text));
  if (!t) Invalid(std::string("wsu:") + name + " \"" + Trim(e->text) + "\" is not a UTC time.");
  return *t;
}

const XmlElement* AnyChild(const XmlElement& parent, std::string_view name) {
  for (const auto& c : parent.children)
    if (c->name == name) return c.get();
  return nullptr;
}

}  // namespace

std::optional<int64_t> ParseUtcTime(std::string_view s) {
  int year, month, day, hour, minute, second;
  if (s.size() < 20 || !Number(s, 0, 4, year) || s[4] != '-' || !Number(s, 5, 2, month) ||
      s[7] != '-' || !Number(s, 8, 2, day) || s[10] != 'T' || !Number(s, 11, 2, hour) ||
      s[13] != ':' || !Number(s, 14, 2, minute) || s[16] != ':' || !Number(s, 17, 2, second))
    return std::nullopt;
  size_t pos = 19;
  if (pos < s.size() && s[pos] == '.') {
    ++pos;
    size_t digits = pos;
    while (pos < s.size() && s[pos] >= '0' && s[pos] <= '9') ++pos;
    if (pos == digits) return std::nullopt;
  }
  int offset = 0;
  if (pos + 1 == s.size() && s[pos] == 'Z') {
  } else if (pos + 6 == s.size() && (s[pos] == '+' || s[pos] == '-') && s[pos + 3] == ':') {
    int oh, om;
    if (!Number(s, pos + 1, 2, oh) || !Number(s, pos + 4, 2, om) || oh > 14 || om > 59)
      return std::nullopt;
    offset = (oh * 60 + om) * 60 * (s[pos] == '-' ? -1 : 1);
  } else {
    return std::nullopt;
  }
  if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60)
    return std::nullopt;
  std::tm tm{};
  tm.tm_year = year - 1900;
  tm.tm_mon = month - 1;
  tm.tm_mday = day;
  tm.tm_hour = hour;
  tm.tm_min = minute;
  tm.tm_sec = second;
  return static_cast<int64_t>(timegm(&tm)) - offset;
}

Account CheckSecurity(const SoapEnvelope& envelope, Store& store,
                      std::chrono::system_clock::time_point nowPoint) {
  const int64_t now = std::chrono::duration_cast<std::chrono::seconds>(nowPoint.time_since_epoch()).count();
  const XmlElement* security = envelope.header ? envelope.header->Child(soapns::kWsse, "Security") : nullptr;
  if (!security) Invalid("the message has no wsse:Security header.");

  const XmlElement* timestamp = security->Child(soapns::kWsu, "Timestamp");
  if (!timestamp) Invalid("the message has no wsu:Timestamp.");
  int64_t created = RequiredTime(*timestamp, "Created");
  int64_t expires = RequiredTime(*timestamp, "Expires");
  if (expires < created) Invalid("wsu:Expires lies before wsu:Created.");
  if (expires < now) throw SoapFault(faultcode::kMessageExpired, "The message has expired.");
  if (created > now + kFutureSkewSeconds)
    Invalid("wsu:Created lies more than five minutes in the future.");

  const XmlElement* token = security->Child(soapns::kWsse, "UsernameToken");
  if (!token) Invalid("the message has no wsse:UsernameToken.");
  const XmlElement* password = token->Child(soapns::kWsse, "Password");
  if (!password) Invalid("the username token has no wsse:Password.");
  if (const std::string* type = password->Attribute("", "Type"); type && Trim(*type) != soapns::kPasswordText)
    throw SoapFault(faultcode::kUnsupportedToken,
                    "An unsupported token was provided: password type \"" + *type + "\".");

  std::string userName = Trim(token->ChildText(soapns::kWsse, "Username"));
  std::string_view key = attestra::kIntegratorKey;
  if (userName.size() <= key.size() || userName.compare(0, key.size(), key) != 0)
    Unauthenticated("the user name does not begin with the integrator key.");
  std::vector<Account> accounts = store.AccountsByEmail(userName.substr(key.size()));
  std::erase_if(accounts, [&](const Account& a) { return a.password != password->text; });
  if (accounts.empty()) Unauthenticated("unknown user name or wrong password.");

  std::string nonce = Trim(token->ChildText(soapns::kWsse, "Nonce"));
  if (nonce.empty()) Invalid("the username token has no wsse:Nonce.");
  if (!store.UseNonce(nonce, now, std::max(expires, now + kFutureSkewSeconds) + 60))
    Unauthenticated("the nonce has been used before; the message is a replay.");

  // AccountId is written without a namespace prefix inside the token.
  const XmlElement* accountElement = AnyChild(*token, "AccountId");
  std::string accountId = accountElement ? Trim(accountElement->text) : std::string();
  if (accountId.empty()) Unauthenticated("the username token names no AccountId.");
  auto match = std::find_if(accounts.begin(), accounts.end(),
                            [&](const Account& a) { return a.accountId == accountId; });
  if (match == accounts.end())
    Unauthenticated("the account \"" + accountId + "\" does not belong to this user.");
  return *match;
}

void CheckAction(const SoapEnvelope& envelope) {
  const XmlElement* action = envelope.header ? envelope.header->Child(soapns::kWsa, "Action") : nullptr;
  if (!action) throw SoapFault(faultcode::kClient, "The message has no wsa:Action header.");
  std::string expected = std::string(attestra::kActionBase) + "/" + envelope.operation->name;
  std::string actual = Trim(action->text);
  if (actual != expected)
    throw SoapFault(faultcode::kClient, "The action \"" + actual + "\" does not match the operation \"" +
                                            envelope.operation->name + "\".");
}

}  // namespace sim
