#include "transport/opattestra.h"

#include <sys/random.h>

#include <cstdint>
#include <ctime>

#include "foundation/base64.h"
#include "foundation/config.h"
#include "foundation/diaglog.h"
#include "foundation/xmlio.h"
#include "platform/win/guid.h"
#include "transport/servicenames.h"
#include "transport/soapnames.h"

namespace {

constexpr std::time_t kLifetimeSeconds = 300;
constexpr std::size_t kNonceBytes = 16;

std::string UtcText(std::time_t t) {
  std::tm parts{};
  if (!gmtime_r(&t, &parts)) return {};
  char text[32];
  const std::size_t n = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
  return std::string(text, n);
}

std::string LowerGuid() {
  const win::GUID g = win::NewGuid();
  char text[40];
  std::snprintf(text, sizeof text, "%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x", g.Data1, g.Data2, g.Data3,
                g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
  return text;
}

// The nonce must not repeat: 16 bytes from the system's random source, Base64.
bool MakeNonce(std::string& nonce) {
  unsigned char bytes[kNonceBytes];
  std::size_t got = 0;
  while (got < sizeof bytes) {
    const ssize_t n = getrandom(bytes + got, sizeof bytes - got, 0);
    if (n <= 0) return false;
    got += static_cast<std::size_t>(n);
  }
  Base64Coder coder;
  coder.Encode(bytes, sizeof bytes);
  nonce.assign(coder.GetEncoded(), coder.GetEncodedLength());
  return true;
}

bool WriteText(std::FILE* file, std::string_view text) {
  return std::fwrite(text.data(), 1, text.size(), file) == text.size();
}

}  // namespace

OpAttestra::OpAttestra(std::string url, const CCredentials& credentials)
    : CWebSvrOp(std::move(url)), credentials_(credentials) {
  CConfig config;
  config.GetHost(host_);
  faultElement_ = "soap:Fault";
}

OpAttestra::~OpAttestra() = default;

std::string OpAttestra::EnvelopeStart() {
  std::string s = "<SOAP-ENV:Envelope";
  for (const auto& [prefix, uri] : {std::pair{"SOAP-ENV", soapns::kEnvelope}, {"SOAP-ENC", soapns::kEncoding},
                                    {"xsi", soapns::kXsi}, {"xsd", soapns::kXsd}, {"wsse", soapns::kWsse},
                                    {"wsu", soapns::kWsu}, {"wsa", soapns::kWsa}}) {
    s += " xmlns:";
    s += prefix;
    s += "=\"";
    s += uri;
    s += "\"";
  }
  s += ">\n";
  return s;
}

bool OpAttestra::PrepareData() {
  const std::time_t now = std::time(nullptr);
  const std::string created = UtcText(now);
  const std::string expires = UtcText(now + kLifetimeSeconds);
  if (action_.empty()) return false;
  const std::string messageId = LowerGuid();
  const std::string tokenId = LowerGuid();
  const std::string timestampId = LowerGuid();
  CConfig config;
  config.GetHost(host_);

  std::string& a = addressingHeader_;
  a = "<wsa:Action>" + std::string(attestra::kActionBase) + "/" + action_ + "</wsa:Action>\n";
  a += "<wsa:MessageID>uuid:" + messageId + "</wsa:MessageID>\n";
  a += "<wsa:ReplyTo>\n";
  a += "<wsa:Address>" + std::string(soapns::kWsaAnonymous) + "</wsa:Address>\n";
  a += "</wsa:ReplyTo>\n";
  a += "<wsa:To>https://" + host_ + "/api/3.0/api.asmx</wsa:To>\n";

  std::string nonce;
  if (!MakeNonce(nonce)) {
    DiagLog().Error("OpAttestra::PrepareData: no random bytes for the nonce");
    return false;
  }
  const std::string userName = std::string(attestra::kIntegratorKey) + MarkupSafe(credentials_.email);
  const std::string password = XmlEscape(credentials_.password);

  std::string& s = securityHeader_;
  s = "<wsse:Security SOAP-ENV:mustUnderstand=\"1\">\n";
  s += "<wsu:Timestamp wsu:Id=\"Timestamp-" + timestampId + "\">\n";
  s += "<wsu:Created>" + created + "</wsu:Created>\n";
  s += "<wsu:Expires>" + expires + "</wsu:Expires>\n";
  s += "</wsu:Timestamp>\n";
  s += "<wsse:UsernameToken xmlns:wsu=\"" + std::string(soapns::kWsu) + "\" wsu:Id=\"SecurityToken-" + tokenId +
       "\">\n";
  s += "<wsse:Username>" + userName + "</wsse:Username>\n";
  s += "<wsse:Password Type=\"" + std::string(soapns::kPasswordText) + "\">" + password + "</wsse:Password>\n";
  s += "<wsse:Nonce>" + nonce + "</wsse:Nonce>\n";
  s += "<wsu:Created>" + created + "</wsu:Created>\n";
  s += "<AccountId>" + MarkupSafe(credentials_.accountId) + "</AccountId>\n";
  s += "</wsse:UsernameToken>\n";
  s += "</wsse:Security>\n";
  return true;
}

HRESULT OpAttestra::WriteElement(std::string_view name, std::string_view value, std::FILE* file,
                                 bool omitWhenEmpty, bool escape) {
  std::string text;
  if (!value.empty()) {
    const std::string v = escape ? XmlEscape(value) : std::string(value);
    if (name.empty())
      text = v;
    else
      text = "<" + std::string(name) + ">" + v + "</" + std::string(name) + ">\n";
  } else {
    if (name.empty()) return E_INVALIDARG;
    if (!omitWhenEmpty) text = "<" + std::string(name) + "></" + std::string(name) + ">\n";
  }
  if (file) {
    if (!WriteText(file, text)) return E_FAIL;
  } else {
    body_ += text;
  }
  return S_OK;
}

bool OpAttestra::AppendFileToRequest(std::FILE* file, const std::string& path) {
  FilePtr in(std::fopen(path.c_str(), "rb"));
  if (!in) return false;
  char block[512];
  std::size_t total = 0;
  for (;;) {
    const std::size_t n = std::fread(block, 1, sizeof block, in.get());
    if (n == 0) break;
    if (std::fwrite(block, 1, n, file) != n) return false;
    total += n;
  }
  return total > 0 && !std::ferror(in.get());
}

bool OpAttestra::BuildRequestFile(const std::function<bool(std::FILE*)>& writeChildren) {
  std::FILE* file = OpenRequestFile();
  if (!file) return false;
  const std::string path = body_;
  auto fail = [&] {
    FinishRequestFile();
    std::remove(path.c_str());
    return false;
  };
  if (!UseResponseFile() || !OpAttestra::PrepareData()) return fail();
  const bool written = WriteText(file, EnvelopeStart()) && WriteText(file, "<SOAP-ENV:Header>\n") &&
                       WriteText(file, addressingHeader_) && WriteText(file, securityHeader_) &&
                       WriteText(file, "</SOAP-ENV:Header>\n") && WriteText(file, "<SOAP-ENV:Body>\n") &&
                       WriteText(file, "<" + action_ + " xmlns=\"" + attestra::kApiNamespace + "\">\n") &&
                       writeChildren(file) && WriteText(file, "</" + action_ + ">\n") &&
                       WriteText(file, "</SOAP-ENV:Body>\n") && WriteText(file, "</SOAP-ENV:Envelope>\n");
  if (!written) return fail();
  return FinishRequestFile();
}
