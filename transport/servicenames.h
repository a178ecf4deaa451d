#pragma once
// Names of the service that both sides of the wire share: the client's requests and the
// local simulator's answers are built from these.

namespace attestra {

// The service's production host, the built-in value of the "Host" setting.
inline constexpr const char* kProductionHost = "api.attestra.net";
// API 3.0 namespace (default namespace of every API element) and action base URI; an
// action is the base, "/" and the API element's name ("http://.../api/3.0/RequestStatus").
inline constexpr const char* kApiNamespace = "http://api.attestra.net/API/3.0";
inline constexpr const char* kActionBase = "http://api.attestra.net/api/3.0";
// The Credential endpoint's namespace.
inline constexpr const char* kCredentialNamespace = "http://api.attestra.net/API/3.0/Credential";
// Sent in front of the user name in every request.
inline constexpr const char* kIntegratorKey = "[QKTZ-5e7d9c41-8a2b-4f63-b1d0-2c4e6a8f9b17]";

inline constexpr const char* kApiPath = "api/3.0/api.asmx";
inline constexpr const char* kCredentialPath = "API/3.0/Credential.asmx";
inline constexpr const char* kUserAgent = "Vellora/1.2";

}  // namespace attestra
