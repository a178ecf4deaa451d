#pragma once
// Answers: SOAP envelopes with the "soap" prefix on Envelope, Body and Fault, the operation's
// elements in the service's namespace as the default namespace.
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace sim {

struct SoapReply {
  int status = 200;
  std::string contentType = "text/xml; charset=utf-8";
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;             // the body, unless `file` is set
  std::filesystem::path file;   // big answers are streamed from this file...
  bool removeFile = false;      // ...which is deleted after sending when this is set

  uint64_t Size() const;
  // The first `limit` bytes of the body, from memory or from the file.
  std::string Head(size_t limit) const;
};

// "<?xml ...?>", the soap:Envelope start tag (declaring soap, xsi, xsd and the security and
// addressing prefixes that fault codes use) and "<soap:Body>", each on its own line.
std::string EnvelopeStart();
// "</soap:Body>" and "</soap:Envelope>".
std::string EnvelopeEnd();

// HTTP 200 with `bodyContent` inside soap:Body.
SoapReply EnvelopeReply(std::string_view bodyContent);
// soap:Fault with faultcode and faultstring (both escaped), HTTP `status`.
SoapReply FaultReply(std::string_view code, std::string_view text, int status = 500);

// "<{operation}Response xmlns=ns><{operation}Result>" result "</...Result></...Response>".
std::string ResultElement(std::string_view ns, std::string_view operation, std::string_view result);

}  // namespace sim
