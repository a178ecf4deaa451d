#pragma once
// Standard namespace URIs that requests and answers use, as their standards publish them.
// The service's own names are in transport/servicenames.h.

namespace sim::ns {

inline constexpr const char* kSoap11 = "http://schemas.xmlsoap.org/soap/envelope/";
inline constexpr const char* kSoap12 = "http://www.w3.org/2003/05/soap-envelope";
inline constexpr const char* kXsi = "http://www.w3.org/2001/XMLSchema-instance";
inline constexpr const char* kXsd = "http://www.w3.org/2001/XMLSchema";
inline constexpr const char* kWsse =
    "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-secext-1.0.xsd";
inline constexpr const char* kWsu =
    "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-utility-1.0.xsd";
inline constexpr const char* kWsa = "http://schemas.xmlsoap.org/ws/2004/03/addressing";
inline constexpr const char* kPasswordText =
    "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-username-token-profile-1.0#PasswordText";

}  // namespace sim::ns
