#include "service-sim/apiendpoint.h"

#include "service-sim/enveloperequest.h"
#include "service-sim/soapfault.h"
#include "service-sim/wssecurity.h"
#include "transport/servicenames.h"
#include "transport/soapnames.h"

namespace sim {

SoapReply ApiResultReply(std::string_view operation, std::string_view result) {
  return EnvelopeReply(ResultElement(attestra::kApiNamespace, operation, result));
}

ApiEndpoint::ApiEndpoint(Store& store, std::filesystem::path dataDir)
    : store_(store), dataDir_(std::move(dataDir)) {}

void ApiEndpoint::Register(std::string operation, ApiHandler handler) {
  handlers_[std::move(operation)] = std::move(handler);
}

SoapReply ApiEndpoint::Handle(const ServiceRequest& request) {
  // Documents are decoded while the request streams in; the handler that keeps them moves
  // the files, and the rest go with the document.
  auto document = XmlDocument::ParseFile(request.bodyFile, request.textFileStem,
                                         DocumentSinkChoice(request.textFileStem));
  static const std::vector<SoapEnvelope::Block> understood = {
      {soapns::kWsse, "Security"}, {soapns::kWsa, "Action"}, {soapns::kWsa, "MessageID"},
      {soapns::kWsa, "ReplyTo"},   {soapns::kWsa, "To"}};
  SoapEnvelope envelope = SoapEnvelope::Read(*document, understood);
  Account account = CheckSecurity(envelope, store_, request.received);
  CheckAction(envelope);

  const XmlElement& op = *envelope.operation;
  auto handler = handlers_.find(op.name);
  if (op.ns != attestra::kApiNamespace || handler == handlers_.end())
    throw SoapFault(faultcode::kClient, "Unknown operation \"" + op.name + "\" (" + op.ns + ").");
  ApiCall call{request, *document, envelope, op, account, store_, dataDir_};
  return handler->second(call);
}

}  // namespace sim
