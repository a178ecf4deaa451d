#include "service-sim/soapreply.h"

#include <fstream>
#include <system_error>

#include "service-sim/xmltext.h"
#include "transport/soapnames.h"

namespace sim {

uint64_t SoapReply::Size() const {
  if (file.empty()) return body.size();
  std::error_code ec;
  uint64_t size = std::filesystem::file_size(file, ec);
  return ec ? 0 : size;
}

std::string SoapReply::Head(size_t limit) const {
  if (file.empty()) return body.substr(0, limit);
  std::ifstream in(file, std::ios::binary);
  std::string head(limit, '\0');
  in.read(head.data(), static_cast<std::streamsize>(limit));
  head.resize(static_cast<size_t>(in.gcount()));
  return head;
}

std::string EnvelopeStart() {
  std::string s = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<soap:Envelope xmlns:soap=\"";
  s.append(soapns::kEnvelope).append("\" xmlns:xsi=\"").append(soapns::kXsi);
  s.append("\" xmlns:xsd=\"").append(soapns::kXsd);
  s.append("\" xmlns:wsse=\"").append(soapns::kWsse);
  s.append("\" xmlns:wsu=\"").append(soapns::kWsu);
  s.append("\" xmlns:wsa=\"").append(soapns::kWsa).append("\">\n<soap:Body>\n");
  return s;
}

std::string EnvelopeEnd() { return "</soap:Body>\n</soap:Envelope>\n"; }

SoapReply EnvelopeReply(std::string_view bodyContent) {
  SoapReply reply;
  reply.body = EnvelopeStart();
  reply.body.append(bodyContent);
  reply.body += EnvelopeEnd();
  return reply;
}

SoapReply FaultReply(std::string_view code, std::string_view text, int status) {
  std::string fault = "<soap:Fault>\n";
  fault += XmlElementLine("faultcode", code);
  fault += XmlElementLine("faultstring", text);
  fault += "</soap:Fault>\n";
  SoapReply reply = EnvelopeReply(fault);
  reply.status = status;
  return reply;
}

std::string ResultElement(std::string_view ns, std::string_view operation, std::string_view result) {
  std::string s;
  s.append("<").append(operation).append("Response xmlns=\"").append(XmlEscape(ns)).append("\">\n");
  s.append("<").append(operation).append("Result>\n").append(result);
  s.append("</").append(operation).append("Result>\n");
  s.append("</").append(operation).append("Response>\n");
  return s;
}

}  // namespace sim
