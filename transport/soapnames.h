#pragma once
// The standard namespace URIs of the requests and answers, as their standards publish them:
// the client's requests and the local simulator's reading and answers use these. The service's
// own names are in transport/servicenames.h.

namespace soapns {

inline constexpr const char* kEnvelope = "http://schemas.xmlsoap.org/soap/envelope/";
inline constexpr const char* kEncoding = "http://schemas.xmlsoap.org/soap/encoding/";
inline constexpr const char* kXsi = "http://www.w3.org/2001/XMLSchema-instance";
inline constexpr const char* kXsd = "http://www.w3.org/2001/XMLSchema";
inline constexpr const char* kWsse =
    "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-secext-1.0.xsd";
inline constexpr const char* kWsu =
    "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-utility-1.0.xsd";
inline constexpr const char* kWsa = "http://schemas.xmlsoap.org/ws/2004/03/addressing";
inline constexpr const char* kWsaAnonymous = "http://schemas.xmlsoap.org/ws/2004/03/addressing/role/anonymous";
inline constexpr const char* kPasswordText =
    "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-username-token-profile-1.0#PasswordText";

}  // namespace soapns
